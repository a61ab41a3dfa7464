// SHA-256 of a stream of bytes: the strong check of the contents a patch reads and
// writes, beside the byte sums of the classic format. Where the processor has the SHA
// instructions (x86 SHA extensions), the blocks are compressed by them; elsewhere by
// portable code giving the same digests.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

class CSha256 {
public:
    static constexpr size_t kSize = 32;
    using Digest = std::array<unsigned char, kSize>;

    CSha256() { Reset(); }
    void Reset();
    // Adds bytes to the message, in order.
    void Update(const unsigned char* data, size_t length);
    // The digest of everything added since the last Reset; the object is reset afterwards.
    Digest Final();

    // The digest of one buffer.
    static Digest Of(const unsigned char* data, size_t length);
    // True when the processor's SHA instructions are used.
    static bool UsesProcessorInstructions();

private:
    uint32_t state_[8];
    unsigned char block_[64];
    size_t used_ = 0;
    uint64_t total_ = 0;
};
