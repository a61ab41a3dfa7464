// What the parts of the zstd frame decoder share: the largest block, the default window
// limit, the error codes (returned as very large sizes, as the zstd library does) and the
// little-endian loads every part of the format is built from.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codec {

static_assert(std::endian::native == std::endian::little, "the decoder loads little-endian fields directly");

// The largest number of bytes one block holds, packed or unpacked.
inline constexpr size_t kZstdBlockMax = size_t{128} << 10;
// Bytes after every buffer the decoder reads or writes with whole words.
inline constexpr size_t kZstdSlack = 32;
inline constexpr unsigned kZstdDefaultWindowLogMax = 27;
inline constexpr unsigned kZstdWindowLogLimit = 31;

enum class ZstdError : unsigned {
    Generic = 1,
    UnknownFrame = 10,
    FrameParameter = 14,
    WindowTooLarge = 16,
    Corrupt = 20,
    Checksum = 22,
    Dictionary = 32,
    Parameter = 42,
    StageWrong = 60,
    Memory = 64,
};

inline size_t ZstdFail(ZstdError e) { return size_t{0} - static_cast<size_t>(e); }
inline bool ZstdIsError(size_t result) { return result > size_t{0} - 120; }

inline uint16_t Load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
// The n low bytes of p, little-endian (n <= 8).
inline uint64_t LoadBytes(const uint8_t* p, size_t n)
{
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;)
        v = (v << 8) | p[i];
    return v;
}
inline unsigned HighBit(uint64_t v) { return static_cast<unsigned>(std::bit_width(v)) - 1; }

} // namespace codec
