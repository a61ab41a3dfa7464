#include "codec/XxHash64.h"

#include "codec/ZstdFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace codec {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

uint64_t Round(uint64_t acc, uint64_t input)
{
    acc += input * kPrime2;
    return std::rotl(acc, 31) * kPrime1;
}

uint64_t Merge(uint64_t h, uint64_t acc)
{
    h ^= Round(0, acc);
    return h * kPrime1 + kPrime4;
}

void Stripe(uint64_t* acc, const uint8_t* p)
{
    for (int i = 0; i < 4; ++i)
        acc[i] = Round(acc[i], Load64(p + 8 * i));
}

} // namespace

void CXxHash64::Reset(uint64_t seed)
{
    seed_ = seed;
    acc_[0] = seed + kPrime1 + kPrime2;
    acc_[1] = seed + kPrime2;
    acc_[2] = seed;
    acc_[3] = seed - kPrime1;
    total_ = 0;
    pendingSize_ = 0;
}

void CXxHash64::Update(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    total_ += size;
    if (pendingSize_ > 0) {
        const size_t take = std::min(size, sizeof pending_ - pendingSize_);
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < sizeof pending_)
            return;
        Stripe(acc_, pending_);
        pendingSize_ = 0;
    }
    for (; size >= 32; p += 32, size -= 32)
        Stripe(acc_, p);
    std::memcpy(pending_, p, size);
    pendingSize_ = size;
}

uint64_t CXxHash64::Digest() const
{
    uint64_t h;
    if (total_ >= 32) {
        h = std::rotl(acc_[0], 1) + std::rotl(acc_[1], 7) + std::rotl(acc_[2], 12) + std::rotl(acc_[3], 18);
        for (uint64_t a : acc_)
            h = Merge(h, a);
    } else {
        h = seed_ + kPrime5;
    }
    h += total_;
    const uint8_t* p = pending_;
    size_t left = pendingSize_;
    for (; left >= 8; p += 8, left -= 8) {
        h ^= Round(0, Load64(p));
        h = std::rotl(h, 27) * kPrime1 + kPrime4;
    }
    if (left >= 4) {
        h ^= uint64_t{Load32(p)} * kPrime1;
        h = std::rotl(h, 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    for (; left > 0; ++p, --left) {
        h ^= *p * kPrime5;
        h = std::rotl(h, 11) * kPrime1;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

} // namespace codec
