// The apply driver: reads every file record twice. The first pass verifies every
// target and changes nothing; only when it found no error does the second pass apply
// every record, and then the files of the remove list are deleted. Every name is
// resolved beneath an open handle of the target folder.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/SafeNames.h"
#include "engine/apply/StagedNames.h"
#include "engine/apply/Verification.h"
#include "engine/apply/WritePlan.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"
#include "platform/Progress.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr const char* kNotAllowedText = "The following file name in the patch file is not allowed:\n%s\n\n";
constexpr const char* kLinkedFolderText =
    "The following file lies behind a symbolic link to a folder and cannot be updated safely:\n%s\n\n";
constexpr const char* kDamagedText = "The patch file is damaged and cannot be applied:\n%s\n\n";
constexpr const char* kNoFolderText = "The folder to be updated does not exist:\n%s\n\n";
constexpr const char* kNotWritableText = "The following folder cannot be written to:\n%s\n\n";
constexpr const char* kNoRoomText = "There is not enough room on the disk for the files to be written in:\n%s\n\n";
constexpr const char* kClashText = "The patch file names the following both as a file and as a folder:\n%s\n\n";
constexpr const char* kBlockedText = "The following file stands where the patch needs a folder:\n%s\n\n";
constexpr const char* kBackupExtText = "The backup file extension must not hold a \"/\":\n%s\n\n";
constexpr const char* kBusyText = "Another apply is changing the folder:\n%s\nRun this one again when it has finished.\n\n";

enum class Step { Go, Cancelled };

// An entry either tells that the target folder does not hold what the patch was built
// against, or that the patch cannot be applied as it is (damaged, unsafe, or a target
// that cannot be written).
enum class ErrorKind { Mismatch, Refusal };

// Status text, target path, cancel question and bar: the same before every record of
// both passes.
Step Preamble(CDirDiff& dirDiff, CFilePatch& record, int index, int count, IApplyProgress* progress)
{
    if (progress)
        progress->SetStatus("Applying patch to file: " + record.name + ", file " + std::to_string(index + 1) +
                            " of " + std::to_string(count) + ".");
    record.oldPath = fsys::Join(dirDiff.TargetFolder(), record.name);
    if (progress && progress->CheckCancelButton()) {
        PromptAnswer answer = dirDiff.Core().Ask(PromptOwner::ProgressDialog,
                                                 "If you cancel the Delvorin apply process, each of\n"
                                                 "your files stays either old or new, and applying\n"
                                                 "the patch again finishes the job.\n\n"
                                                 "Do you really want to cancel this process?",
                                                 "Delvorin Warning", PromptButtons::YesNo, PromptIcon::None);
        if (answer == PromptAnswer::Yes)
            return Step::Cancelled;
    }
    if (progress)
        progress->SetPos(static_cast<int>(static_cast<double>(index) * 100.0 / count));
    return Step::Go;
}

void AddError(CDirDiff& dirDiff, ErrorKind kind, const char* format, const std::string& text)
{
    dirDiff.failure = 1;
    if (kind == ErrorKind::Refusal)
        ++dirDiff.refusals;
    if (dirDiff.errorCount < CDirDiff::kMaxErrors) {
        FormatErrorEntry(dirDiff.errors[dirDiff.errorCount], CDirDiff::kErrorTextSize, format, text);
        ++dirDiff.errorCount;
    }
}

bool EmptyPatch(CDirDiff& dirDiff)
{
    if (dirDiff.Core().fileCount != 0)
        return false;
    dirDiff.Core().Ask(PromptOwner::MainWindow, "This Delvorin file does not have any file patches in it.",
                       "Delvorin Warning", PromptButtons::OK, PromptIcon::Stop);
    return true;
}

// One record of the first pass: its name, its objects and its target.
void VerifyRecord(CDirDiff& dirDiff, CPatchDoc& doc, CFilePatch& record, CWritePlan& plan)
{
    const std::string& folder = dirDiff.TargetFolder();
    if (!IsSafeRelativeName(record.name)) {
        AddError(dirDiff, ErrorKind::Refusal, kNotAllowedText, record.name);
    } else if (PassesLinkedFolder(folder, record.name)) {
        AddError(dirDiff, ErrorKind::Mismatch, kLinkedFolderText, record.oldPath);
    } else if (record.Rebuilds() && !ObjectsCoverNewFile(record, dirDiff.Core().patchImage.Fd())) {
        AddError(dirDiff, ErrorKind::Refusal, kDamagedText, doc.PathName());
    } else if (plan.Clashes(record)) {
        AddError(dirDiff, ErrorKind::Refusal, kClashText, record.oldPath);
    } else if (const std::string blocked = plan.BlockedBy(record); !blocked.empty()) {
        AddError(dirDiff, ErrorKind::Mismatch, kBlockedText, blocked);
    } else if (!record.VerifyTargetFile(dirDiff.errors[dirDiff.errorCount])) {
        dirDiff.failure = 1;
        ++dirDiff.errorCount;
    } else {
        const std::string unwritable = plan.Add(record);
        if (!unwritable.empty())
            AddError(dirDiff, ErrorKind::Refusal, kNotWritableText, unwritable);
    }
}

// The first pass: 1 when every record passed, 0 when errors were collected (the failure
// flag is set), -1 when a cancel was confirmed.
int VerificationPass(CDirDiff& dirDiff, CPatchDoc& doc, CApplyContext& context, CWritePlan& plan,
                     IApplyProgress* progress)
{
    CAppCore& core = dirDiff.Core();
    const int count = core.fileCount;

    // Missing folders are created only below the target folder, never the folder itself
    // or anything above it.
    if (!context.root.Valid() && (!fsys::FolderExists(context.rootPath) || !context.root.Open(context.rootPath)))
        AddError(dirDiff, ErrorKind::Mismatch, kNoFolderText, context.rootPath);

    for (int i = 0; i < count && dirDiff.errorCount < CDirDiff::kMaxErrors; ++i) {
        CFilePatch record(core);
        record.applyContext = &context;
        if (!record.ReadWrite(false)) {
            // The reader has shown what is wrong; a record not read completely is never
            // verified or applied, and neither is anything after it.
            AddError(dirDiff, ErrorKind::Refusal, kDamagedText, doc.PathName());
            return 0;
        }
        if (Preamble(dirDiff, record, i, count, progress) == Step::Cancelled)
            return -1;
        if (context.root.Valid())
            VerifyRecord(dirDiff, doc, record, plan);
    }
    for (const std::string& folder : plan.FoldersWithoutRoom())
        AddError(dirDiff, ErrorKind::Refusal, kNoRoomText, folder);
    return dirDiff.failure ? 0 : 1;
}

// Deletes one entry of the remove list: only a file (or a link to one) inside the target
// folder, reached beneath its handle. Removal only deletes, so an entry that names
// nothing deletable there is passed over; false then.
bool RemoveListed(const CFolderHandle& root, const std::string& entry)
{
    if (!IsSafeRelativeName(entry))
        return false;
    std::string folderName, leaf;
    SplitRelativeName(entry, folderName, leaf);
    CFolderHandle folder = root.Folder(folderName);
    struct stat st;
    if (!folder.Valid() || !folder.Status(leaf, st))
        return false;
    struct stat followed;
    if (S_ISLNK(st.st_mode) && fstatat(folder.Fd(), leaf.c_str(), &followed, 0) == 0 && S_ISDIR(followed.st_mode))
        return false; // a link to a folder is no file of the tree
    return folder.Remove(leaf);
}

} // namespace

int CDirDiff::VerifyPatch(CPatchDoc& doc, IApplyProgress* progress)
{
    ClearErrors();
    if (EmptyPatch(*this))
        return 0;
    CApplyContext context;
    context.rootPath = TargetFolder();
    CWritePlan plan(context.root, context.rootPath, false);
    return VerificationPass(*this, doc, context, plan, progress);
}

int CDirDiff::ApplyPatch(CPatchDoc& doc, int& backup, const std::string& backupExt, IApplyProgress* progress)
{
    ClearErrors();
    if (EmptyPatch(*this))
        return 0;

    // Replacements wait here to be flushed to the disk together; an apply that ends early
    // still puts the ones before in place.
    CReplaceQueue replacements(core_);
    CApplyContext context;
    context.rootPath = TargetFolder();
    context.queue = &replacements;
    context.backups = &backups;
    CWritePlan plan(context.root, context.rootPath, backup != 0);
    // The extension takes the place of each backed-up file's own: a '/' would lead the
    // backups into other folders.
    if (backup != 0 && backupExt.find('/') != std::string::npos) {
        AddError(*this, ErrorKind::Refusal, kBackupExtText, backupExt);
        return 0;
    }
    // One apply at a time changes a folder: another one would take this one's updated
    // files for old ones and its rebuild files for leftovers.
    if (fsys::FolderExists(context.rootPath) && context.root.Open(context.rootPath) && !context.root.TryLock()) {
        AddError(*this, ErrorKind::Refusal, kBusyText, context.rootPath);
        return 0;
    }
    int verified = VerificationPass(*this, doc, context, plan, progress);
    if (verified != 1)
        return verified;

    if (!doc.RewindToFileRecords())
        return 0;

    // Files that an interrupted apply staged and left behind go first, from the folders
    // this one writes to.
    for (const std::string& folder : plan.Folders()) {
        CFolderHandle handle = context.root.Folder(folder);
        if (handle.Valid())
            RemoveStagedLeftovers(handle);
    }

    const int count = core_.fileCount;
    for (int i = 0; i < count; ++i) {
        CFilePatch record(core_);
        record.applyContext = &context;
        if (!record.ReadWrite(false)) {
            replacements.Flush();
            return 0; // the reader has shown its message
        }
        if (Preamble(*this, record, i, count, progress) == Step::Cancelled) {
            replacements.Flush();
            return -1;
        }
        if (!record.ApplyFileRecord(backup, backupExt, progress)) {
            replacements.Flush();
            return 0;
        }
    }
    if (!replacements.Flush())
        return 0;

    for (const std::string& entry : RemoveList()) {
        if (!RemoveListed(context.root, entry))
            core_.Ask(PromptOwner::ProgressDialog,
                      "Unable to remove the following file that was\nspecified to be removed in the patch file:\n\n" +
                          entry,
                      "Delvorin Warning", PromptButtons::OK, PromptIcon::None);
    }
    return 1;
}
