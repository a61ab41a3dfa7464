#include "support/ApplyRun.h"

#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"

CApplyRun::CApplyRun(CTestFolder& folder) : root(folder), target(folder / "target"), patchFile(folder / "update.dvp")
{
}

void CApplyRun::Craft(const std::vector<image::Record>& records, const std::vector<std::string>& removes,
                      const std::string& checks)
{
    root.Write(patchFile.substr(root.Path().size() + 1), image::PatchFile(image::Image(records, removes) + checks));
}

int CApplyRun::Apply(int backup, const std::string& ext, IApplyProgress* progress,
                     const std::function<void(CAppCore&)>& setup, bool verifyOnly)
{
    CAppCore core(&prompt, root.MakeFolder("prog"));
    if (!logFile.empty()) {
        core.settings.logFile = 1;
        core.log.SetPath(logFile);
    }
    if (setup)
        setup(core);
    CDirDiff dirDiff(core);
    CPatchDoc doc(core, dirDiff, patchFile);
    if (!doc.ReadPatchHeader())
        return 99;
    dirDiff.TargetFolder() = target;
    if (windowsNames)
        dirDiff.windowsNameCheck = &FindWindowsNameProblems;
    int result = verifyOnly ? dirDiff.VerifyPatch(doc, progress) : dirDiff.ApplyPatch(doc, backup, ext, progress);
    errors = dirDiff.ErrorEntries();
    failure = dirDiff.failure;
    mismatchOnly = dirDiff.TargetDoesNotMatch();
    backups = dirDiff.backups;
    doc.ClosePatchFile();
    return result;
}

int ApplyPatchFile(CAppCore& core, const std::string& patchFile, const std::string& target,
                   IApplyProgress* progress, std::vector<std::string>* errors)
{
    CDirDiff dirDiff(core);
    CPatchDoc doc(core, dirDiff, patchFile);
    if (!doc.ReadPatchHeader())
        return 99;
    dirDiff.TargetFolder() = target;
    int backup = 0;
    const int result = dirDiff.ApplyPatch(doc, backup, "bak", progress);
    if (errors)
        *errors = dirDiff.ErrorEntries();
    doc.ClosePatchFile();
    return result;
}

void CApplyRun::ExpectRefused(const std::vector<std::string>& wantedErrors, bool verifyOnly)
{
    const Tree before = SnapshotTree(target);
    EXPECT_EQ(Apply(0, "bak", nullptr, nullptr, verifyOnly), 0);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(errors, wantedErrors);
    EXPECT_EQ(SnapshotTree(target), before);
}

std::vector<std::string> CApplyRun::Texts() const
{
    std::vector<std::string> out;
    for (const auto& s : prompt.Shown())
        out.push_back(s.text);
    return out;
}
