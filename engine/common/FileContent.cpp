#include "engine/common/FileContent.h"

#include "platform/FileSystem.h"
#include "platform/GuardedMapping.h"

#include <new>
#include <utility>

CFileContent::LoadResult CFileContent::Load(CFileRef fd, size_t length, uint64_t offset)
{
    clear();
    if (length == 0)
        return LoadResult::Ok;
    if (length >= kMapFrom) {
        void* map = nullptr;
        int guard = -1;
        const fsys::MapResult mapped = fsys::MapGuarded(fd, length, offset, map, guard);
        if (mapped == fsys::MapResult::Mapped) {
            map_ = map;
            mapLength_ = length;
            guard_ = guard;
            data_ = static_cast<const unsigned char*>(map);
            size_ = length;
            return LoadResult::Ok;
        }
        if (mapped == fsys::MapResult::NoMemory)
            return LoadResult::NoMemory;
        // Not mappable (or no guard free): read it like a small file.
    }
    try {
        buffer_.resize(length);
    } catch (const std::bad_alloc&) {
        return LoadResult::NoMemory;
    }
    if (!fsys::ReadAt(fd, buffer_.data(), length, offset)) {
        clear();
        return LoadResult::ReadError;
    }
    data_ = buffer_.data();
    size_ = length;
    return LoadResult::Ok;
}

bool CFileContent::Damaged() const
{
    return fsys::GuardedMappingDamaged(guard_);
}

void CFileContent::clear()
{
    if (map_) {
        fsys::UnmapGuarded(map_, mapLength_, guard_);
    }
    map_ = nullptr;
    mapLength_ = 0;
    guard_ = -1;
    std::vector<unsigned char>().swap(buffer_);
    data_ = nullptr;
    size_ = 0;
}

void CFileContent::swap(CFileContent& other) noexcept
{
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    buffer_.swap(other.buffer_);
    std::swap(map_, other.map_);
    std::swap(mapLength_, other.mapLength_);
    std::swap(guard_, other.guard_);
}
