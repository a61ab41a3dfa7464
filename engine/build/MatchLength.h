// How far two byte ranges agree, forwards from two positions or backwards from them,
// compared eight bytes at a time where the processor is little-endian.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

namespace matchlen {

inline uint64_t Load64(const unsigned char* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline constexpr bool kWordCompare = std::endian::native == std::endian::little;

// The number of equal bytes a[i] == b[i] from i = 0 on, at most limit.
inline uint32_t Forward(const unsigned char* a, const unsigned char* b, uint32_t limit)
{
    uint32_t k = 0;
    if constexpr (kWordCompare) {
        while (k + 8 <= limit) {
            const uint64_t diff = Load64(a + k) ^ Load64(b + k);
            if (diff != 0)
                return k + static_cast<uint32_t>(std::countr_zero(diff) / 8);
            k += 8;
        }
    }
    while (k < limit && a[k] == b[k])
        ++k;
    return k;
}

// The number of equal bytes a[-1 - i] == b[-1 - i] from i = 0 on, at most limit.
inline uint32_t Backward(const unsigned char* a, const unsigned char* b, uint32_t limit)
{
    uint32_t k = 0;
    if constexpr (kWordCompare) {
        while (k + 8 <= limit) {
            const uint64_t diff = Load64(a - k - 8) ^ Load64(b - k - 8);
            if (diff != 0) // the highest-addressed bytes are the most significant ones
                return k + static_cast<uint32_t>(std::countl_zero(diff) / 8);
            k += 8;
        }
    }
    while (k < limit && a[-static_cast<int64_t>(k) - 1] == b[-static_cast<int64_t>(k) - 1])
        ++k;
    return k;
}

} // namespace matchlen
