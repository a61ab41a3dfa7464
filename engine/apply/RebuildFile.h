// The file a record is rebuilt into, staged beside its target: written from memory at
// explicit offsets, with its length and blocks taken first and its bytes sent to the
// disk early. And the two ways of filling it: a small file in memory, in one write; a
// larger one a window at a time (WindowRebuild).
#pragma once
#include "platform/FileHandle.h"
#include "engine/common/CFilePatch.h"
#include "platform/ByteBuffer.h"

#include <cstdint>
#include <functional>
#include <vector>

// The memory of in-memory rebuilds of small files (and of the window rebuild of larger
// ones, in newBytes), kept by an apply from one record to the next.
struct CRebuildBuffers {
    CByteBuffer oldBytes; // the target, as its check read it
    CByteBuffer newBytes; // the rebuilt file, or the window being rebuilt
    CByteBuffer data;     // the record's new data, read from the image at once
};

// Files up to this length are rebuilt in memory: the old file's bytes are the ones its
// check read, the new data of the record are read from the image in one piece, and the
// file is written in one go. A small file otherwise costs a system call per object, and
// the records of a release's changed files hold hundreds to thousands of them.
constexpr uint32_t kRebuildInMemory = uint32_t{8} << 20;

class CRebuildFile {
public:
    ~CRebuildFile() { Close(); }
    void Adopt(CFileRef fd) { fd_ = fd; }
    CFileRef Fd() const { return fd_; }
    // Gives the file its length, and its blocks at once where the file system can: the
    // rebuild then writes into blocks allocated in one piece instead of having them
    // allocated stretch by stretch while the early writeback runs (64 MiB apply about
    // 8 % faster). A disk without room for the file says so here, before anything is
    // written.
    bool SetLength(uint32_t length);
    // Sends every few MiB written to the disk while the rebuild goes on, so the disk
    // writes the start of a large file while the rest is being rebuilt rather than all
    // of it at the end. Advice only; the flush before the rename makes the bytes durable.
    void WriteBackEarly() { early_ = true; }
    // Starts writing what was written to the disk, without waiting.
    void StartWriteback();
    // Writes length bytes from memory at offset, in steps of the early writeback at most.
    bool WriteAt(const unsigned char* data, size_t length, uint64_t offset);
    // False when the file could not be closed (its bytes may be lost).
    bool Close();

private:
    static constexpr size_t kWritebackStep = size_t{8} << 20;
    CFileRef fd_;
    bool early_ = false;
    size_t sinceWriteback_ = 0;
};

// Makes room for n bytes in a buffer, at least doubling it: an apply meets files of many
// lengths, and fresh memory for each longer one would cost its page faults again.
void FitBuffer(CByteBuffer& buffer, size_t n);

// The stretch of the image that holds the data of all new-data objects (with the object
// headers between them): [first, end).
void NewDataSpan(const std::vector<CNewPatch>& objects, uint64_t& first, uint64_t& end);

// Called for each new-data object, in the record's order, as it is placed.
using CObjectLogger = std::function<void(size_t index, const CNewPatch& object)>;

// Rebuilds a small file in memory into buffers.newBytes and writes it in one go:
// newLength zero bytes that the objects overwrite in order, old copies from the bytes
// the target's check read (buffers.oldBytes), new data from one read of [first, end)
// of the image.
bool RebuildInMemory(CRebuildFile& out, CRebuildBuffers& buffers, const CFilePatch& record, CFileRef imageFd,
                     uint64_t first, uint64_t end, const CObjectLogger& logObject);
