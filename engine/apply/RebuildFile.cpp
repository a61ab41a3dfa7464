#include "engine/apply/RebuildFile.h"

#include "platform/FileSystem.h"

#include "platform/OpenFiles.h"

#include <algorithm>
#include <climits>
#include <cstring>

bool CRebuildFile::SetLength(uint32_t length)
{
    return fsys::ReserveLength(fd_, length);
}

void CRebuildFile::StartWriteback()
{
    fsys::StartWriteback(fd_);
    sinceWriteback_ = 0;
}

bool CRebuildFile::WriteAt(const unsigned char* data, size_t length, uint64_t offset)
{
    size_t done = 0;
    while (done < length) {
        const size_t chunk = std::min(length - done, kWritebackStep);
        if (!fsys::WriteAllAt(fd_, data + done, chunk, offset + done))
            return false;
        done += chunk;
        sinceWriteback_ += chunk;
        if (early_ && sinceWriteback_ >= kWritebackStep)
            StartWriteback();
    }
    return true;
}

bool CRebuildFile::Close()
{
    if (!fd_.Valid())
        return true;
    bool ok = fsys::CloseFile(fd_);
    fd_ = CFileRef();
    return ok;
}

void FitBuffer(CByteBuffer& buffer, size_t n)
{
    if (buffer.capacity() < n)
        buffer.reserve(std::max(n, buffer.capacity() * 2));
}

void NewDataSpan(const std::vector<CNewPatch>& objects, uint64_t& first, uint64_t& end)
{
    first = UINT64_MAX;
    end = 0;
    for (const CNewPatch& n : objects) {
        first = std::min(first, n.dataPosition);
        end = std::max(end, n.dataPosition + n.length);
    }
    if (objects.empty())
        first = end = 0;
}

bool RebuildInMemory(CRebuildFile& out, CRebuildBuffers& buffers, const CFilePatch& record, CFileRef imageFd,
                     uint64_t first, uint64_t end, const CObjectLogger& logObject)
{
    // The buffers have room for all of it already (FitBuffer before the check).
    CByteBuffer& bytes = buffers.newBytes;
    bytes.assign(record.newLength, 0);
    for (const COldPatch& object : record.oldPatches) {
        // The objects lie within the old length, which the check found.
        if (uint64_t{object.oldOffset} + object.length > buffers.oldBytes.size())
            return false;
        if (object.length > 0)
            std::memcpy(bytes.data() + object.newOffset, buffers.oldBytes.data() + object.oldOffset, object.length);
    }
    buffers.data.resize(static_cast<size_t>(end - first));
    if (!fsys::ReadAt(imageFd, buffers.data.data(), buffers.data.size(), first))
        return false;
    for (size_t i = 0; i < record.newPatches.size(); ++i) {
        const CNewPatch& object = record.newPatches[i];
        if (object.length > 0)
            std::memcpy(bytes.data() + object.newOffset, buffers.data.data() + (object.dataPosition - first),
                        object.length);
        logObject(i, object);
    }
    return out.WriteAt(bytes.data(), bytes.size(), 0);
}
