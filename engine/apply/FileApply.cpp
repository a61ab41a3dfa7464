#include "engine/apply/FileApply.h"

#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/apply/Backups.h"
#include "engine/apply/CompactRebuild.h"
#include "engine/apply/CompactTree.h"
#include "platform/FilesInUse.h"
#include "engine/apply/ObjectStream.h"
#include "engine/apply/SafeNames.h"
#include "engine/apply/StagedNames.h"
#include "engine/apply/StagingWriter.h"
#include "engine/apply/WindowRebuild.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "platform/OpenFiles.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace {

// Files from this length on start their writeback as soon as they are rebuilt, so that
// the disk writes them while the apply goes on. Shorter ones are left to the flush of
// all waiting files, which writes them in one batch: starting the disk writes of every
// small file on its own cost more than the overlap won (three: 10 %).
constexpr uint32_t kWritebackFrom = uint32_t{64} << 10;

// Targets from this length on are checked a second time beside their rebuild, on a
// helper thread, rather than before it: the rebuild writes only the staged file and
// waits much of its time for the disk.
constexpr uint32_t kCheckBesideFrom = uint32_t{16} << 20;

// A compact file shorter than this is written in one piece: the write finds a disk
// without room as surely as taking the file's blocks first would, which would only add a
// system call for each of many small files.
constexpr uint32_t kReserveFrom = uint32_t{64} << 10;

// A file rebuilt a window at a time reads its new data from the image in one piece when
// they lie within this many bytes of it.
constexpr uint64_t kNewDataInMemory = uint64_t{32} << 20;

void Tell(IEngineHost& core, const std::string& text)
{
    core.Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
}

// The two questions of the apply; true when the user wants to abort.
bool AskAbort(IEngineHost& core, const std::string& text)
{
    return core.Ask(PromptOwner::ProgressDialog, text, "Delvorin Error", PromptButtons::YesNo, PromptIcon::None) ==
           PromptAnswer::Yes;
}


} // namespace

CFileApply::CFileApply(CFilePatch& record, CApplyContext& context, bool backup, const std::string& backupExt)
    : record_(record), context_(context), core_(record.Core()), backup_(backup), backupExt_(backupExt),
      target_(Printable(record.oldPath)), logging_(record.Core().LogEnabled())
{
}

CFileApply::~CFileApply()
{
    if (besideCheck_.valid())
        besideCheck_.wait();
    out_.Close();
    if (!staged_.empty())
        folder_->Remove(staged_);
    if (oldFd_.Valid())
        fsys::CloseFile(oldFd_);
}

int CFileApply::Run()
{
    if (!FindFolder() || !CheckTarget())
        return result_;
    if (!record_.Rebuilds())
        return GiveTimesOnly();
    if (context_.writer && record_.compact && !existed_ && record_.newLength <= CStagingWriter::kLargestFile)
        return StageBeside();
    if (Stage() && Rebuild() && CheckResult() && BackupTargetFile() && ReplaceTargetFile())
        result_ = 1;
    return result_;
}

int CFileApply::StageBeside()
{
    // A new file with nothing at its name is rebuilt and checked in memory; the writer
    // makes it beside its target while the apply goes on.
    CStagingWriter::CFile file;
    std::vector<unsigned char>& bytes = file.bytes;
    bytes.reserve(record_.newLength);
    const std::string stagedPath = fsys::Join(folderPath_, std::string(kStagedPrefix) + "XXXXXX");
    if (!RebuildCompactFile(
            [&](const unsigned char* data, size_t length, uint64_t at) {
                // The rebuild writes from the start on, piece after piece: appended
                // without clearing the memory first.
                if (at == bytes.size()) {
                    bytes.insert(bytes.end(), data, data + length);
                    return true;
                }
                if (at + length > bytes.size())
                    bytes.resize(static_cast<size_t>(at + length));
                std::copy(data, data + length, bytes.begin() + static_cast<std::ptrdiff_t>(at));
                return true;
            },
            stagedPath) ||
        !CheckResult())
        return result_;
    file.folder = folder_;
    file.folderPath = folderPath_;
    file.leaf = leaf_;
    file.target = target_;
    file.times = record_.newTimes;
    file.mode = fsys::NewFileMode();
    if (!context_.writer->Add(std::move(file))) {
        Fail(context_.writer->Failure());
        return result_;
    }
    return 1;
}

bool CFileApply::FindFolder()
{
    if (!IsSafeRelativeName(record_.name))
        return Fail("The following file name in the patch file is not allowed:\n" + record_.name);
    // An earlier record's replacement of this target must be in place before this one
    // looks at it. A staged apply puts nothing in place before its commit: two records
    // of one file make the patch damaged (the verification refuses such a patch first).
    if (context_.queue->Holds(target_) || (context_.writer && context_.writer->Holds(target_))) {
        if (context_.staged)
            return Damaged();
        if (!context_.queue->Flush())
            return false;
    }
    std::string folder;
    SplitRelativeName(record_.name, folder, leaf_);
    folderPath_ = fsys::FolderOf(target_);
    if (auto known = context_.openFolders.find(folder); known != context_.openFolders.end()) {
        folder_ = known->second;
        inEmptyMadeFolder_ = context_.emptyMadeFolders.count(folder) != 0;
        return true;
    }
    if (record_.newFileFlag) {
        // The folders of a new file are made where missing, one at a time beneath the
        // target folder.
        std::string failedAt;
        const size_t made = context_.madeFolders.size();
        folder_ = std::make_shared<CFolderHandle>(
            context_.root.MakeFolders(folder, failedAt, context_.staged ? &context_.madeFolders : nullptr));
        if (!folder_->Valid())
            return Fail("Unable to create directory:\n" + fsys::Join(context_.rootPath, failedAt));
        if (context_.madeFolders.size() > made && context_.madeFolders.back() == folder) {
            context_.emptyMadeFolders.insert(folder);
            inEmptyMadeFolder_ = true;
        }
    } else {
        folder_ = std::make_shared<CFolderHandle>(context_.root.Folder(folder));
        if (!folder_->Valid()) {
            // Gone, or no longer a folder inside the target folder, since it was verified.
            ReportFileSum(core_, target_, CSumCheck::CannotOpen);
            return TargetModified();
        }
    }
    if (!context_.staged)
        context_.openFolders.clear();
    context_.openFolders.emplace(folder, folder_);
    return true;
}

bool CFileApply::CheckTarget()
{
    CEntryStatus st;
    existed_ = !(record_.newFileFlag && inEmptyMadeFolder_) && folder_->Status(leaf_, st);
    uint64_t spanBytes = 0;
    NewDataSpan(record_.newPatches, spanFirst_, spanEnd_);
    spanBytes = spanEnd_ - spanFirst_;
    inMemory_ = record_.Rebuilds() && !record_.compact && !record_.objectsStreamed && record_.newLength <= kRebuildInMemory &&
                record_.oldLength <= kRebuildInMemory && spanBytes <= uint64_t{2} * kRebuildInMemory;
    CRebuildBuffers& buffers = context_.buffers;
    if (inMemory_) {
        // All the memory is taken now; where it cannot be had, the file is rebuilt a
        // window at a time instead.
        try {
            FitBuffer(buffers.oldBytes, record_.oldPatches.empty() ? 0 : record_.oldLength);
            FitBuffer(buffers.newBytes, record_.newLength);
            FitBuffer(buffers.data, static_cast<size_t>(spanBytes));
        } catch (const std::bad_alloc&) {
            inMemory_ = false;
        }
    }

    if (record_.newFileFlag) {
        if (!existed_)
            return true; // nothing there: nothing to check
        // Whatever is at the name is replaced; only a file or a link can be.
        if (!st.IsFile() && !st.IsLink())
            return Fail("Unable to create file:\n" + target_);
        // A link that leads out of the target folder (or nowhere) is not read: it is
        // replaced as the link it is.
        oldFd_ = context_.root.OpenForReading(record_.name);
        if (!oldFd_.Valid())
            return true;
    } else {
        oldFd_ = context_.root.OpenForReading(record_.name);
        if (!oldFd_.Valid()) {
            ReportFileSum(core_, target_, CSumCheck::CannotOpen);
            return TargetModified();
        }
    }
    CEntryStatus opened;
    if (!fsys::OpenFileStatus(oldFd_, opened))
        return TargetModified();
    oldSize_ = opened.size;
    // A file another program writes to is not replaced under it: its later writes would
    // go to the old file, which the rename takes away.
    if (record_.Rebuilds() && IsOpenForWriting(oldFd_) && (record_.newFileFlag || oldSize_ == record_.oldLength)) {
        context_.inUse.push_back(target_);
        return Done();
    }

    // Where the old and the new file agree in length and byte sum, only the digests tell
    // a target that is done already (a patch run again) from one still to be patched.
    const bool sumsAlike = record_.checks && record_.oldLength == record_.newLength &&
                           record_.oldByteSum == record_.newByteSum;
    if (!record_.newFileFlag && oldSize_ == record_.oldLength && !inMemory_ && record_.Rebuilds() && !backup_ &&
        record_.oldLength >= kCheckBesideFrom) {
        try {
            besideCheck_ = std::async(std::launch::async, [fd = oldFd_, length = oldSize_, sumsAlike] {
                return SummarizeOpenFile(fd, length, sumsAlike);
            });
            return true; // decided beside the rebuild
        } catch (const std::system_error&) {
            // No thread could be started: the check comes first, as for other files.
        }
    }
    if (oldSize_ != record_.oldLength && oldSize_ != record_.newLength)
        return record_.newFileFlag || TargetModified();
    // The bytes of a file rebuilt in memory are read once, here, and the rebuild copies
    // from the very bytes that were checked.
    CByteBuffer* keep = inMemory_ && !record_.oldPatches.empty() && oldSize_ == record_.oldLength
                            ? &buffers.oldBytes
                            : nullptr;
    // The verification has compared the hashes: this second look compares the sums.
    std::optional<CContentSummary> content = SummarizeOpenFile(oldFd_, oldSize_, sumsAlike, keep);
    const CTargetState state = content ? StateOfTarget(record_, *content) : CTargetState::Different;
    if (state == CTargetState::New)
        return Done();
    // A new file replaces whatever was at its name.
    if (state == CTargetState::Different && !record_.newFileFlag)
        return TargetModified();
    return true;
}

int CFileApply::GiveTimesOnly()
{
    // The content stays, so no backup is taken. A staged apply gives the times in its
    // commit.
    if (context_.staged && oldFd_.Valid()) {
        CReplaceQueue::CEntry entry;
        entry.folder = folder_;
        entry.leaf = leaf_;
        entry.target = target_;
        entry.timesOnly = true;
        entry.times = record_.newTimes;
        return context_.queue->Add(std::move(entry), 0) ? 1 : 0;
    }
    // A target that cannot be given its times keeps them, without a message.
    if (oldFd_.Valid())
        SetOpenFileTimes(oldFd_, record_.newTimes);
    return 1;
}

bool CFileApply::Stage()
{
    // Beside the target, so that the final rename stays in one file system. A file with
    // no target to take its permissions from is made with those of a new file at once;
    // one that replaces a file stays private until it gets the old file's.
    modeGiven_ = !oldFd_.Valid();
    CFileRef fd = folder_->CreateUnique(kStagedPrefix, staged_,
                                        modeGiven_ ? fsys::NewFileMode() : CFolderHandle::kPrivateMode);
    if (!fd.Valid()) {
        staged_.clear();
        return Fail("Unable to create file:\n" + fsys::Join(folderPath_, std::string(kStagedPrefix) + "XXXXXX"));
    }
    out_.Adopt(fd);
    out_.WriteBackEarly();
    return true;
}

void CFileApply::LogObject(size_t index, const CNewPatch& object)
{
    if (!logging_)
        return;
    core_.AppendToLogFile("Applying patch #" + std::to_string(index) + " from patch file to file " + target_);
    core_.AppendToLogFile("Start patch: " + std::to_string(object.newOffset) +
                          ", patch size: " + std::to_string(object.length));
}

bool CFileApply::Rebuild()
{
    const std::string stagedPath = fsys::Join(folderPath_, staged_);
    const CFileRef imageFd = core_.Image().file.Fd();
    CRebuildBuffers& buffers = context_.buffers;
    if (inMemory_) {
        if (!RebuildInMemory(out_, buffers, record_, imageFd, spanFirst_, spanEnd_,
                             [this](size_t i, const CNewPatch& object) { LogObject(i, object); }))
            return Fail("Unable to write file:\n" + stagedPath);
        rebuilt_ = SummarizeBytes(buffers.newBytes.data(), buffers.newBytes.size(), record_.checks.has_value());
        return true;
    }
    // The file gets its length first, so that a disk without room says so before
    // anything is written. Old copies read the target as it was checked.
    if ((!record_.compact || record_.newLength >= kReserveFrom) && !out_.SetLength(record_.newLength))
        return Fail("Unable to create file:\n" + stagedPath);
    if (record_.compact)
        return RebuildCompactFile(
            [&](const unsigned char* data, size_t length, uint64_t at) { return out_.WriteAt(data, length, at); },
            stagedPath);
    if ((record_.oldCopyCount != 0 || !record_.oldPatches.empty()) && !oldFd_.Valid())
        return Fail("Unable to open file:\n" + target_);
    if (record_.objectsStreamed)
        return RebuildObjectByObject() || Fail("Unable to write file:\n" + stagedPath);
    CWindowRebuild windows(record_.oldPatches, record_.newPatches, record_.newLength);
    CSha256 hash;
    if (record_.checks)
        windows.HashInto(&hash);
    // The new data are read from the image in one piece where that piece is not large.
    if (spanEnd_ - spanFirst_ <= kNewDataInMemory) {
        try {
            buffers.data.resize(static_cast<size_t>(spanEnd_ - spanFirst_));
            if (!fsys::ReadAt(imageFd, buffers.data.data(), buffers.data.size(), spanFirst_))
                return Fail("Unable to read file:\n" + core_.Image().file.Path());
            windows.NewDataInMemory(buffers.data.data(), spanFirst_, buffers.data.size());
        } catch (const std::bad_alloc&) {
            // Read object by object instead.
        }
    }
    if (!windows.Run(oldFd_, imageFd, buffers.newBytes, [&](const unsigned char* data, size_t length, uint64_t at) {
            return out_.WriteAt(data, length, at);
        }))
        return Fail("Unable to write file:\n" + stagedPath);
    for (size_t i = 0; i < record_.newPatches.size(); ++i)
        LogObject(i, record_.newPatches[i]);
    // The rebuilt bytes were summed (and hashed) as they were written, whole, from the
    // start of an empty file: the file need not be read back.
    rebuilt_ = CContentSummary{record_.newLength, windows.Sum(), std::nullopt};
    if (record_.checks)
        rebuilt_.digest = hash.Final();
    return true;
}

bool CFileApply::RebuildCompactFile(const CCompactWriter& write, const std::string& stagedPath)
{
    // A rebuild that finds the streams inconsistent, or a result that is not the new file
    // (length, byte sum and SHA-256), is taken as a wrong sum by CheckResult.
    CSha256::Digest digest;
    switch (RebuildCompact(record_, core_.Image().file.Fd(), oldFd_, write, &digest)) {
    case CCompactRebuild::Ok:
        // The rebuild has checked the length and byte sum (and the SHA-256 where the
        // record has one) of what it wrote; its digest goes to the new tree's once the
        // target proves to be the old file (CheckResult).
        rebuilt_ = CContentSummary{record_.newLength, record_.newByteSum, digest};
        return true;
    case CCompactRebuild::Damaged:
        rebuilt_ = CContentSummary{record_.newLength, ~record_.newByteSum, std::nullopt};
        return true;
    case CCompactRebuild::ReadFailed:
        return Fail("Unable to read file:\n" + target_);
    case CCompactRebuild::WriteFailed:
        break;
    }
    return Fail("Unable to write file:\n" + stagedPath);
}

bool CFileApply::RebuildObjectByObject()
{
    // A record of very many objects: each is copied on its own, in the record's order,
    // through one buffer, and the rebuilt file is read back for its sum.
    const CFileRef imageFd = core_.Image().file.Fd();
    CByteBuffer& buffer = context_.buffers.newBytes;
    if (buffer.size() < CWindowRebuild::kWindow)
        buffer.resize(CWindowRebuild::kWindow);
    auto copy = [&](CFileRef from, uint64_t fromAt, uint64_t to, uint32_t length) {
        for (uint64_t done = 0; done < length;) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
            if (!fsys::ReadAt(from, buffer.data(), chunk, fromAt + done) || !out_.WriteAt(buffer.data(), chunk, to + done))
                return false;
            done += chunk;
        }
        return true;
    };
    const bool ok = ForEachObject(
        record_, imageFd, [&](const COldPatch& o) { return copy(oldFd_, o.oldOffset, o.newOffset, o.length); },
        [&](size_t i, const CNewPatch& n) {
            LogObject(i, n);
            return copy(imageFd, n.dataPosition, n.newOffset, n.length);
        });
    if (!ok)
        return false;
    std::optional<CContentSummary> content =
        SummarizeOpenFile(out_.Fd(), record_.newLength, record_.checks.has_value());
    // A file that cannot be read back fails the result check.
    rebuilt_ = content ? *content : CContentSummary{record_.newLength, ~record_.newByteSum, std::nullopt};
    return true;
}

bool CFileApply::CheckResult()
{
    if (!TargetStillOld())
        return false;
    if (record_.newLength >= kWritebackFrom && out_.Fd().Valid())
        out_.StartWriteback();
    if (NewFileMatches()) {
        if (record_.compact && rebuilt_.digest)
            NoteCompactDigest(record_, *rebuilt_.digest);
        return true;
    }
    if (context_.staged)
        return Damaged();
    // The target keeps its old content (a new file does not appear); the staged file
    // goes.
    result_ = AskAbort(core_, "The following file, " + target_ +
                                  "\ndid not have its file patch applied correctly.\n\n"
                                  "The patch file is very likely corrupt.\n"
                                  "Do you want to abort the patch process?")
                  ? 0
                  : 1;
    return false;
}

bool CFileApply::NewFileMatches() const
{
    // Every check of a staged file's content is made here, before anything changes.
    return IsNewContent(record_, rebuilt_);
}

bool CFileApply::BackupTargetFile()
{
    // Only a file that exists is backed up.
    if (!backup_ || !existed_)
        return true;
    if (context_.staged) {
        backupInCommit_ = true; // the commit keeps it, just before the rename
        return true;
    }
    std::string backupLeaf;
    if (!BackUpEntry(*folder_, leaf_, oldFd_, false, backupExt_, backupLeaf))
        return Fail("Unable to create file:\n" + BackupShown());
    NoteBackup(backupLeaf);
    return true;
}

std::string CFileApply::BackupShown() const
{
    return fsys::Join(folderPath_, Printable(BackupName(leaf_, backupExt_, 0)));
}

void CFileApply::NoteBackup(const std::string& backupLeaf)
{
    ::NoteBackup(core_, context_.backups, target_, fsys::Join(folderPath_, Printable(backupLeaf)));
}

bool CFileApply::ReplaceTargetFile()
{
    // The new file keeps the old one's permission bits and owner.
    fsys::CFileAttributes old;
    if (oldFd_.Valid() && fsys::GetAttributes(oldFd_, old))
        fsys::SetOwnerAndPermissions(out_.Fd(), old);
    else if (!modeGiven_)
        fsys::SetPermissions(out_.Fd(), fsys::NewFileMode());
    SetOpenFileTimes(out_.Fd(), record_.newTimes);
    if (!out_.Close())
        return Fail("Unable to write file:\n" + fsys::Join(folderPath_, staged_));
    // The staged file waits in the apply's queue for one flush with the others, then
    // takes the target's name.
    CReplaceQueue::CEntry entry;
    entry.folder = folder_;
    entry.staged = staged_;
    entry.leaf = leaf_;
    entry.target = target_;
    entry.backup = backupInCommit_;
    staged_.clear();
    return context_.queue->Add(std::move(entry), record_.newLength);
}

bool CFileApply::Done()
{
    result_ = 1;
    return false;
}

bool CFileApply::TargetModified()
{
    if (!record_.HasObjects()) {
        result_ = 1;
        return false;
    }
    result_ = AskAbort(core_, "The following file, " + target_ +
                                  "\nhas been modified since this patch file was created.\n\n"
                                  "This patch file cannot be applied to this file.\n"
                                  "Do you want to abort the patch process?")
                  ? 0
                  : 1;
    return false;
}

bool CFileApply::Damaged()
{
    context_.damaged.push_back(target_);
    result_ = 0;
    return false;
}

bool CFileApply::Fail(const std::string& text)
{
    if (!TargetStillOld())
        return false;
    // A staged apply stops before its commit: the driver removes what it staged.
    Tell(core_, context_.staged ? text + "\n\nNothing was changed." : text);
    result_ = 0;
    return false;
}

bool CFileApply::TargetStillOld()
{
    if (!besideCheck_.valid())
        return true;
    const std::optional<CContentSummary> content = besideCheck_.get();
    const CTargetState state = content ? StateOfTarget(record_, *content) : CTargetState::Different;
    if (state == CTargetState::Old)
        return true;
    if (state == CTargetState::New)
        return Done();
    return TargetModified();
}
