// A real build and a real apply driven through the real progress dialogs: what the
// engine writes shows in the windows, and a Cancel click reaches the engine as one
// question at its next check.
#include "support/GuiTestSupport.h"

#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "support/TestFolder.h"
#include "ui/CApplyProgressDlg.h"
#include "ui/CBuildProgressDlg.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/stattext.h>

namespace {

class EngineProgress : public testing::Test {
protected:
    CTestFolder dir;
    std::string oldFolder = dir.MakeFolder("old");
    std::string newFolder = dir.MakeFolder("new");
    std::string patch = dir.MakeFolder("out") + "/update.dvp";
    CScriptedPrompt prompt;
    CAppCore core{&prompt, dir.MakeFolder("prog"), dir.MakeFolder("tmp")};
    CDirDiff dirDiff{core};
    wxFrame* sheet = new wxFrame(nullptr, wxID_ANY, "Delvorin 1.2");

    EngineProgress()
    {
        sheet->Show();
        dir.Write("old/a.txt", std::string(5000, 'a') + "tail");
        dir.Write("new/a.txt", std::string(5000, 'a') + "changed tail");
        dir.Write("new/b.txt", "a new file");
    }
    ~EngineProgress() override
    {
        sheet->Destroy();
        Pump(10);
    }

    int Build(CBuildProgressDlg& progress)
    {
        CPatchDoc doc(core, dirDiff, patch);
        EXPECT_TRUE(doc.WritePatchHeader());
        std::string message;
        int result = dirDiff.BuildPatch(oldFolder, newFolder, message, &progress);
        if (result == 1)
            EXPECT_TRUE(doc.FinishPatchFile(false));
        else
            doc.AbandonPatchFile();
        return result;
    }
};

} // namespace

TEST_F(EngineProgress, ABuildShowsItsFilesAndOneCancelRequestBecomesOneQuestion)
{
    CBuildProgressDlg progress;
    ASSERT_TRUE(progress.Create(sheet));
    PostClick(&progress, wxID_CANCEL);
    PostClick(&progress, wxID_CANCEL);
    prompt.Script(PromptAnswer::No);
    EXPECT_EQ(Build(progress), 1);
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].title, "Delvorin Warning");
    EXPECT_EQ(prompt.Shown()[0].owner, PromptOwner::ProgressDialog);
    EXPECT_EQ(Label(&progress, CBuildProgressDlg::kIdStatus), "Creating patch for file 2 of 2.");
    EXPECT_EQ(Label(&progress, CBuildProgressDlg::kIdOverallPercent), "50%"); // never 100 %
    EXPECT_FALSE(sheet->IsEnabled());
}

TEST_F(EngineProgress, YesToTheQuestionCancelsTheBuild)
{
    {
        CBuildProgressDlg progress;
        ASSERT_TRUE(progress.Create(sheet));
        PostClick(&progress, wxID_CANCEL);
        prompt.Script(PromptAnswer::Yes);
        EXPECT_EQ(Build(progress), -1);
        EXPECT_EQ(prompt.Shown().size(), 1u);
        EXPECT_TRUE(progress.IsShown());
    }
    EXPECT_TRUE(sheet->IsEnabled());
}

TEST_F(EngineProgress, AnApplyShowsItsFilesAndEndsAtTheLastOne)
{
    {
        CBuildProgressDlg progress;
        ASSERT_TRUE(progress.Create(sheet));
        ASSERT_EQ(Build(progress), 1);
    }
    CPatchDoc doc(core, dirDiff, patch);
    ASSERT_TRUE(doc.ReadPatchHeader());
    dirDiff.TargetFolder() = oldFolder;
    CApplyProgressDlg progress;
    ASSERT_TRUE(progress.Create(sheet));
    int backup = 0;
    EXPECT_EQ(dirDiff.ApplyPatch(doc, backup, "bak", &progress), 1);
    doc.ClosePatchFile();
    EXPECT_EQ(Label(&progress, CApplyProgressDlg::kIdStatus), "Putting the new files in place.");
    EXPECT_EQ(Label(&progress, CApplyProgressDlg::kIdPercent), "50%");
    EXPECT_EQ(ReadFileText(oldFolder + "/b.txt"), "a new file");
}
