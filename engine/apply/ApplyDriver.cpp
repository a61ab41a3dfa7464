// The apply driver: reads every file record twice. The first pass verifies every
// target and changes nothing; only when it found no error does the second pass apply
// every record, and then the files of the remove list are deleted.
#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "engine/apply/ReplaceQueue.h"
#include "engine/apply/SafeNames.h"
#include "engine/apply/Verification.h"
#include "platform/FileSystem.h"
#include "platform/Progress.h"

namespace {

constexpr const char* kNotAllowedText = "The following file name in the patch file is not allowed:\n%s\n\n";
constexpr const char* kLinkedFolderText =
    "The following file lies behind a symbolic link to a folder and cannot be updated safely:\n%s\n\n";
constexpr const char* kDamagedText = "The patch file is damaged and cannot be applied:\n%s\n\n";
constexpr const char* kNoFolderText = "The folder to be updated does not exist:\n%s\n\n";

enum class Step { Go, Cancelled };

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
                                                 "If you cancel the Delvorin apply process, your\n"
                                                 "files will be left in an unusable state!\n\n"
                                                 "Do you really want to cancel this process?",
                                                 "Delvorin Warning", PromptButtons::YesNo, PromptIcon::None);
        if (answer == PromptAnswer::Yes)
            return Step::Cancelled;
    }
    if (progress)
        progress->SetPos(static_cast<int>(static_cast<double>(index) * 100.0 / count));
    return Step::Go;
}

// Adds an entry to the errors table (the caller has made sure there is room).
void AddError(CDirDiff& dirDiff, const char* format, const std::string& text)
{
    dirDiff.failure = 1;
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

// The first pass: 1 when every record and remove entry passed, 0 when errors were
// collected (the failure flag is set), -1 when a cancel was confirmed.
int VerificationPass(CDirDiff& dirDiff, CPatchDoc& doc, IApplyProgress* progress)
{
    CAppCore& core = dirDiff.Core();
    const int count = core.fileCount;
    const std::string folder = dirDiff.TargetFolder();

    // Missing folders are created only below the target folder, never the folder itself
    // or anything above it.
    if (!fsys::FolderExists(folder))
        AddError(dirDiff, kNoFolderText, folder);

    for (int i = 0; i < count && dirDiff.errorCount < CDirDiff::kMaxErrors; ++i) {
        CFilePatch record(core);
        if (!record.ReadWrite(false)) {
            // The reader has shown what is wrong; a record not read completely is never
            // verified or applied, and neither is anything after it.
            AddError(dirDiff, kDamagedText, doc.PathName());
            return 0;
        }
        if (Preamble(dirDiff, record, i, count, progress) == Step::Cancelled)
            return -1;
        if (!IsSafeRelativeName(record.name)) {
            AddError(dirDiff, kNotAllowedText, record.name);
        } else if (PassesLinkedFolder(folder, record.name)) {
            AddError(dirDiff, kLinkedFolderText, record.oldPath);
        } else if (!record.VerifyTargetFile(dirDiff.errors[dirDiff.errorCount])) {
            dirDiff.failure = 1;
            ++dirDiff.errorCount;
        }
    }

    // The remove list must stay inside the target folder as well.
    for (const std::string& entry : dirDiff.RemoveList()) {
        if (dirDiff.errorCount >= CDirDiff::kMaxErrors)
            break;
        if (!IsSafeRelativeName(entry))
            AddError(dirDiff, kNotAllowedText, entry);
        else if (PassesLinkedFolder(folder, entry))
            AddError(dirDiff, kLinkedFolderText, fsys::Join(folder, entry));
    }
    return dirDiff.failure ? 0 : 1;
}

} // namespace

int CDirDiff::VerifyPatch(CPatchDoc& doc, IApplyProgress* progress)
{
    ClearErrors();
    if (EmptyPatch(*this))
        return 0;
    return VerificationPass(*this, doc, progress);
}

int CDirDiff::ApplyPatch(CPatchDoc& doc, int& backup, const std::string& backupExt, IApplyProgress* progress)
{
    ClearErrors();
    if (EmptyPatch(*this))
        return 0;

    int verified = VerificationPass(*this, doc, progress);
    if (verified != 1)
        return verified;

    if (!doc.RewindToFileRecords())
        return 0;

    // Replacements of existing files wait here to be flushed to the disk together; an
    // apply that ends early still puts the ones before in place.
    CReplaceQueue replacements(core_);
    CRebuildBuffers buffers;
    const int count = core_.fileCount;
    for (int i = 0; i < count; ++i) {
        CFilePatch record(core_);
        record.replaceQueue = &replacements;
        record.rebuildBuffers = &buffers;
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
        const std::string path = fsys::Join(TargetFolder(), entry);
        // Checked by the verification pass; looked at again in case the folder changed
        // since, so that nothing outside the target folder is ever deleted.
        if (!IsSafeTargetName(TargetFolder(), entry) || !fsys::DeleteFile(path)) {
            core_.Ask(PromptOwner::ProgressDialog,
                      "Unable to remove the following file that was\nspecified to be removed in the patch file:\n\n" +
                          entry,
                      "Delvorin Warning", PromptButtons::OK, PromptIcon::None);
        }
    }
    return 1;
}
