// The whole content of one file while a build differences it. A large file is mapped
// into memory rather than copied: no buffer to clear and fill, and the pages are the
// ones the system already holds. A file that shrinks while it is mapped would make the
// program fail on its missing pages; instead those pages read as zeros and the content
// reports itself damaged, so the build can refuse it like a short read.
#pragma once
#include "platform/FileHandle.h"
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

class CFileContent {
public:
    // Files from this length on are mapped; shorter ones are read into memory.
    static constexpr size_t kMapFrom = size_t{1} << 20;

    enum class LoadResult { Ok, NoMemory, ReadError };

    CFileContent() = default;
    ~CFileContent() { clear(); }
    CFileContent(const CFileContent&) = delete;
    CFileContent& operator=(const CFileContent&) = delete;

    // Takes length bytes of the open file fd from offset on (offset a multiple of the
    // page size when length is kMapFrom or more).
    LoadResult Load(CFileRef fd, size_t length, uint64_t offset = 0);
    // True when the file lost bytes while it was mapped: the content is not the file's.
    bool Damaged() const;

    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Releases the content.
    void clear();
    // Exchanges the contents of two holders (a content read ahead moves into a record).
    void swap(CFileContent& other) noexcept;
    // Holds a copy of the given bytes (records made in memory rather than by a build).
    template <class It>
    void assign(It first, It last)
    {
        clear();
        buffer_.assign(first, last);
        data_ = buffer_.data();
        size_ = buffer_.size();
    }
    CFileContent& operator=(std::initializer_list<unsigned char> bytes)
    {
        assign(bytes.begin(), bytes.end());
        return *this;
    }

private:
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
    std::vector<unsigned char> buffer_;
    void* map_ = nullptr;
    size_t mapLength_ = 0;
    int guard_ = -1;
};
