// The window of the self-extracting patch program, driven in this process: a program
// built with delvorin-cli is opened as the apply program opens itself, its window shows
// the folder from the command line and the publisher's text, and Apply updates the
// tree, refuses a folder that does not fit (keeping the window open for another try),
// and validates the folder and the backup extension first.
#include "support/CliRun.h"
#include "support/GuiTestSupport.h"
#include "support/TestFolder.h"
#include "support/TreeDifferences.h"

#include "platform/FileSystem.h"
#include "stub/CDvApplyDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CErrorsDlg.h"
#include "ui/CPictureMessageDlg.h"

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
// After gtest and wx: Xlib defines macros (None, Bool, Status) that clash with their names.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace {

// A self-extracting program of a small old/new pair, a copy of the old tree, and the
// program's patch opened the way the apply program opens itself, with scripted prompts.
class StubWindow : public testing::Test {
protected:
    CTestFolder dir;
    std::string program, target;
    CPromptScript script;
    std::unique_ptr<CStubPatch> patch;

    void SetUp() override
    {
        const char* bin = std::getenv("DELVORIN_BIN");
        if (!bin || !fsys::FileExists(std::string(bin) + "/DvApply.exe"))
            GTEST_SKIP() << "no DvApply.exe in DELVORIN_BIN";
        dir.Write("old/readme.txt", "Frobnicator 1.0\n");
        dir.WriteBytes("old/lib/core.bin", RandomBytes(30000, 3));
        dir.Write("new/readme.txt", "Frobnicator 2.0\n");
        std::vector<unsigned char> core = RandomBytes(30000, 3);
        core.insert(core.begin() + 700, 300, 'y');
        dir.WriteBytes("new/lib/core.bin", core);
        dir.Write("new/docs/changes.txt", "more frobs\n");
        std::string out, err;
        ASSERT_EQ(RunCli("build old new update.exe --self-extract --dialog-text 'This updates Frobnicator to 2.0.\r\nClose it first.'"
                         " --publisher 'Ann Smith' --organization 'Acme & Sons'",
                         dir.Path(), dir.Path(), out, err),
                  0)
            << err;
        program = dir / "update.exe";
        target = dir / "target";
        ASSERT_TRUE(CopyTree(dir / "old", target));
        patch = std::make_unique<CStubPatch>(TestApp().Core(), TestApp().GetDirDiff(), program);
        ASSERT_EQ(patch->Open(), CStubPatch::OpenResult::Opened);
    }
};

// The process that shows a window, 0 when it does not say.
unsigned long WindowPid(Display* display, Window window)
{
    Atom type;
    int format;
    unsigned long items = 0, after = 0, pid = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &items, &after, &data) == Success &&
        data) {
        if (items == 1 && format == 32)
            pid = *reinterpret_cast<unsigned long*>(data);
        XFree(data);
    }
    return pid;
}

// The shown top-level window of process pid with this title, 0 when there is none (no
// window manager: the top-level windows are the root's children).
Window FindTopLevel(Display* display, const std::string& title, pid_t pid)
{
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name) {
            if (title == name && XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable && WindowPid(display, children[i]) == static_cast<unsigned long>(pid))
                found = children[i];
            XFree(name);
        }
    }
    if (children)
        XFree(children);
    return found;
}

// Asks the window to close, as a window manager's close box does.
void CloseTopLevel(Display* display, Window window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

struct CReport {
    std::string title, message;
    std::vector<std::string> lines;
    std::string contact;
};

// Records the result dialogs instead of running them.
void RecordReports(CDvApplyDlg& dlg, std::vector<CReport>& reports)
{
    dlg.showReport = [&reports](wxDialog& shown) {
        CReport r;
        r.title = shown.GetTitle().utf8_string();
        if (auto* picture = dynamic_cast<CPictureMessageDlg*>(&shown)) {
            r.message = picture->message;
        } else if (auto* errors = dynamic_cast<CErrorsDlg*>(&shown)) {
            errors->InitDialog();
            for (unsigned i = 0; i < errors->List()->GetCount(); ++i)
                r.lines.push_back(errors->List()->GetString(i).utf8_string());
            r.contact = errors->ContactLabel()->GetLabelText().utf8_string();
        }
        reports.push_back(r);
    };
}

} // namespace

TEST_F(StubWindow, ShowsTheFolderAndTextAndAppliesThePatch)
{

    CStubOptions options;
    options.folder = target;
    CDvApplyDlg dlg(nullptr, TestApp().Core(), *patch, options);
    std::vector<CReport> reports;
    RecordReports(dlg, reports);

    int rc = RunModal(dlg, [&] {
        EXPECT_TRUE(dlg.IsShown());
        EXPECT_EQ(dlg.FolderEdit()->GetValue().utf8_string(), target);
        EXPECT_EQ(dlg.DialogTextLabel()->GetLabelText().utf8_string(), "This updates Frobnicator to 2.0.\nClose it first.");
        EXPECT_TRUE(dlg.DialogTextLabel()->IsShown());
        EXPECT_EQ(dlg.PublisherLabel()->GetLabelText().utf8_string(), "Ann Smith, Acme & Sons");
        EXPECT_FALSE(dlg.BackupCheck()->GetValue());
        EXPECT_FALSE(dlg.BackupExtEdit()->IsEnabled());
        EXPECT_EQ(dlg.BackupExtEdit()->GetValue(), "bak");

        // Nothing on the window is cut off or overlaps another control.
        wxSize client = dlg.GetClientSize();
        for (wxWindow* child : dlg.GetChildren()) {
            if (!child->IsShown())
                continue;
            wxRect r = child->GetRect();
            EXPECT_TRUE(wxRect(client).Contains(r)) << child->GetLabel().utf8_string();
            if (!dynamic_cast<wxTextCtrl*>(child)) { // edits scroll; labels and buttons must fit
                EXPECT_GE(r.width, child->GetBestSize().x - 1) << child->GetLabel().utf8_string();
            }
        }

        dlg.BackupCheck()->SetValue(true);
        wxCommandEvent ticked(wxEVT_CHECKBOX, CDvApplyDlg::kIdBackup);
        ticked.SetInt(1);
        ticked.SetEventObject(dlg.BackupCheck());
        dlg.BackupCheck()->ProcessWindowEvent(ticked);
        EXPECT_TRUE(dlg.BackupExtEdit()->IsEnabled());
        Click(&dlg, CDvApplyDlg::kIdApply);
    });

    EXPECT_EQ(rc, wxID_OK);
    EXPECT_EQ(dlg.ExitStatus(), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].title, "Delvorin Success!");
    EXPECT_EQ(reports[0].message, "The Delvorin file has been applied successfully.");
    auto expected = SnapshotTree(dir / "new");
    expected["readme.bak"] = "Frobnicator 1.0\n";
    expected["lib/core.bak"] = ReadFileText(dir / "old/lib/core.bin");
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), expected), "");
    EXPECT_TRUE(script.prompts.Shown().empty());
}

TEST_F(StubWindow, RefusesAFolderThatDoesNotFitAndLetsTheUserChooseAnother)
{

    // Neither the old files nor the new ones (a folder that holds the new files already
    // is taken as updated).
    ASSERT_TRUE(CopyTree(dir / "new", dir / "wrong"));
    dir.Write("wrong/readme.txt", "Frobnicator 3.0\n");
    dir.WriteBytes("wrong/lib/core.bin", RandomBytes(30300, 9));
    const auto wrongBefore = SnapshotTree(dir / "wrong");
    CStubOptions options;
    options.folder = dir / "wrong";
    CDvApplyDlg dlg(nullptr, TestApp().Core(), *patch, options);
    std::vector<CReport> reports;
    RecordReports(dlg, reports);

    int rc = RunModal(dlg, [&] {
        // Empty and missing folders, and a backup extension that names another folder.
        dlg.FolderEdit()->SetValue("");
        Click(&dlg, CDvApplyDlg::kIdApply);
        dlg.FolderEdit()->SetValue(wxString::FromUTF8(dir / "missing"));
        Click(&dlg, CDvApplyDlg::kIdApply);
        dlg.FolderEdit()->SetValue(wxString::FromUTF8(dir / "wrong"));
        dlg.BackupCheck()->SetValue(true);
        dlg.BackupExtEdit()->SetValue("../x");
        Click(&dlg, CDvApplyDlg::kIdApply);
        EXPECT_TRUE(dlg.IsModal());

        dlg.BackupCheck()->SetValue(false);
        Click(&dlg, CDvApplyDlg::kIdApply); // verification errors: the window stays
        EXPECT_TRUE(dlg.IsModal());
        EXPECT_EQ(dlg.ExitStatus(), 3);

        dlg.FolderEdit()->SetValue(wxString::FromUTF8(target));
        Click(&dlg, CDvApplyDlg::kIdApply);
    });

    ASSERT_EQ(script.prompts.Shown().size(), 3u);
    EXPECT_EQ(script.prompts.Shown()[0].text, "Please specify a folder name to apply the patch file to.");
    EXPECT_EQ(script.prompts.Shown()[0].title, "Delvorin Error!");
    EXPECT_NE(script.prompts.Shown()[1].text.find("does not exist"), std::string::npos);
    EXPECT_NE(script.prompts.Shown()[2].text.find("must not hold"), std::string::npos);
    EXPECT_FALSE(fsys::PathExists(dir / "missing"));

    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].title, "Delvorin Errors");
    EXPECT_EQ(reports[0].contact, "Ann Smith, Acme & Sons");
    ASSERT_EQ(reports[0].lines.size(), 4u); // readme.txt and core.bin, two lines each
    EXPECT_EQ(reports[0].lines[0], "The following file does not match the file to be updated:");
    EXPECT_EQ(TreeDifferences(SnapshotTree(dir / "wrong"), wrongBefore), "");

    EXPECT_EQ(reports[1].title, "Delvorin Success!");
    EXPECT_EQ(rc, wxID_OK);
    EXPECT_EQ(dlg.ExitStatus(), 0);
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "new")), "");
}

TEST_F(StubWindow, CancelLeavesTheFolderAlone)
{
    CDvApplyDlg dlg(nullptr, TestApp().Core(), *patch, CStubOptions{});
    // No folder on the command line: the patch's default folder, the old files folder
    // of the build.
    EXPECT_EQ(dlg.FolderEdit()->GetValue().utf8_string(), dir / "old");
    int rc = RunModal(dlg, [&] { Click(&dlg, wxID_CANCEL); });
    EXPECT_EQ(rc, wxID_CANCEL);
    EXPECT_EQ(dlg.ExitStatus(), 1);
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "old")), "");
}

// The real program under the display: started the way Delvorin starts it, with the
// folder as its argument, it opens its window; closed unapplied, it ends with status 1
// and leaves the folder as it was.
TEST_F(StubWindow, TheProgramOpensItsWindowWhenADisplayIsThere)
{
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    dir.MakeFolder("tmp");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        execl(program.c_str(), program.c_str(), target.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Window window = 0;
    auto start = std::chrono::steady_clock::now();
    while (!window && std::chrono::steady_clock::now() - start < std::chrono::seconds(15)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = FindTopLevel(display, "Delvorin Apply", pid);
    }
    EXPECT_NE(window, 0u) << "no window titled Delvorin Apply";
    if (window)
        CloseTopLevel(display, window);
    else
        kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    XCloseDisplay(display);
    EXPECT_EQ(TreeDifferences(SnapshotTree(target), SnapshotTree(dir / "old")), "");
    EXPECT_TRUE(SnapshotTree(dir / "tmp").empty()); // its temporary files are gone
}
