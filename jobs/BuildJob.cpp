#include "jobs/BuildJob.h"

#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"

namespace {

constexpr char kProgramExtension[] = "exe";
constexpr char kClassicOnlyForWindows[] =
    "The self-extracting program for Windows reads classic patches only: choose the classic format.";
constexpr char kPatchInsideNewFolder[] = "The patch file cannot be created inside the new files folder,\n"
                                         "since the build would take it for one of the new files.";

// The extension of the file a path names, in lower case: the text after the last '.' of
// its last component ("" when there is none).
std::string LowerExtension(const std::string& path)
{
    const std::string name = LastComponent(path);
    const size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

} // namespace

CBuildJob::CBuildJob(CAppCore& core, CDirDiff& dirDiff, CBuildInputs inputs)
    : core_(core), dirDiff_(dirDiff), inputs_(std::move(inputs))
{
}

CBuildRefusal CBuildJob::Check()
{
    using Reason = CBuildRefusal::Reason;
    using Field = CBuildRefusal::Field;
    auto refuse = [](Reason reason, Field field, std::string text) {
        return CBuildRefusal{reason, field, std::move(text)};
    };
    const CBuildInputs& in = inputs_;
    if (in.oldFolder.empty())
        return refuse(Reason::FoldersMissing, Field::OldFolder, LoadString(105));
    const bool checkChars = in.checkNameCharacters;
    if (checkChars && HasForbiddenNameChar(in.oldFolder))
        return refuse(Reason::BadFolderName, Field::OldFolder, LoadString(129));
    if (in.newFolder.empty())
        return refuse(Reason::FoldersMissing, Field::NewFolder, LoadString(105));
    if (checkChars && HasForbiddenNameChar(in.newFolder))
        return refuse(Reason::BadFolderName, Field::NewFolder, LoadString(129));
    if (in.oldFolder == in.newFolder)
        return refuse(Reason::SameFolders, Field::None, LoadString(107));
    if (in.patchFile.empty())
        return refuse(Reason::PatchNameMissing, Field::PatchFile, LoadString(112));
    if (checkChars && HasForbiddenNameChar(in.patchFile))
        return refuse(Reason::BadPatchName, Field::PatchFile, LoadString(130));
    if (checkChars && !in.defaultFolder.empty() && HasForbiddenNameChar(in.defaultFolder))
        return refuse(Reason::BadFolderName, Field::DefaultFolder, LoadString(129));
    // A name without a folder is a file in the home folder.
    if (inputs_.patchFile.find('/') == std::string::npos)
        inputs_.patchFile = fsys::Join(fsys::HomeFolder(), inputs_.patchFile);
    if (in.selfExtract && LowerExtension(in.patchFile) != kProgramExtension)
        return refuse(Reason::NotProgramName, Field::PatchFile, LoadString(125));
    // The build writes its work file beside the patch file before it walks the new
    // folder: inside that folder it would be taken for one of the new files.
    if (fsys::LiesInsideFolder(in.patchFile, in.newFolder))
        return refuse(Reason::PatchInsideNewFolder, Field::PatchFile, kPatchInsideNewFolder);
    // The program for Windows carries no decoder of the compact format's streams.
    if (in.selfExtract && core_.settings.forWindows != 0 && core_.settings.compact != 0)
        return refuse(Reason::ClassicOnlyForWindows, Field::None, kClassicOnlyForWindows);
    if (in.selfExtract) {
        std::string refusal = CPatchDoc::SelfExtractSplitRefusal(core_.programFolder, core_.settings.splitSize,
                                                                 core_.settings.forWindows != 0);
        if (!refusal.empty())
            return refuse(Reason::SelfExtractSplit, Field::None, std::move(refusal));
    }
    return {};
}

CBuildOutcome CBuildJob::Run(IBuildProgress* progress)
{
    using Kind = CBuildOutcome::Kind;
    CBuildOutcome outcome;
    if (CBuildRefusal refusal = Check()) {
        outcome.kind = Kind::Refused;
        outcome.refusal = std::move(refusal);
        return outcome;
    }

    CPatchDoc doc(core_, dirDiff_, inputs_.patchFile);
    doc.SetOwner(PromptOwner::ProgressDialog);
    doc.SetSelfExtract(inputs_.selfExtract);
    doc.SetOldFolder(inputs_.oldFolder);
    if (!doc.WritePatchHeader()) {
        doc.AbandonPatchFile();
        outcome.message = doc.WithFailureCause("Error creating Delvorin file!");
        outcome.reported = doc.Reported();
        return outcome;
    }

    std::string message;
    const int result = dirDiff_.BuildPatch(inputs_.oldFolder, inputs_.newFolder, message, progress);
    if (result == 0) {
        doc.AbandonPatchFile();
        outcome.message = message;
        return outcome;
    }
    if (result < 0) {
        doc.AbandonPatchFile();
        outcome.kind = Kind::Cancelled;
        return outcome;
    }
    // The compression and packaging report on the same progress and take its cancel.
    doc.SetProgress(progress);
    const bool finished = doc.FinishPatchFile(false);
    doc.SetProgress(nullptr);
    if (finished) {
        outcome.kind = Kind::Built;
    } else if (doc.Cancelled()) {
        doc.AbandonPatchFile();
        outcome.kind = Kind::Cancelled;
    } else {
        // The step that stopped has said why; a build that wrote no record has said the
        // folders are identical.
        outcome.kind = core_.image.fileCount == 0 ? Kind::Identical : Kind::Failed;
        outcome.reported = true;
    }
    return outcome;
}
