// Apply: rebuilds a file too large to hold in memory, one window of the new file at a
// time. Each window is assembled in memory from the objects that reach into it, read
// from the old file and the patch image, then summed and written whole. The result is
// the same as applying every object to the whole file in turn — old copies first, then
// new data, each in the record's order, so that where objects overlap the later one
// wins and where none reaches the bytes are zero — but every write is a whole window
// at a window boundary, and the rebuilt bytes are summed while they are at hand
// instead of being read back for the check.
#pragma once
#include "platform/FileHandle.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/Sha256.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class CWindowRebuild {
public:
    static constexpr size_t kWindow = size_t{1} << 20;

    // Writes the bytes of one window at their offset of the rebuilt file.
    using WriteFn = std::function<bool(const unsigned char* data, size_t length, uint64_t offset)>;

    CWindowRebuild(const std::vector<COldPatch>& oldPatches, const std::vector<CNewPatch>& newPatches,
                   uint32_t newLength);

    // Rebuilds the file of newLength bytes from oldFd (the old file, needed only when
    // there are old copies) and imageFd (the patch image) into window-sized pieces
    // handed to write. False when a read comes short or a write fails. window is the
    // caller's memory, grown to one window.
    bool Run(CFileRef oldFd, CFileRef imageFd, CByteBuffer& window, const WriteFn& write);
    // The byte sum of everything Run wrote.
    uint32_t Sum() const { return sum_; }
    // Run also adds every window it writes, in order, to hash.
    void HashInto(CSha256* hash) { hash_ = hash; }
    // Run takes the new data from memory that holds the bytes [first, first + size) of
    // the image, instead of reading each object from the image: a record of many small
    // new-data objects (a thorough patch of a binary holds about one per 80 bytes) would
    // otherwise cost a read per object and window.
    void NewDataInMemory(const unsigned char* data, uint64_t first, uint64_t size)
    {
        data_ = data;
        dataFirst_ = first;
        dataSize_ = size;
    }

private:
    // The objects of one kind that reach into the current window, by their index in the
    // record: next is the first (by new offset) not yet taken in.
    struct Lane {
        std::vector<uint32_t> byOffset;
        size_t next = 0;
        std::vector<uint32_t> active;
    };
    template <class Object>
    static void Enter(Lane& lane, const std::vector<Object>& objects, uint64_t start, uint64_t end);
    void ZeroUncovered(unsigned char* window, uint64_t start, uint64_t end);
    // Read(destination, size, source offset) fills the destination; false when it cannot.
    template <class Object, class Source, class Read>
    static bool Place(const Lane& lane, const std::vector<Object>& objects, unsigned char* window,
                      uint64_t start, uint64_t end, Source&& sourceOffset, Read&& read);

    const std::vector<COldPatch>& oldPatches_;
    const std::vector<CNewPatch>& newPatches_;
    uint32_t newLength_;
    Lane old_;
    Lane new_;
    uint32_t sum_ = 0;
    CSha256* hash_ = nullptr;
    const unsigned char* data_ = nullptr;
    uint64_t dataFirst_ = 0;
    uint64_t dataSize_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> covered_; // the window's stretches objects reach
};
