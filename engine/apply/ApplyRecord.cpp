// Applying one file record to its target: a new file is created (with any missing
// folders), a changed file is checked again, backed up when asked, rebuilt from the
// old file and the patch image into a fresh file beside the target (a small file in
// memory, from the bytes its check read; a large one object by object), checked
// against the new length and byte sum, and only then moved over the target in one
// step. A record without objects only gives the target its recorded times.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "engine/common/CFilePatch.h"
#include "engine/apply/ReplaceQueue.h"
#include "engine/apply/SafeNames.h"
#include "engine/apply/Verification.h"
#include "engine/apply/WindowRebuild.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <new>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The rebuilt file and the backup are written under a fresh name in the target's own
// folder: hidden, with a random part, so it can meet no file of the patch or the user.
constexpr const char* kRebuildPrefix = ".~dvp-rebuild-";
constexpr const char* kBackupPrefix = ".~dvp-backup-";

void Tell(CAppCore& core, const std::string& text)
{
    core.Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
}

// The two questions of the apply; true when the user wants to abort.
bool AskAbort(CAppCore& core, const std::string& text)
{
    return core.Ask(PromptOwner::ProgressDialog, text, "Delvorin Error", PromptButtons::YesNo, PromptIcon::None) ==
           PromptAnswer::Yes;
}

// Creates a new, empty file with a name that did not exist, in the folder. On failure
// name holds the pattern, for the message. With keepOpen the file stays open for
// reading and writing and its descriptor is put there.
bool MakeUniqueFile(const std::string& folder, const std::string& prefix, std::string& name, int* keepOpen = nullptr)
{
    std::string pattern = fsys::Join(folder, prefix + "XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    int fd = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        name = pattern;
        return false;
    }
    if (keepOpen)
        *keepOpen = fd;
    else
        close(fd);
    name = buffer.data();
    return true;
}

// Files up to this length are rebuilt in memory: the old file's bytes are the ones its
// check read, the new data of the record are read from the image in one piece, and the
// file is written in one go. A small file otherwise costs a system call per object, and
// the records of a release's changed files hold hundreds to thousands of them.
constexpr uint32_t kRebuildInMemory = uint32_t{8} << 20;

// Replacements from this length on start their writeback as soon as they are rebuilt,
// so that the disk writes them while the apply goes on. Shorter ones are left to the
// flush of all waiting files, which writes them in one batch: starting the disk writes
// of every small file on its own cost more than the overlap won (three: 10 %).
constexpr uint32_t kWritebackFrom = uint32_t{64} << 10;

// Targets from this length on are checked a second time beside their rebuild rather
// than before it.
constexpr uint32_t kCheckBesideFrom = uint32_t{16} << 20;

// Makes room for n bytes in a buffer, at least doubling it: an apply meets files of many
// lengths, and fresh memory for each longer one would cost its page faults again.
void Fit(CByteBuffer& buffer, size_t n)
{
    if (buffer.capacity() < n)
        buffer.reserve(std::max(n, buffer.capacity() * 2));
}

// The stretch of the image that holds the data of all new-data objects (with the object
// headers between them): [first, end).
void DataSpan(const std::vector<CNewPatch>& objects, uint64_t& first, uint64_t& end)
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

// An open file descriptor, closed when it goes.
class CHeldFile {
public:
    ~CHeldFile() { Close(); }
    int& Fd() { return fd_; }
    // Hands the descriptor over; the holder no longer closes it.
    int Release() { return std::exchange(fd_, -1); }
    void Close()
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Creates the file where nothing is at its name, not even a link; it stays open for
// writing in held.
bool CreateNewFile(const std::string& path, CHeldFile& held)
{
    held.Fd() = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return held.Fd() >= 0;
}

// Creates the file, or empties an existing one, without writing through a link at that
// name: a link is replaced by the new empty file. The file stays open for writing in
// held.
bool CreateEmptyFile(const std::string& path, CHeldFile& held)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            held.Fd() = fd;
            return true;
        }
        struct stat lst;
        if (errno != ELOOP || lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode) || unlink(path.c_str()) != 0)
            return false;
    }
    return false;
}

// True when path, with every link resolved, lies inside folder.
bool ResolvesInside(const std::string& folder, const std::string& path)
{
    char resolvedFolder[PATH_MAX];
    char resolvedPath[PATH_MAX];
    if (!realpath(folder.c_str(), resolvedFolder) || !realpath(path.c_str(), resolvedPath))
        return false;
    std::string f = resolvedFolder;
    std::string p = resolvedPath;
    if (f != "/")
        f += '/';
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0;
}

// Permission bits the target should keep; a target that does not exist gets those of
// a newly created file.
unsigned TargetMode(const std::string& target)
{
    unsigned mode = 0;
    if (fsys::GetPermissions(target, mode))
        return mode;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~static_cast<unsigned>(mask);
}

// Gives a replacement file the owner, group and permission bits of the file it replaces.
void TakeOverAttributes(const std::string& replacement, const std::string& target)
{
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        struct stat mine;
        if (stat(replacement.c_str(), &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid)) {
            // Only possible for a privileged user; a failure keeps the apply's own owner.
            [[maybe_unused]] int ignored = chown(replacement.c_str(), st.st_uid, st.st_gid);
        }
    }
    fsys::SetPermissions(replacement, TargetMode(target));
}

// Opens a regular file for reading without waiting on a named pipe at its name.
int OpenRegular(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The file being rebuilt: written from memory at explicit offsets, with its length set
// first and, for replacements, its bytes sent to the disk early.
class CRebuildFile {
public:
    ~CRebuildFile() { Close(); }
    void Adopt(int fd) { fd_ = fd; }
    // Gives the rebuilt file its length, and its blocks at once where the file system
    // can: the rebuild then writes into blocks allocated in one piece instead of having
    // them allocated stretch by stretch while the early writeback runs (64 MiB apply
    // about 8 % faster). A disk without room for the file says so here, before anything
    // is written.
    bool SetLength(uint32_t length)
    {
        if (length > 0) {
            if (fallocate(fd_, 0, 0, static_cast<off_t>(length)) == 0)
                return true;
            if (errno == ENOSPC || errno == EDQUOT)
                return false;
        }
        return ftruncate(fd_, static_cast<off_t>(length)) == 0;
    }
    // Starts writing the rebuilt bytes to the disk without waiting: the flush before the
    // rename then has less to wait for. Advice only; the flush is what makes the bytes
    // durable.
    void StartWriteback()
    {
        sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
        sinceWriteback_ = 0;
    }
    // With early writeback, every few MiB written are sent to the disk while the rebuild
    // goes on, so the disk writes the start of a large file while the rest is being rebuilt
    // rather than all of it at the end.
    void WriteBackEarly() { early_ = true; }
    // Writes length bytes from memory at offset of the rebuilt file, in steps of the
    // early writeback at most.
    bool WriteAt(const unsigned char* data, size_t length, uint64_t offset)
    {
        size_t done = 0;
        while (done < length) {
            const size_t chunk = std::min(length - done, kWritebackStep);
            ssize_t n = pwrite(fd_, data + done, chunk, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
            Copied(static_cast<size_t>(n));
        }
        return true;
    }
    int Fd() const { return fd_; }
    bool Close()
    {
        if (fd_ < 0)
            return true;
        bool ok = close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    static constexpr size_t kWritebackStep = size_t{8} << 20;

    void Copied(size_t bytes)
    {
        sinceWriteback_ += bytes;
        if (early_ && sinceWriteback_ >= kWritebackStep)
            StartWriteback();
    }

    int fd_ = -1;
    bool early_ = false;
    size_t sinceWriteback_ = 0;
};

// Rebuilds a small file in memory and writes it in one go: newLength zero bytes that the
// objects overwrite in order, old copies taken from the bytes the target's check read
// (buffers.oldBytes), new data from one read of [first, end) of the image, the stretch
// that holds them (DataSpan). logObject is called for each new-data object as it is
// placed, as the copying rebuild does.
template <class LogObject>
bool RebuildInMemory(CRebuildFile& out, CRebuildBuffers& buffers, const std::vector<COldPatch>& oldPatches,
                     const std::vector<CNewPatch>& newPatches, uint32_t newLength, int imageFd, uint64_t first,
                     uint64_t end, LogObject&& logObject)
{
    // The buffers have room for all of it already (Fit before the check).
    CByteBuffer& bytes = buffers.newBytes;
    bytes.assign(newLength, 0);
    for (const COldPatch& object : oldPatches) {
        // The objects lie within the old length, which the check found.
        if (uint64_t{object.oldOffset} + object.length > buffers.oldBytes.size())
            return false;
        if (object.length > 0)
            std::memcpy(bytes.data() + object.newOffset, buffers.oldBytes.data() + object.oldOffset, object.length);
    }
    buffers.data.resize(static_cast<size_t>(end - first));
    if (!fsys::ReadAt(imageFd, buffers.data.data(), buffers.data.size(), first))
        return false;
    for (size_t i = 0; i < newPatches.size(); ++i) {
        const CNewPatch& object = newPatches[i];
        if (object.length > 0)
            std::memcpy(bytes.data() + object.newOffset, buffers.data.data() + (object.dataPosition - first),
                        object.length);
        logObject(i, object);
    }
    return out.WriteAt(bytes.data(), bytes.size(), 0);
}

} // namespace

int CFilePatch::ApplyFileRecord(int& backup, const std::string& backupExt, IApplyProgress* /*progress*/)
{
    const std::string target = oldPath;
    std::string root;
    if (!TargetFolderOf(target, name, root) || !IsSafeTargetName(root, name)) {
        Tell(core_, "The following file name in the patch file is not allowed:\n" + name);
        return 0;
    }
    const bool hasObjects = !oldPatches.empty() || !newPatches.empty();
    // An earlier record's replacement of this target must be in place before this one
    // looks at it.
    if (replaceQueue && replaceQueue->Holds(target) && !replaceQueue->Flush())
        return 0;

    bool backedUp = false;
    CHeldFile created;
    // A new file is first created where nothing is at its name (the usual case): then
    // there is nothing to back up, and no status query is needed to tell so.
    const bool createdNew = newFileFlag && CreateNewFile(target, created);
    bool createdHere = createdNew;
    // A file that did not exist before the apply holds nothing that a crash could take
    // away: it is not forced to the disk before and after its rename (two waits for the
    // disk per file, most of the time an apply of many new files takes). A replaced
    // file always is, so a crash leaves its old content or its new one.
    struct stat before;
    syncReplacement_ = !createdNew && (!newFileFlag || lstat(target.c_str(), &before) == 0);
    if (newFileFlag && !createdNew) {
        // A file of that name is about to be emptied: when backups are asked for, keep
        // its content, not the emptied file.
        if (backup && fsys::FileExists(target)) {
            if (!BackupTargetFile(backupExt))
                return 0;
            backedUp = true;
        }
        if (CreateEmptyFile(target, created)) {
            createdHere = true;
        } else {
            const std::string folder = fsys::FolderOf(target);
            if (!fsys::FolderExists(folder)) {
                CBinFile file;
                if (!CreateFolderPath(folder, file))
                    return 0;
                file.Close();
                createdHere = true;
            }
        }
    }

    // Small files are rebuilt in memory, from the bytes the check reads.
    uint64_t spanFirst = 0;
    uint64_t spanEnd = 0;
    DataSpan(newPatches, spanFirst, spanEnd);
    bool inMemory = hasObjects && newLength <= kRebuildInMemory && oldLength <= kRebuildInMemory &&
                    spanEnd - spanFirst <= uint64_t{2} * kRebuildInMemory;
    CRebuildBuffers own;
    CRebuildBuffers& buffers = rebuildBuffers ? *rebuildBuffers : own;
    buffers.oldBytes.clear();
    if (inMemory) {
        // All the memory is taken now; where it cannot be had, the file is rebuilt a
        // window at a time instead.
        try {
            Fit(buffers.oldBytes, oldPatches.empty() ? 0 : oldLength);
            Fit(buffers.newBytes, newLength);
            Fit(buffers.data, static_cast<size_t>(spanEnd - spanFirst));
        } catch (const std::bad_alloc&) {
            inMemory = false;
        }
    }
    CByteBuffer* keepOld = inMemory && !oldPatches.empty() ? &buffers.oldBytes : nullptr;
    auto targetModified = [&] {
        if (!hasObjects)
            return 1;
        return AskAbort(core_, "The following file, " + target +
                                   "\nhas been modified since this patch file was created.\n\n"
                                   "This patch file cannot be applied to this file.\n"
                                   "Do you want to abort the patch process?")
                   ? 0
                   : 1;
    };
    // The check of a large target runs on a helper thread beside its rebuild, which
    // writes only the file beside the target and waits much of its time for the disk.
    // Its outcome is taken, and told, before anything else the rebuild has to tell and
    // before the rebuilt file is checked or put in place: what the user sees, and what
    // happens to the target, are as if the check had come first. With a backup to make
    // first, the check comes first.
    std::future<CSumCheck> besideCheck;
    if (!createdHere && !inMemory && hasObjects && !backup && oldLength >= kCheckBesideFrom) {
        try {
            besideCheck = std::async(std::launch::async, [&target, this] {
                return TestFileSum(target, static_cast<int32_t>(oldLength), oldByteSum);
            });
        } catch (const std::system_error&) {
            // No thread could be started: the check comes first, as for other files.
        }
    }
    // True when the check beside the rebuild (if any) found the target unchanged; shows
    // what the check shows otherwise.
    auto besideCheckPassed = [&] { return !besideCheck.valid() || ReportFileSum(core_, target, besideCheck.get()); };
    // The file just created here is empty: it matches a length and sum of 0 and nothing
    // else, and need not be read to tell.
    const bool targetMatches =
        besideCheck.valid() ||
        (createdHere ? oldLength == 0 && oldByteSum == 0
                     : CheckFileSum(core_, target, static_cast<int32_t>(oldLength), oldByteSum, keepOld));
    if (!targetMatches)
        return targetModified();

    if (backup && !backedUp && !BackupTargetFile(backupExt))
        return 0;

    if (!hasObjects) {
        // Only the times change. A link at the target's name is followed only when it
        // stays inside the target folder; a target that cannot be opened keeps its times.
        CBinFile probe;
        struct stat lst;
        if (lstat(target.c_str(), &lst) == 0 && (!S_ISLNK(lst.st_mode) || ResolvesInside(root, target)) &&
            probe.Open(target, CBinFile::Mode::ReadWriteExisting)) {
            probe.Close();
            SetFileTimes(target, newTimes);
        }
        return 1;
    }

    // A file that did not exist before the apply and has just been created empty holds
    // nothing to protect: it is rebuilt in place, without a second file and a rename
    // (on a tree of many new files, creating files takes most of an apply's time). A
    // rebuild that fails leaves it empty, as it was created.
    std::string rebuild;
    int rebuildFd = -1;
    if (createdHere && !syncReplacement_)
        rebuildFd = created.Fd() >= 0 ? created.Release() : open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    created.Close();
    const bool inPlace = rebuildFd >= 0;
    if (inPlace) {
        rebuild = target;
    } else if (!MakeUniqueFile(fsys::FolderOf(target), kRebuildPrefix, rebuild, &rebuildFd)) {
        // Rebuild beside the target, so that the final rename stays in one file system.
        if (!besideCheckPassed())
            return targetModified();
        Tell(core_, "Unable to create file:\n" + rebuild);
        return 0;
    }
    CRebuildFile out;
    out.Adopt(rebuildFd);
    if (syncReplacement_)
        out.WriteBackEarly();
    // Takes away what a failed rebuild wrote: the file beside the target, or the bytes
    // of a file rebuilt in place.
    auto discard = [&] {
        if (inPlace)
            [[maybe_unused]] int ignored = truncate(target.c_str(), 0);
        else
            fsys::DeleteFile(rebuild);
    };
    auto fail = [&](const std::string& text) {
        out.Close();
        discard();
        if (!besideCheckPassed())
            return targetModified();
        Tell(core_, text);
        return 0;
    };
    const bool logging = core_.LogEnabled();
    auto logObject = [&](size_t i, const CNewPatch& object) {
        if (!logging)
            return;
        core_.AppendToLogFile("Applying patch #" + std::to_string(i) + " from patch file to file " + target);
        core_.AppendToLogFile("Start patch: " + std::to_string(object.newOffset) +
                              ", patch size: " + std::to_string(object.length));
    };
    uint32_t windowSum = 0;
    if (inMemory) {
        if (!RebuildInMemory(out, buffers, oldPatches, newPatches, newLength, core_.patchImage.Fd(), spanFirst,
                             spanEnd, logObject))
            return fail("Unable to write file:\n" + rebuild);
    } else {
        // Larger files are rebuilt a window at a time. The file gets its length first, so
        // that a disk without room says so before anything is written.
        if (!out.SetLength(newLength))
            return fail("Unable to create file:\n" + rebuild);
        CHeldFile old;
        // Old-copy objects read the target as it was before the apply.
        if (!oldPatches.empty() && (old.Fd() = OpenRegular(target)) < 0)
            return fail("Unable to open file:\n" + target);
        CWindowRebuild windows(oldPatches, newPatches, newLength);
        if (!windows.Run(old.Fd(), core_.patchImage.Fd(), buffers.newBytes,
                         [&](const unsigned char* data, size_t length, uint64_t offset) {
                             return out.WriteAt(data, length, offset);
                         }))
            return fail("Unable to write file:\n" + rebuild);
        for (size_t i = 0; i < newPatches.size(); ++i)
            logObject(i, newPatches[i]);
        windowSum = windows.Sum();
    }
    if (!besideCheckPassed()) {
        out.Close();
        discard();
        return targetModified();
    }
    if (syncReplacement_ && newLength >= kWritebackFrom)
        out.StartWriteback();
    // The rebuilt file holds exactly the bytes written, whole, from the start of an empty
    // file: the check sums those while they are at hand instead of reading the file back.
    // A new file rebuilt in place that passes takes its times through the open descriptor.
    const bool rebuiltMatches =
        inMemory ? buffers.newBytes.size() == newLength &&
                       ByteSum(buffers.newBytes.data(), buffers.newBytes.size()) == newByteSum
                 : windowSum == newByteSum;
    const bool timesSet = rebuiltMatches && inPlace && SetOpenFileTimes(out.Fd(), newTimes);
    if (!out.Close())
        return fail("Unable to write file:\n" + rebuild);

    if (!rebuiltMatches) {
        // The target keeps its old content (a new file stays empty); nothing is left behind.
        discard();
        return AskAbort(core_, "The following file, " + target +
                                   "\ndid not have its file patch applied correctly.\n\n"
                                   "The patch file is very likely corrupt.\n"
                                   "Do you want to abort the patch process?")
                   ? 0
                   : 1;
    }
    if (inPlace) {
        if (!timesSet)
            SetFileTimes(target, newTimes);
        return 1;
    }
    if (!ReplaceTargetFile(rebuild, target)) {
        fsys::DeleteFile(rebuild);
        return 0;
    }
    return 1;
}

bool CFilePatch::CreateFolderPath(const std::string& folder, CBinFile& file)
{
    // Walk outwards to the first folder that exists, then create the missing ones
    // inwards, outermost first.
    std::vector<std::string> missing;
    std::string path = fsys::WithoutTrailingSlash(folder);
    while (!path.empty() && !fsys::FolderExists(path)) {
        missing.push_back(path);
        std::string outer = fsys::FolderOf(path);
        if (outer == path)
            break;
        path = outer;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fsys::CreateFolder(*it)) {
            Tell(core_, "Unable to create directory:\n" + *it);
            return false;
        }
    }
    if (!file.Open(oldPath, CBinFile::Mode::CreateAlways)) {
        Tell(core_, "Unable to create file:\n" + oldPath);
        return false;
    }
    return true;
}

bool CFilePatch::BackupTargetFile(const std::string& backupExt)
{
    const std::string backupName = SetExtension(oldPath, backupExt);
    CBinFile in;
    if (!in.Open(oldPath, CBinFile::Mode::Read)) {
        Tell(core_, "Unable to open file:\n" + oldPath);
        return false;
    }
    // The copy is written under a fresh name and then renamed to the backup name, so a
    // link at the backup name is replaced, never written through.
    std::string temp;
    if (!MakeUniqueFile(fsys::FolderOf(backupName), kBackupPrefix, temp)) {
        Tell(core_, "Unable to create file:\n" + backupName);
        return false;
    }
    if (copyBuffer_.size() < kCopyBufferSize)
        copyBuffer_.assign(kCopyBufferSize, 0);
    CBinFile out;
    bool ok = out.Open(temp, CBinFile::Mode::ReadWriteExisting);
    while (ok) {
        size_t n = in.Read(copyBuffer_.data(), kCopyBufferSize);
        if (n == 0)
            break;
        ok = out.Write(copyBuffer_.data(), n);
    }
    ok = ok && !in.HadError();
    ok = out.Close() && ok;
    in.Close();
    if (ok) {
        TakeOverAttributes(temp, oldPath);
        ok = SyncFile(temp) && fsys::RenameFile(temp, backupName);
    }
    if (!ok) {
        fsys::DeleteFile(temp);
        Tell(core_, "Unable to create file:\n" + backupName);
        return false;
    }
    SyncFolder(fsys::FolderOf(backupName));
    return true;
}

bool CFilePatch::ReplaceTargetFile(const std::string& rebuildName, const std::string& target)
{
    CBinFile in;
    if (!in.Open(rebuildName, CBinFile::Mode::Read)) {
        Tell(core_, "Unable to open file:\n" + rebuildName);
        return false;
    }
    in.Close();
    // The rebuilt file takes the target's place in one step: a crash or a full disk
    // leaves either the old file or the new one.
    TakeOverAttributes(rebuildName, target);
    SetFileTimes(rebuildName, newTimes);
    // A replacement waits in the apply's queue for one flush with the others.
    if (syncReplacement_ && replaceQueue)
        return replaceQueue->Add(rebuildName, target, newLength);
    if ((syncReplacement_ && !SyncFile(rebuildName)) || !fsys::RenameFile(rebuildName, target)) {
        Tell(core_, "Unable to create file:\n" + target);
        return false;
    }
    if (syncReplacement_)
        SyncFolder(fsys::FolderOf(target));
    return true;
}
