#include "codec/ZstdFrameDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace codec {

namespace {

constexpr uint32_t kFrameMagic = 0xFD2FB528;
constexpr uint32_t kSkippableMagic = 0x184D2A50; // the low four bits are free
enum BlockType { kRawBlock = 0, kRleBlock = 1, kCompressedBlock = 2 };
constexpr size_t kDictBytes[4] = {0, 1, 2, 4};

// The header's fields follow from its first byte: window, dictionary, content size.
size_t ContentSizeBytes(unsigned descriptor)
{
    const unsigned flag = descriptor >> 6;
    return flag == 0 ? ((descriptor >> 5) & 1) : size_t{1} << flag;
}

size_t FrameHeaderSize(unsigned descriptor)
{
    return 1 + (((descriptor >> 5) & 1) ? 0 : 1) + kDictBytes[descriptor & 3] + ContentSizeBytes(descriptor);
}

} // namespace

bool CZstdFrameDecoder::SetWindowLogMax(unsigned log)
{
    if (log == 0)
        log = kZstdDefaultWindowLogMax;
    if (log < 10 || log > kZstdWindowLogLimit || (sizeof(size_t) < 8 && log > 30))
        return false;
    windowLogMax_ = log;
    return true;
}

bool CZstdFrameDecoder::RefPrefix(const void* prefix, size_t size)
{
    if (stage_ != Stage::Magic || fieldSize_ > 0)
        return false;
    const bool none = prefix == nullptr || size == 0;
    nextPrefix_ = none ? nullptr : static_cast<const uint8_t*>(prefix);
    nextPrefixSize_ = none ? 0 : size;
    return true;
}

void CZstdFrameDecoder::Reset()
{
    stage_ = Stage::Magic;
    error_ = 0;
    fieldSize_ = 0;
    end_ = flushed_ = 0;
    earlierEnd_ = nullptr;
    earlierSize_ = 0;
}

// A frame begins: the prefix given for it is its own, and the next frame has none.
void CZstdFrameDecoder::TakePrefix()
{
    earlierEnd_ = nextPrefix_ + nextPrefixSize_;
    earlierSize_ = nextPrefixSize_;
    nextPrefix_ = nullptr;
    nextPrefixSize_ = 0;
}

size_t CZstdFrameDecoder::Fail(ZstdError e)
{
    error_ = ZstdFail(e);
    return error_;
}

size_t CZstdFrameDecoder::Decode(ZstdOutput& out, ZstdInput& in)
{
    if (error_)
        return error_;
    if (in.pos > in.size || out.pos > out.size)
        return Fail(ZstdError::Parameter);
    try {
        return Step(out, in);
    } catch (const std::bad_alloc&) {
        return Fail(ZstdError::Memory);
    }
}

bool CZstdFrameDecoder::Gather(ZstdInput& in, size_t want)
{
    if (fieldSize_ < want) {
        const size_t take = std::min(want - fieldSize_, in.size - in.pos);
        if (take > 0) // the input may be empty, with no buffer at all
            std::memcpy(field_ + fieldSize_, static_cast<const uint8_t*>(in.src) + in.pos, take);
        in.pos += take;
        fieldSize_ += take;
    }
    return fieldSize_ >= want;
}

size_t CZstdFrameDecoder::Step(ZstdOutput& out, ZstdInput& in)
{
    for (;;) {
        // What is decoded is handed out before anything else is read.
        if (flushed_ < end_) {
            const size_t n = std::min(end_ - flushed_, out.size - out.pos);
            if (n > 0)
                std::memcpy(static_cast<uint8_t*>(out.dst) + out.pos, history_.get() + flushed_, n);
            out.pos += n;
            flushed_ += n;
            if (flushed_ < end_)
                return 1;
        }
        switch (stage_) {
        case Stage::Magic: {
            if (!Gather(in, 4))
                return 4 - fieldSize_;
            const uint32_t magic = Load32(field_);
            fieldSize_ = 0;
            TakePrefix();
            if (magic == kFrameMagic)
                stage_ = Stage::Header;
            else if ((magic & ~0xFu) == kSkippableMagic)
                stage_ = Stage::SkipSize;
            else
                return Fail(ZstdError::UnknownFrame);
            break;
        }
        case Stage::SkipSize:
            if (!Gather(in, 4))
                return 4 - fieldSize_;
            skipLeft_ = Load32(field_);
            fieldSize_ = 0;
            stage_ = Stage::Skip;
            break;
        case Stage::Skip: {
            const uint64_t n = std::min<uint64_t>(skipLeft_, in.size - in.pos);
            in.pos += static_cast<size_t>(n);
            skipLeft_ -= n;
            if (skipLeft_ > 0)
                return static_cast<size_t>(std::min<uint64_t>(skipLeft_, kZstdBlockMax));
            stage_ = Stage::Magic;
            return 0;
        }
        case Stage::Header: {
            if (!Gather(in, 1))
                return 1;
            const size_t total = FrameHeaderSize(field_[0]);
            if (!Gather(in, total))
                return total - fieldSize_;
            const size_t r = ReadFrameHeader();
            if (ZstdIsError(r))
                return r;
            break;
        }
        case Stage::BlockHeader: {
            if (!Gather(in, 3))
                return 3 - fieldSize_;
            const size_t r = ReadBlockHeader();
            if (ZstdIsError(r))
                return r;
            break;
        }
        case Stage::Block: {
            const size_t want = blockType_ == kRleBlock ? 1 : blockSize_;
            const uint8_t* next = static_cast<const uint8_t*>(in.src) + in.pos;
            const size_t available = in.size - in.pos;
            const uint8_t* body = block_.data();
            if (blockHave_ == 0 && available >= want + kZstdSlack) {
                body = next; // whole in the input, with bytes to spare behind it
                in.pos += want;
            } else {
                const size_t take = std::min(want - blockHave_, available);
                if (take > 0)
                    std::memcpy(block_.data() + blockHave_, next, take);
                in.pos += take;
                blockHave_ += take;
                if (blockHave_ < want)
                    return want - blockHave_;
                std::memset(block_.data() + blockSize_, 0, kZstdSlack);
            }
            const size_t r = DecodeBlock(body);
            if (ZstdIsError(r))
                return r;
            stage_ = !lastBlock_ ? Stage::BlockHeader : checksum_ ? Stage::Checksum : Stage::Done;
            break;
        }
        case Stage::Checksum:
            if (!Gather(in, 4))
                return 4 - fieldSize_;
            fieldSize_ = 0;
            if (Load32(field_) != static_cast<uint32_t>(hash_.Digest()))
                return Fail(ZstdError::Checksum);
            stage_ = Stage::Done;
            break;
        case Stage::Done:
            if (knownSize_ && produced_ != contentSize_)
                return Fail(ZstdError::Corrupt);
            stage_ = Stage::Magic;
            end_ = flushed_ = 0;
            return 0;
        }
    }
}

// Returns 0 once the header is read, or an error.
size_t CZstdFrameDecoder::ReadFrameHeader()
{
    const unsigned d = field_[0];
    const unsigned dictFlag = d & 3;
    const bool single = (d >> 5) & 1;
    if (d & 0x08)
        return Fail(ZstdError::FrameParameter); // reserved bit
    const size_t sizeBytes = ContentSizeBytes(d);
    const uint8_t* p = field_ + 1;
    uint64_t window = 0;
    if (!single) {
        const unsigned exponent = *p >> 3, mantissa = *p & 7;
        const unsigned log = 10 + exponent;
        if (log > windowLogMax_)
            return Fail(ZstdError::WindowTooLarge);
        window = (uint64_t{1} << log) + ((uint64_t{1} << log) / 8) * mantissa;
        ++p;
    }
    if (LoadBytes(p, kDictBytes[dictFlag]) != 0)
        return Fail(ZstdError::Dictionary);
    p += kDictBytes[dictFlag];
    knownSize_ = sizeBytes > 0;
    contentSize_ = LoadBytes(p, sizeBytes) + (sizeBytes == 2 ? 256 : 0);
    if (single)
        window = contentSize_;
    if (window > (uint64_t{1} << windowLogMax_))
        return Fail(ZstdError::WindowTooLarge);
    window_ = window;
    // No block holds more than the window, packed or unpacked (a window of at least
    // 1 KiB: frames of one small segment have a smaller one).
    blockMax_ = static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(window, 1024), kZstdBlockMax));
    PrepareHistory();
    checksum_ = (d >> 2) & 1;
    fieldSize_ = 0;
    produced_ = 0;
    end_ = flushed_ = 0;
    hash_.Reset();
    literals_.Reset();
    sequences_.Reset();
    stage_ = Stage::BlockHeader;
    return 0;
}

size_t CZstdFrameDecoder::ReadBlockHeader()
{
    const uint32_t h = static_cast<uint32_t>(LoadBytes(field_, 3));
    fieldSize_ = 0;
    lastBlock_ = h & 1;
    blockType_ = (h >> 1) & 3;
    blockSize_ = h >> 3;
    if (blockType_ == 3 || blockSize_ > blockMax_)
        return Fail(ZstdError::Corrupt);
    if (block_.empty())
        block_.resize(kZstdBlockMax + kZstdSlack);
    blockHave_ = 0;
    stage_ = Stage::Block;
    return 0;
}

// Holds the window and room for two blocks: when writing starts over at the buffer's
// start, the window's older part lies past the room the next block takes. No more than
// the frame's content when its size is known. The buffer is kept for the next frame.
void CZstdFrameDecoder::PrepareHistory()
{
    const size_t room = kZstdBlockMax + kZstdSlack;
    uint64_t want = window_ + 2 * room;
    if (knownSize_ && contentSize_ <= window_ + room)
        want = contentSize_ + room;
    if (historySize_ < want) {
        history_.reset();
        historySize_ = 0;
        history_.reset(new uint8_t[static_cast<size_t>(want)]);
        historySize_ = static_cast<size_t>(want);
    }
}

// Keeps room for one more block, starting over at the buffer's start when the room runs
// out (all output is handed out by then): the buffer's bytes become the earlier ones,
// at least the window and a block's room of them.
void CZstdFrameDecoder::MakeRoom()
{
    if (historySize_ - end_ >= kZstdBlockMax + kZstdSlack)
        return;
    earlierEnd_ = history_.get() + end_;
    earlierSize_ = end_;
    end_ = flushed_ = 0;
}

size_t CZstdFrameDecoder::DecodeBlock(const uint8_t* body)
{
    MakeRoom();
    uint8_t* dst = history_.get() + end_;
    size_t n;
    switch (blockType_) {
    case kRawBlock:
        n = blockSize_;
        std::memcpy(dst, body, n);
        break;
    case kRleBlock:
        n = blockSize_;
        std::memset(dst, body[0], n);
        break;
    default: {
        const size_t used = literals_.Read(body, blockSize_);
        if (used == 0)
            return Fail(ZstdError::Corrupt);
        const ZstdHistory history{end_, produced_, window_, earlierEnd_, earlierSize_};
        n = sequences_.Run(body + used, blockSize_ - used, literals_.Data(), literals_.Size(), dst, blockMax_,
                           history);
        if (ZstdIsError(n))
            return Fail(ZstdError::Corrupt);
        break;
    }
    }
    if (knownSize_ && n > contentSize_ - produced_)
        return Fail(ZstdError::Corrupt);
    if (checksum_)
        hash_.Update(dst, n);
    end_ += n;
    produced_ += n;
    return n;
}

} // namespace codec
