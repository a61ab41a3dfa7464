// The 64-bit xxHash of a byte stream, fed in pieces of any size: a zstd frame may end
// with the low 32 bits of it (seed 0) over everything the frame unpacks to.
#pragma once
#include <cstddef>
#include <cstdint>

namespace codec {

class CXxHash64 {
public:
    explicit CXxHash64(uint64_t seed = 0) { Reset(seed); }
    void Reset(uint64_t seed = 0);
    void Update(const void* data, size_t size);
    uint64_t Digest() const;

private:
    uint64_t acc_[4];
    uint64_t seed_ = 0;
    uint64_t total_ = 0;
    unsigned char pending_[32];
    size_t pendingSize_ = 0;
};

} // namespace codec
