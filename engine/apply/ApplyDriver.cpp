// The apply driver: reads every file record twice. The first pass verifies every
// target and changes nothing; only when it found no error does the second pass stage
// every record (each new file rebuilt and checked beside its target), and only when
// every file is staged does the commit put them in place, with their backups, and
// delete the files of the remove list. Every name is resolved beneath an open handle
// of the target folder. Where the disk has room for the files one by one but not for
// all of them staged at once, the user may have them replaced one by one instead.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/common/OpenPatch.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/Backups.h"
#include "engine/apply/CompactLead.h"
#include "engine/apply/CompactTree.h"
#include "engine/apply/SafeNames.h"
#include "engine/apply/StagedNames.h"
#include "engine/apply/StagingWriter.h"
#include "engine/apply/Verification.h"
#include "engine/apply/WritePlan.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/WindowsNames.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Progress.h"
#include "platform/SystemError.h"

#include <optional>

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
constexpr const char* kTooLongText = "The following name is longer than the file system holds:\n%s\n\n";
constexpr const char* kRebuiltWrongText =
    "The following file did not come out as the patch file says; the patch file is damaged and cannot be "
    "applied:\n%s\n\n";
constexpr const char* kInUseText = "The following file is open for writing in another program (close the programs "
                                   "that use them and run the patch again):\n%s\n\n";
constexpr const char* kNoRoomToStageText =
    "There is not enough room on the disk to prepare every file before the files are replaced:\n%s\n\n";
constexpr const char* kUnfitForWindowsText = "The following file name cannot be made on Windows:\n%s\n\n";
constexpr const char* kCaseTwinsText =
    "The following file names are one name on Windows, which ignores letter case:\n%s\n\n";
constexpr const char* kTreeWrongText =
    "The files of the following folder do not come out as the patch file says: a file differs from the one the "
    "patch was built from, or the patch file is damaged:\n%s\n\n";
constexpr const char* kLeadMissingText = "The following file, which the patch needs as it is, is missing:\n%s\n\n";
constexpr const char* kLeadMismatchText =
    "The following file, which the patch needs as it is, does not match the file it was built with:\n%s\n\n";
constexpr const char* kCommitText = "Putting the new files in place.";

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
        progress->SetStatus("Applying patch to file: " + Printable(record.name) + ", file " +
                            std::to_string(index + 1) + " of " + std::to_string(count) + ".");
    record.oldPath = fsys::Join(dirDiff.TargetFolder(), record.name);
    if (record.applyContext)
        AtCompactRecord(*record.applyContext, static_cast<size_t>(index), record);
    if (const CRecordChecks* checks = dirDiff.patchChecks.For(static_cast<size_t>(index)))
        record.checks = *checks;
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
    if (!dirDiff.ErrorsFull()) {
        char entry[CDirDiff::kErrorTextSize];
        FormatErrorEntry(entry, sizeof entry, format, text);
        dirDiff.AddErrorEntry(entry);
    }
}

bool EmptyPatch(CDirDiff& dirDiff)
{
    if (dirDiff.Core().Image().fileCount != 0)
        return false;
    dirDiff.Core().Ask(PromptOwner::MainWindow, "This Delvorin file does not have any file patches in it.",
                       "Delvorin Warning", PromptButtons::OK, PromptIcon::Stop);
    return true;
}

// One record of the first pass: its name, its objects and its target.
void VerifyRecord(CDirDiff& dirDiff, IOpenPatch& doc, CFilePatch& record, CApplyContext& context, CWritePlan& plan)
{
    char targetError[CDirDiff::kErrorTextSize] = "";
    if (!IsSafeRelativeName(record.name)) {
        AddError(dirDiff, ErrorKind::Refusal, kNotAllowedText, record.name);
    } else if (context.folders.PassesLinkedFolder(record.name)) {
        AddError(dirDiff, ErrorKind::Mismatch, kLinkedFolderText, record.oldPath);
    } else if (record.Rebuilds() && !ObjectsCoverNewFile(record, dirDiff.Core().Image().file.Fd())) {
        AddError(dirDiff, ErrorKind::Refusal, kDamagedText, doc.PathName());
    } else if (plan.Repeats(record)) {
        AddError(dirDiff, ErrorKind::Refusal, kDamagedText, doc.PathName());
    } else if (plan.Clashes(record)) {
        AddError(dirDiff, ErrorKind::Refusal, kClashText, record.oldPath);
    } else if (const std::string blocked = plan.BlockedBy(record); !blocked.empty()) {
        AddError(dirDiff, ErrorKind::Mismatch, kBlockedText, blocked);
    } else if (const std::string tooLong = plan.TooLong(record); !tooLong.empty()) {
        AddError(dirDiff, ErrorKind::Refusal, kTooLongText, tooLong);
    } else if (!record.VerifyTargetFile(targetError)) {
        dirDiff.failure = 1;
        dirDiff.AddErrorEntry(targetError);
    } else {
        const std::string unwritable = plan.Add(record);
        if (!unwritable.empty())
            AddError(dirDiff, ErrorKind::Refusal, kNotWritableText, unwritable);
    }
}

// Refuses the names of the patch that Windows cannot hold, naming each file.
void VerifyWindowsNames(CDirDiff& dirDiff, const std::vector<std::string>& names)
{
    const CWindowsNameReport report = dirDiff.windowsNameCheck(names);
    for (const auto& [name, problem] : report.unfit)
        AddError(dirDiff, ErrorKind::Refusal, kUnfitForWindowsText,
                 Printable(name) + " (" + WindowsNameProblemText(problem) + ")");
    for (const auto& [first, second] : report.caseTwins)
        AddError(dirDiff, ErrorKind::Refusal, kCaseTwinsText, Printable(first) + " and " + Printable(second));
}

// The first pass: 1 when every record passed, 0 when errors were collected (the failure
// flag is set), -1 when a cancel was confirmed.
int VerificationPass(CDirDiff& dirDiff, IOpenPatch& doc, CApplyContext& context, CWritePlan& plan,
                     IApplyProgress* progress)
{
    IEngineHost& core = dirDiff.Core();
    const int count = core.Image().fileCount;
    if (core.Image().format == CPatchFormat::Compact)
        StartCompactTree(context, static_cast<size_t>(count));

    // Missing folders are created only below the target folder, never the folder itself
    // or anything above it.
    if (!context.root.Valid() && (!fsys::FolderExists(context.rootPath) || !context.root.Open(context.rootPath)))
        AddError(dirDiff, ErrorKind::Mismatch, kNoFolderText, context.rootPath);

    // The files left alone that a compact patch's literals need, read before any record.
    if (const std::shared_ptr<CCompactLead>& lead = core.Image().compactLead;
        lead && core.Image().format == CPatchFormat::Compact && context.root.Valid()) {
        std::string problem;
        const CLeadFound found = LoadCompactLead(*lead, context.root, problem);
        if (found == CLeadFound::NotAllowed)
            AddError(dirDiff, ErrorKind::Refusal, kNotAllowedText, Printable(problem));
        else if (found != CLeadFound::Read)
            AddError(dirDiff, ErrorKind::Mismatch, found == CLeadFound::Missing ? kLeadMissingText : kLeadMismatchText,
                     problem.empty() ? context.rootPath : fsys::Join(context.rootPath, problem));
    }

    std::vector<std::string> names;
    for (int i = 0; i < count && !dirDiff.ErrorsFull(); ++i) {
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
            VerifyRecord(dirDiff, doc, record, context, plan);
        if (dirDiff.windowsNameCheck)
            names.push_back(record.name);
    }
    if (dirDiff.windowsNameCheck)
        VerifyWindowsNames(dirDiff, names);
    // The strong checks follow the last record directly: records that run into them, or
    // bytes between, make the patch damaged.
    if (dirDiff.patchChecks.present && !dirDiff.ErrorsFull() &&
        core.Image().file.Tell() != dirDiff.patchChecks.start)
        AddError(dirDiff, ErrorKind::Refusal, kDamagedText, doc.PathName());
    // Backups of the files of the remove list take names as well.
    for (const std::string& entry : dirDiff.RemoveList())
        if (context.root.Valid() && IsSafeRelativeName(entry))
            if (const std::string tooLong = plan.RemovalTooLong(entry); !tooLong.empty())
                AddError(dirDiff, ErrorKind::Refusal, kTooLongText, tooLong);
    context.folders.Clear();
    const std::vector<std::string> noRoom = plan.FoldersWithoutRoom(CWritePlan::Order::OneByOne);
    for (const std::string& folder : noRoom)
        AddError(dirDiff, ErrorKind::Refusal, kNoRoomText, folder);
    dirDiff.needsFileByFile = noRoom.empty() && !plan.FoldersWithoutRoom(CWritePlan::Order::Staged).empty();
    return dirDiff.failure ? 0 : 1;
}

// Before anything changes, where no staging will check it: rebuilds every compact
// record whose new content is not known yet without writing it, and checks the digest
// of the new tree. 1 when it matches, 0 when not (the error is listed), -1 when a cancel
// was confirmed.
int CompactTreePass(CDirDiff& dirDiff, IOpenPatch& doc, CApplyContext& context, IApplyProgress* progress)
{
    IEngineHost& core = dirDiff.Core();
    bool ok = doc.RewindToFileRecords();
    const int count = core.Image().fileCount;
    for (int i = 0; ok && i < count; ++i) {
        CFilePatch record(core);
        record.applyContext = &context;
        if (!record.ReadWrite(false))
            return 0; // the reader has shown its message
        if (Preamble(dirDiff, record, i, count, progress) == Step::Cancelled)
            return -1;
        ok = RebuildForCompactTree(record, core, context);
    }
    if (ok && CompactTreeMatches(context, core))
        return 1;
    AddError(dirDiff, ErrorKind::Refusal, kTreeWrongText, context.rootPath);
    return 0;
}

// Deletes one entry of the remove list: only a file (or a link to one) inside the target
// folder, reached beneath its handle. Removal only deletes, so an entry that names
// nothing deletable there is passed over; false then. With backups, the file is moved
// to its backup name instead (never over another file) and noted.
bool RemoveListed(CDirDiff& dirDiff, const CFolderHandle& root, const std::string& entry, const std::string* ext)
{
    if (!IsSafeRelativeName(entry))
        return false;
    std::string folderName, leaf;
    SplitRelativeName(entry, folderName, leaf);
    CFolderHandle folder = root.Folder(folderName);
    CEntryStatus st;
    if (!folder.Valid() || !folder.Status(leaf, st))
        return false;
    CEntryStatus followed;
    if (st.IsLink() && folder.FollowedStatus(leaf, followed) && followed.IsFolder())
        return false; // a link to a folder is no file of the tree
    if (!ext)
        return folder.Remove(leaf);
    for (int number = 0; number <= 9999; ++number) {
        const std::string backupLeaf = BackupName(leaf, *ext, number);
        if (folder.RenameNoReplace(leaf, backupLeaf)) {
            const std::string target = fsys::Join(dirDiff.TargetFolder(), entry);
            NoteBackup(dirDiff.Core(), &dirDiff.backups, target, fsys::Join(fsys::FolderOf(target), backupLeaf));
            return true;
        }
        if (LastSystemError() != SystemError::Exists)
            return false;
    }
    return false;
}

// Asks whether the files may be replaced one by one, where they cannot all be staged
// first for want of room; true when they may.
bool AgreesToFileByFile(CDirDiff& dirDiff, const std::vector<std::string>& folders)
{
    if (dirDiff.fileByFile != CDirDiff::FileByFile::Ask)
        return dirDiff.fileByFile == CDirDiff::FileByFile::Allowed;
    std::string text = "There is not enough room on the disk to prepare every file of the patch before the "
                       "files are replaced:\n";
    for (const std::string& folder : folders)
        text += folder + "\n";
    text += "\nThe files can be replaced one by one instead. If the apply is then interrupted, some files are "
            "new and some old until the patch is run again.\n\nDo you want to replace the files one by one?";
    return dirDiff.Core().Ask(PromptOwner::ProgressDialog, text, "Delvorin Question", PromptButtons::YesNo,
                              PromptIcon::Question) == PromptAnswer::Yes;
}

// A staged apply keeps a handle of every folder it writes to until its commit: as many
// as the system lets the process hold.
void AllowManyOpenFolders()
{
    fsys::RaiseOpenFileLimit();
}

// Lists what the staging found wrong: files whose rebuild came out wrong, files in use.
void ListStagingErrors(CDirDiff& dirDiff, const CApplyContext& context)
{
    for (const std::string& target : context.damaged)
        AddError(dirDiff, ErrorKind::Refusal, kRebuiltWrongText, target);
    for (const std::string& target : context.inUse)
        AddError(dirDiff, ErrorKind::Refusal, kInUseText, target);
}

// Takes away what a staged apply made before its commit: the staged files, then the
// folders it made (innermost first; only empty ones go).
void UndoStaging(CApplyContext& context, CReplaceQueue& replacements)
{
    replacements.Discard();
    for (auto made = context.madeFolders.rbegin(); made != context.madeFolders.rend(); ++made) {
        std::string parent, leaf;
        SplitRelativeName(*made, parent, leaf);
        CFolderHandle folder = context.root.Folder(parent);
        if (folder.Valid())
            folder.RemoveFolder(leaf);
    }
    context.madeFolders.clear();
    context.emptyMadeFolders.clear();
}

} // namespace

int CDirDiff::VerifyPatch(IOpenPatch& doc, IApplyProgress* progress)
{
    ClearErrors();
    if (EmptyPatch(*this))
        return 0;
    CApplyContext context;
    context.rootPath = TargetFolder();
    CWritePlan plan(context.folders, context.root, context.rootPath, false, "bak");
    const int verified = VerificationPass(*this, doc, context, plan, progress);
    if (verified == 1 && core_.Image().format == CPatchFormat::Compact)
        return CompactTreePass(*this, doc, context, progress);
    return verified;
}

int CDirDiff::ApplyPatch(IOpenPatch& doc, int& backup, const std::string& backupExt, IApplyProgress* progress)
{
    ClearErrors();
    changedNothing = true; // until the commit, or the first file replaced one by one
    if (EmptyPatch(*this))
        return 0;

    // Replacements wait here to be flushed to the disk together: in a staged apply all of
    // them, until the commit.
    CReplaceQueue replacements(core_);
    CApplyContext context;
    context.rootPath = TargetFolder();
    context.queue = &replacements;
    context.backups = &backups;
    CWritePlan plan(context.folders, context.root, context.rootPath, backup != 0, backupExt);
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

    context.staged = !needsFileByFile;
    if (!context.staged && !AgreesToFileByFile(*this, plan.FoldersWithoutRoom(CWritePlan::Order::Staged))) {
        for (const std::string& folder : plan.FoldersWithoutRoom(CWritePlan::Order::Staged))
            AddError(*this, ErrorKind::Refusal, kNoRoomToStageText, folder);
        return 0;
    }
    // Files replaced as they go are put in place before the last one is rebuilt: the
    // digest of a compact patch's new tree is checked by a rebuild that writes nothing
    // first.
    const bool compact = core_.Image().format == CPatchFormat::Compact;
    if (compact && !context.staged) {
        const int checked = CompactTreePass(*this, doc, context, progress);
        if (checked != 1)
            return checked;
    }
    changedNothing = context.staged;
    // Declared after the queue: ended (and its thread joined) before it.
    std::optional<CStagingWriter> writer;
    if (context.staged) {
        replacements.NoLimits();
        AllowManyOpenFolders();
        context.writer = &writer.emplace(replacements);
    } else if (!plan.FoldersWithoutRoom(CWritePlan::Order::Batched).empty()) {
        replacements.SetLimits(0, 1);
    }
    replacements.KeepBackups(&backups, backupExt);

    if (!doc.RewindToFileRecords())
        return 0;

    // Files that an interrupted apply staged and left behind go first, from the folders
    // this one writes to.
    for (const std::string& folder : plan.Folders()) {
        CFolderHandle handle = context.root.Folder(folder);
        if (handle.Valid())
            RemoveStagedLeftovers(handle);
    }

    // Before the commit, a stop takes away what was staged: nothing has changed. An
    // apply that replaces the files as it goes puts the ones done before in place.
    auto stop = [&](int result) {
        if (writer)
            writer->Finish(); // what it wrote goes with the rest
        ListStagingErrors(*this, context);
        if (context.staged) {
            UndoStaging(context, replacements);
        } else {
            replacements.Flush();
        }
        return result;
    };
    const int count = core_.Image().fileCount;
    for (int i = 0; i < count; ++i) {
        CFilePatch record(core_);
        record.applyContext = &context;
        if (!record.ReadWrite(false))
            return stop(0); // the reader has shown its message
        if (Preamble(*this, record, i, count, progress) == Step::Cancelled)
            return stop(-1);
        if (!record.ApplyFileRecord(backup, backupExt, progress))
            return stop(0);
    }
    if (writer && !writer->Finish()) {
        // A new file could not be written: as where the apply writes it itself.
        core_.Ask(PromptOwner::MainWindow, writer->Failure() + "\n\nNothing was changed.", kAppName,
                  PromptButtons::OK, PromptIcon::None);
        return stop(0);
    }
    if (!context.damaged.empty() || !context.inUse.empty())
        return stop(0);
    if (compact && !CompactTreeMatches(context, core_)) {
        AddError(*this, ErrorKind::Refusal, kTreeWrongText, context.rootPath);
        return stop(0);
    }

    // The commit: every file is staged and checked.
    if (progress && context.staged)
        progress->SetStatus(kCommitText);
    changedNothing = false;
    if (!replacements.Flush())
        return 0;

    for (const std::string& entry : RemoveList()) {
        if (!RemoveListed(*this, context.root, entry, backup != 0 ? &backupExt : nullptr))
            core_.Ask(PromptOwner::ProgressDialog,
                      "Unable to remove the following file that was\nspecified to be removed in the patch file:\n\n" +
                          Printable(entry),
                      "Delvorin Warning", PromptButtons::OK, PromptIcon::None);
    }
    return 1;
}
