// The byte sum of a buffer: the 32-bit sum (modulo 2^32) of all its bytes, the check
// of every file a patch reads or writes and the key of the differencing's blocks.
#include "engine/common/CFilePatch.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if !defined(__SSE2__)
// Eight bytes at a time: the even and the odd bytes of a word are added into four
// 16-bit lanes, which 128 words cannot overflow (128 * 2 * 255 < 65536), and the lanes
// are folded into the total after every 128 words.
uint64_t WordSum(const unsigned char* data, size_t length)
{
    constexpr uint64_t kLanes = 0x00FF00FF00FF00FFULL;
    uint64_t total = 0;
    size_t i = 0;
    while (length - i >= 8) {
        size_t words = std::min<size_t>((length - i) / 8, 128);
        uint64_t lanes = 0;
        for (size_t k = 0; k < words; ++k, i += 8) {
            uint64_t w;
            std::memcpy(&w, data + i, 8);
            lanes += (w & kLanes) + ((w >> 8) & kLanes);
        }
        lanes = (lanes & 0x0000FFFF0000FFFFULL) + ((lanes >> 16) & 0x0000FFFF0000FFFFULL);
        total += (lanes & 0xFFFFFFFFULL) + (lanes >> 32);
    }
    for (; i < length; ++i)
        total += data[i];
    return total;
}
#else
// Sixteen bytes per instruction: the sum of absolute differences against zero adds each
// half of a 16-byte row into a 64-bit lane. Four rows side by side keep the adds from
// waiting on each other; the buffer is read about as fast as memory delivers it.
uint64_t VectorSum(const unsigned char* data, size_t length)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    size_t i = 0;
    for (; length - i >= 64; i += 64) {
        const unsigned char* p = data + i;
        a0 = _mm_add_epi64(a0, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero));
        a1 = _mm_add_epi64(a1, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero));
        a2 = _mm_add_epi64(a2, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), zero));
        a3 = _mm_add_epi64(a3, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), zero));
    }
    for (; length - i >= 16; i += 16)
        a0 = _mm_add_epi64(a0, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)), zero));
    const __m128i all = _mm_add_epi64(_mm_add_epi64(a0, a1), _mm_add_epi64(a2, a3));
    uint64_t total = static_cast<uint64_t>(_mm_cvtsi128_si64(all)) +
                     static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(all, all)));
    for (; i < length; ++i)
        total += data[i];
    return total;
}
#endif

} // namespace

uint32_t ByteSum(const unsigned char* data, size_t length)
{
#if defined(__SSE2__)
    return static_cast<uint32_t>(VectorSum(data, length));
#else
    return static_cast<uint32_t>(WordSum(data, length));
#endif
}
