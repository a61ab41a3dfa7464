// SHA-256 of file contents: the strong check of the compact patch format, taken of the
// old file before an apply changes anything and of every rebuilt file before it takes
// its target's name.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

using CSha256Digest = std::array<uint8_t, 32>;

// The digest of bytes given a piece at a time.
class CSha256 {
public:
    CSha256();
    void Update(const unsigned char* data, size_t length);
    CSha256Digest Final();

private:
    void Block(const unsigned char* block);
    uint32_t state_[8];
    unsigned char pending_[64];
    size_t pendingLength_ = 0;
    uint64_t total_ = 0;
};

// The digest of one buffer.
CSha256Digest Sha256(const unsigned char* data, size_t length);
