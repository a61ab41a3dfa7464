// A streaming decoder of zstd frames, for programs built without the zstd library. It
// takes input and gives output in pieces of any size: each call reads what it can and
// writes what it can, and returns 0 once a frame is complete and handed out, a positive
// hint while the frame goes on, or an error (ZstdIsError) for a damaged or unsupported
// frame, after which it only gives that error until Reset. Frames that need a window of
// more than 2^windowLogMax bytes or a dictionary are refused; memory stays within the
// window (or the frame's content size, when smaller) and two blocks. Skippable
// frames are passed over. A frame may continue a prefix, raw content its matches copy
// from as if the frame's output followed it (a delta against an old file): the caller
// keeps the prefix, which is only referred to, never copied.
#pragma once
#include "codec/XxHash64.h"
#include "codec/ZstdFormat.h"
#include "codec/ZstdLiterals.h"
#include "codec/ZstdSequences.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace codec {

struct ZstdInput {
    const void* src;
    size_t size;
    size_t pos;
};

struct ZstdOutput {
    void* dst;
    size_t size;
    size_t pos;
};

class CZstdFrameDecoder {
public:
    // 0 restores the default; false (and no change) outside 10..31.
    bool SetWindowLogMax(unsigned log);
    // The next frame, skippable or not, continues these bytes, which must stay as they
    // are until that frame is decoded; none (nullptr or 0 bytes) forgets a prefix given
    // before. False (and no change) while a frame is in progress.
    bool RefPrefix(const void* prefix, size_t size);
    // Forgets any frame in progress and any error; a prefix given for the next frame stays.
    void Reset();
    size_t Decode(ZstdOutput& out, ZstdInput& in);

private:
    enum class Stage { Magic, SkipSize, Skip, Header, BlockHeader, Block, Checksum, Done };

    size_t Step(ZstdOutput& out, ZstdInput& in);
    // Gathers the next field of want bytes in field_; false while input is missing.
    bool Gather(ZstdInput& in, size_t want);
    size_t ReadFrameHeader();
    size_t ReadBlockHeader();
    // Decodes the block whose bytes are at body, followed by kZstdSlack readable bytes.
    size_t DecodeBlock(const uint8_t* body);
    void PrepareHistory();
    void MakeRoom();
    size_t Fail(ZstdError e);
    void TakePrefix();

    unsigned windowLogMax_ = kZstdDefaultWindowLogMax;
    Stage stage_ = Stage::Magic;
    size_t error_ = 0;
    uint8_t field_[18];
    size_t fieldSize_ = 0;
    std::vector<uint8_t> block_;
    size_t blockHave_ = 0;

    // The frame in progress.
    uint64_t window_ = 0;
    size_t blockMax_ = kZstdBlockMax;
    uint64_t contentSize_ = 0;
    bool knownSize_ = false;
    bool checksum_ = false;
    uint64_t produced_ = 0;
    uint64_t skipLeft_ = 0;
    unsigned blockType_ = 0;
    size_t blockSize_ = 0;
    bool lastBlock_ = false;
    // The prefix given for the next frame.
    const uint8_t* nextPrefix_ = nullptr;
    size_t nextPrefixSize_ = 0;
    CXxHash64 hash_;
    CZstdLiterals literals_;
    CZstdSequences sequences_;

    // The window: the frame's recent output, and past flushed_ what the caller has yet
    // to take. The buffer is filled from its start; when it is full, writing starts over
    // at the start and what it held, up to end_, becomes the earlier bytes the next
    // matches may reach, in place of the frame's prefix.
    std::unique_ptr<uint8_t[]> history_;
    size_t historySize_ = 0;
    size_t end_ = 0;
    size_t flushed_ = 0;
    const uint8_t* earlierEnd_ = nullptr;
    size_t earlierSize_ = 0;
};

} // namespace codec
