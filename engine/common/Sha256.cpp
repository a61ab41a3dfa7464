// SHA-256 (FIPS 180-4). The compression of whole 64-byte blocks is chosen once: the x86
// SHA extensions where the processor has them (about 2 GB/s on one core, near the speed
// at which files are read), else the portable rounds. Written here rather than taken
// from a crypto library so that the statically linked apply programs, the Windows one
// included, carry it without another library.
#include "engine/common/Sha256.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && !defined(DELVORIN_PORTABLE_SHA)
#include <cpuid.h>
#include <immintrin.h>
#define DELVORIN_SHA_X86 1
#endif

namespace {

alignas(16) const uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void CompressPortable(uint32_t state[8], const unsigned char* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t{data[4 * i]} << 24 | uint32_t{data[4 * i + 1]} << 16 | uint32_t{data[4 * i + 2]} << 8 |
                   uint32_t{data[4 * i + 3]};
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if defined(DELVORIN_SHA_X86)
// The SHA extensions keep the state as two vectors, ABEF and CDGH, and do two rounds per
// instruction; the message schedule of the next four rounds is made while these run.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressWithInstructions(uint32_t state[8],
                                                                           const unsigned char* data, size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);             // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);       // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);    // CDGH

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i w[4];
        for (int g = 0; g < 16; ++g) {
            if (g < 4)
                w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
            const __m128i& cur = w[g & 3];
            __m128i msg = _mm_add_epi32(cur, _mm_load_si128(reinterpret_cast<const __m128i*>(&kRound[4 * g])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            if (g >= 3 && g <= 14) {
                __m128i& next = w[(g + 1) & 3];
                next = _mm_add_epi32(next, _mm_alignr_epi8(cur, w[(g + 3) & 3], 4));
                next = _mm_sha256msg2_epu32(next, cur);
            }
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            if (g >= 1 && g <= 12)
                w[(g + 3) & 3] = _mm_sha256msg1_epu32(w[(g + 3) & 3], cur);
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);          // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);       // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);    // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);       // ABEF
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

bool HasShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
    if (!ssse3 || !sse41 || __get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 29)) != 0;
}
#endif

using CompressFn = void (*)(uint32_t[8], const unsigned char*, size_t);

CompressFn ChooseCompress()
{
#if defined(DELVORIN_SHA_X86)
    if (HasShaInstructions())
        return CompressWithInstructions;
#endif
    return CompressPortable;
}

const CompressFn kCompress = ChooseCompress();

} // namespace

void CSha256::Reset()
{
    static const uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(state_, kInitial, sizeof state_);
    used_ = 0;
    total_ = 0;
}

void CSha256::Update(const unsigned char* data, size_t length)
{
    if (length == 0)
        return; // the bytes of an empty file may be given as a null pointer
    total_ += length;
    if (used_ > 0) {
        const size_t take = length < 64 - used_ ? length : 64 - used_;
        std::memcpy(block_ + used_, data, take);
        used_ += take;
        data += take;
        length -= take;
        if (used_ < 64)
            return;
        kCompress(state_, block_, 1);
        used_ = 0;
    }
    if (length >= 64) {
        kCompress(state_, data, length / 64);
        data += length / 64 * 64;
        length %= 64;
    }
    std::memcpy(block_, data, length);
    used_ = length;
}

CSha256::Digest CSha256::Final()
{
    const uint64_t bits = total_ * 8;
    unsigned char pad[72] = {0x80};
    const size_t padLength = (used_ < 56 ? 56 : 120) - used_;
    for (int i = 0; i < 8; ++i)
        pad[padLength + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(pad, padLength + 8);
    Digest digest;
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k)
            digest[4 * i + k] = static_cast<unsigned char>(state_[i] >> (24 - 8 * k));
    Reset();
    return digest;
}

CSha256::Digest CSha256::Of(const unsigned char* data, size_t length)
{
    CSha256 hash;
    hash.Update(data, length);
    return hash.Final();
}

bool CSha256::UsesProcessorInstructions()
{
    return kCompress != CompressPortable;
}
