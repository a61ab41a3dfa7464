// Helpers for the tests of the Expert mode pages and the file chooser: the real Expert
// mode window, scripted modal dialogs, scripted file dialogs and program starts, prompts
// that also note where the keyboard focus was, and reading a patch file's image back.
#pragma once
#include "support/GuiTestSupport.h"
#include "support/Gzip.h"
#include "support/TestFolder.h"

#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedPrompt.h"
#include "ui/CApplyPatchPage.h"
#include "ui/CBuildPatchPage.h"
#include "ui/CDelvorinApp.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/DesktopCalls.h"

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/modalhook.h>
#include <wx/notebook.h>
#include <wx/textctrl.h>

#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace expert {

// Answers the modal dialogs that the code under test runs, in order. A step gets the
// dialog, which must be of the expected type, and returns the code the dialog returns
// without being shown, or wxID_NONE to let it run (the step then schedules its work
// inside the modal run with CallAfter). A dialog without a step fails the test.
class CDialogScript : public wxModalDialogHook {
public:
    CDialogScript() { Register(); }
    ~CDialogScript() override
    {
        Unregister();
        EXPECT_TRUE(steps_.empty()) << steps_.size() << " expected dialog(s) never shown";
    }

    template <class T>
    void Expect(std::function<int(T&)> step)
    {
        steps_.push_back([step](wxDialog* dialog) {
            T* typed = dynamic_cast<T*>(dialog);
            EXPECT_NE(typed, nullptr) << "unexpected dialog \"" << dialog->GetTitle() << "\"";
            return typed ? step(*typed) : wxID_CANCEL;
        });
    }
    // A dialog that shows a message (the picture dialogs): notes it and closes with OK.
    template <class T>
    void ExpectMessage(std::string* message)
    {
        Expect<T>([message](T& dialog) {
            *message = dialog.message;
            return int(wxID_OK);
        });
    }
    std::vector<std::string> titles; // of every dialog met

protected:
    int Enter(wxDialog* dialog) override
    {
        titles.push_back(std::string(dialog->GetTitle().utf8_str()));
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected dialog \"" << titles.back() << "\"";
            return wxID_CANCEL;
        }
        auto step = steps_.front();
        steps_.pop_front();
        return step(dialog);
    }
    void Exit(wxDialog*) override {}

private:
    std::deque<std::function<int(wxDialog*)>> steps_;
};

// Scripted prompts that also note which window had the keyboard focus when each
// message was shown.
class CFocusPrompt : public IUserPrompt {
public:
    CFocusPrompt() { TestApp().SetPrompts(this); }
    ~CFocusPrompt() override { TestApp().SetPrompts(nullptr); }
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        focusAtAsk.push_back(wxWindow::FindFocus());
        return script.Ask(owner, text, title, buttons, icon);
    }
    const std::vector<CPromptRecord>& Shown() const { return script.Shown(); }
    CScriptedPrompt script;
    std::vector<wxWindow*> focusAtAsk;
};

// Scripted answers of the file dialogs and a record of the programs started.
class CDesktopScript {
public:
    CDesktopScript()
    {
        LastFolderUsed().clear(); // each test starts with no folder chosen before
        DesktopHooks().choosePath = [this](wxWindow*, const CPathRequest& request, std::string& path) {
            requests.push_back(request);
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected path request \"" << request.title << "\"";
                return false;
            }
            std::string answer = answers.front();
            answers.pop_front();
            if (answer.empty())
                return false; // cancelled
            path = answer;
            return true;
        };
        DesktopHooks().startProgram = [this](const std::vector<std::string>& argv) { started.push_back(argv); };
        DesktopHooks().showTextFile = [this](const std::string& path) {
            shownFiles.push_back(path);
            return viewerStarts;
        };
    }
    ~CDesktopScript()
    {
        DesktopHooks() = CDesktopHooks();
        EXPECT_TRUE(answers.empty()) << answers.size() << " path answer(s) never asked for";
    }
    // The next path the user chooses; "" cancels the dialog.
    void Choose(const std::string& path) { answers.push_back(path); }
    // Clicks the button id of the window, whose path dialog the user answers with path.
    void Browse(wxWindow* window, int id, const std::string& path)
    {
        Choose(path);
        Click(window, id);
    }

    std::deque<std::string> answers;
    std::vector<CPathRequest> requests;
    std::vector<std::vector<std::string>> started;
    std::vector<std::string> shownFiles;
    bool viewerStarts = true; // whether the desktop's text viewer starts
};

// The real Expert mode window with both pages, made from the settings record as it is
// when the window is created.
class CExpertWindow {
public:
    CExpertWindow()
    {
        frame = new CExpertModePropFrame();
        if (!frame->CreateFrame("Delvorin 1.2"))
            ADD_FAILURE() << "the Expert mode window was not created";
        Pump(20); // lets the pages finish their set-up
    }
    ~CExpertWindow()
    {
        if (frame && !frame->IsBeingDeleted())
            frame->Destroy();
        wxTheApp->ProcessIdle(); // the window is deleted when the program next goes idle
    }
    // Deletes the window at once, as the end of the program does.
    void Delete()
    {
        delete frame;
        frame = nullptr;
    }
    CBuildPatchPage* Build() const { return frame->Sheet()->BuildPage(); }
    CApplyPatchPage* Apply() const { return frame->Sheet()->ApplyPage(); }
    void ShowPage(int index) const { frame->Sheet()->Notebook()->SetSelection(index); }

    CExpertModePropFrame* frame = nullptr;
};

// The settings record of a fresh user, the publisher's name and organisation, and the
// engine's two lists empty.
inline void ResetExpertSettings()
{
    TestApp().Settings() = CSettings();
    TestApp().Core().userName = "Ada Lovelace";
    TestApp().Core().userOrganization = "Analytical Engines Ltd";
    TestApp().GetDirDiff().ClearExcludeList();
    TestApp().GetDirDiff().ClearRemoveList();
}

// One control of a form as its template gives it: id (-1 for a label) and text.
struct CFormControl {
    int id;
    const char* text;
};

// The form's children are exactly these controls in this order (the tab order), none
// overlapping another or reaching out of the form.
inline void ExpectForm(wxWindow* form, const std::vector<CFormControl>& expected)
{
    const wxWindowList& children = form->GetChildren();
    ASSERT_EQ(children.size(), expected.size());
    size_t i = 0;
    for (wxWindow* child : children) {
        if (expected[i].id != -1) {
            EXPECT_EQ(child->GetId(), expected[i].id) << i;
        }
        if (!dynamic_cast<wxTextCtrl*>(child)) {
            wxString label = child->GetLabel();
            label.Replace("\n", " "); // a label wrapped to fit the desktop's font
            EXPECT_EQ(label, expected[i].text) << i;
        }
        EXPECT_TRUE(wxRect(form->GetClientSize()).Contains(child->GetRect())) << i;
        for (wxWindow* other : children)
            EXPECT_TRUE(other == child || !other->GetRect().Intersects(child->GetRect())) << i;
        ++i;
    }
}

// Types the old and new files folders and the patch file name into the Build page.
inline void FillBuild(CBuildPatchPage* page, const std::string& oldFolder, const std::string& newFolder,
                      const std::string& patch)
{
    Type(page->OldFolderEdit(), oldFolder);
    Type(page->NewFolderEdit(), newFolder);
    Type(page->PatchFileEdit(), patch);
}

// The Build page's names as a row: old and new files folders, default apply folder, patch file.
inline auto BuildFields(CBuildPatchPage* page)
{
    return Row(Value(page->OldFolderEdit()), Value(page->NewFolderEdit()), Value(page->DefaultFolderEdit()),
               Value(page->PatchFileEdit()));
}

// Types the folder and the patch file name into the Apply page and presses Apply Patch.
inline void ApplyWith(CApplyPatchPage* page, const std::string& folder, const std::string& patch)
{
    Type(page->FolderEdit(), folder);
    Type(page->PatchFileEdit(), patch);
    Click(page, CApplyPatchPage::kIdApply);
}

// Clicks a check box as the user does: the box changes and its command is sent.
inline void ClickCheck(wxCheckBox* box)
{
    Tick(box, !box->GetValue());
}

// The patch image of a patch file: the stub and marker skipped (stubLength > 0 for a
// self-extracting patch program), the 8-byte part prefix read, the parts name.dv001 and
// on joined, and the gzip stream decompressed. partCount receives the prefix's count.
inline std::vector<unsigned char> PatchImage(const std::string& path, size_t stubLength, int& partCount)
{
    std::vector<unsigned char> first = ReadFileBytes(path);
    size_t at = stubLength == 0 ? 0 : stubLength + 18;
    if (first.size() < at + 8) {
        ADD_FAILURE() << path << " is too short";
        return {};
    }
    partCount = first[at] | (first[at + 1] << 8) | (first[at + 2] << 16) | (first[at + 3] << 24);
    std::vector<unsigned char> stream(first.begin() + static_cast<long>(at) + 8, first.end());
    std::string base = path.substr(0, path.rfind('.'));
    for (int i = 1; i < partCount; ++i) {
        char ext[16];
        std::snprintf(ext, sizeof ext, ".dv%03d", i);
        std::vector<unsigned char> part = ReadFileBytes(base + ext);
        EXPECT_FALSE(part.empty()) << base + ext;
        stream.insert(stream.end(), part.begin(), part.end());
    }
    return Gunzip(stream.data(), stream.size());
}

// The image with the date word (bytes 64 to 67) blanked.
inline std::vector<unsigned char> WithoutDate(std::vector<unsigned char> image)
{
    for (size_t i = 64; i < 68 && i < image.size(); ++i)
        image[i] = 0;
    return image;
}

// Writes what the window shows on the screen into a PNG file (for expert_screenshots.sh).
inline void SaveScreenshot(wxWindow* window, const std::string& path)
{
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    window->Show();
    window->Raise();
    window->Refresh();
    Pump(400);
    wxRect rect = window->GetScreenRect();
    wxBitmap shot(rect.width, rect.height);
    {
        wxScreenDC screen;
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
    }
    EXPECT_TRUE(shot.SaveFile(wxString::FromUTF8(path.c_str()), wxBITMAP_TYPE_PNG)) << path;
}

// Where two images first differ, for a readable failure: "" when they are equal.
inline std::string FirstDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == a.size() && i == b.size())
        return "";
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at byte " +
           std::to_string(i);
}

} // namespace expert
