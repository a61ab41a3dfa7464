#include "engine/apply/ObjectStream.h"

#include "engine/common/ByteOrder.h"
#include "platform/FileSystem.h"

#include "platform/OpenFiles.h"

#include <algorithm>

namespace {
constexpr size_t kStreamBuffer = size_t{1} << 20;
}

const unsigned char* CObjectStream::Take(size_t size)
{
    if (position_ < bufferStart_ || position_ + size > bufferStart_ + buffer_.size()) {
        buffer_.resize(kStreamBuffer);
        const int64_t n = fsys::ReadSomeAt(fd_, buffer_.data(), buffer_.size(), position_);
        if (n < static_cast<int64_t>(size))
            return nullptr;
        buffer_.resize(static_cast<size_t>(n));
        bufferStart_ = position_;
    }
    const unsigned char* at = buffer_.data() + (position_ - bufferStart_);
    position_ += size;
    return at;
}

bool CObjectStream::NextOld(COldPatch& object)
{
    const unsigned char* p = Take(COldPatch::kSize);
    if (!p)
        return false;
    object.oldOffset = GetU32(p + 8);
    object.newOffset = GetU32(p + 12);
    object.length = GetU32(p + 16);
    return true;
}

bool CObjectStream::NextNew(CNewPatch& object)
{
    const unsigned char* p = Take(CNewPatch::kHeaderSize);
    if (!p)
        return false;
    object.newOffset = GetU32(p + 8);
    object.length = GetU32(p + 12);
    object.dataPosition = position_;
    position_ += object.length; // the data are passed over
    return true;
}
