#include "ui/CBuildPatchPage.h"

#include "jobs/BuildProject.h"
#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "jobs/BuildJob.h"
#include "ui/CBuildProgressDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDialogTextDlg.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/CFileChooserDlg.h"
#include "ui/CPictureMessageDlg.h"
#include "ui/CSplitDlg.h"
#include "ui/DesktopCalls.h"
#include "ui/DialogUnits.h"
#include "ui/PageHelpers.h"
#include "ui/WxText.h"

#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <algorithm>

namespace {

const char kPatchExtension[] = "dvp";
const char kProgramExtension[] = "exe";
// The rows below the self-extract row move down by this many dialog units to make room
// for the self-extracting program's system ("for Linux", "for Windows").
constexpr int kSystemRow = 12;
// The project and build buttons move down by this many dialog units more, to make room
// for the thorough matching check box and the patch format's label and two choices.
constexpr int kThoroughRow = 9;
constexpr int kFormatRows = 34;
constexpr int kButtonsDown = kSystemRow + kThoroughRow + kFormatRows;

} // namespace

CBuildPatchPage::CBuildPatchPage(wxWindow* parent) : wxPanel(parent, wxID_ANY)
{
    // The form's height and the rows for the choices added to it.
    SetMinSize(DluSize(this, 255, 201 + kButtonsDown));
    SetSize(GetMinSize());
    CreateControls();

    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnBrowseOld, this, kIdBrowseOld);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnBrowseNew, this, kIdBrowseNew);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnBrowsePatch, this, kIdBrowsePatch);
    Bind(wxEVT_TEXT, &CBuildPatchPage::OnOldFolderChanged, this, kIdOldFolder);
    Bind(wxEVT_CHECKBOX, &CBuildPatchPage::OnDefaultFollowsOldClicked, this, kIdDefaultFollowsOld);
    Bind(wxEVT_CHECKBOX, &CBuildPatchPage::OnSelfExtractClicked, this, kIdSelfExtract);
    Bind(wxEVT_RADIOBUTTON, &CBuildPatchPage::OnChoiceClicked, this, kIdForLinux, kIdCompactFormat);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnRemoveFiles, this, kIdRemoveFiles);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnExcludeFiles, this, kIdExcludeFiles);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnSplit, this, kIdSplit);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnDialogText, this, kIdDialogText);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnViewLog, this, kIdViewLog);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnOpenProject, this, kIdOpenProject);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnClearProject, this, kIdClearProject);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnSaveProject, this, kIdSaveProject);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnBuild, this, kIdBuild);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnHelp, this, kIdHelp);
    Bind(wxEVT_BUTTON, &CBuildPatchPage::OnExit, this, kIdExit);

    // The fields come from the settings record once, when the page is made; from then
    // on the page's own fields are the current values.
    LoadFields();
    ApplyExtensionRule();
    ShowFields();
    BindStorePoints();
}

CBuildPatchPage::~CBuildPatchPage()
{
    if (wxApp::GetInstance() && oldEdit_) {
        ReadControls();
        StoreFields();
    }
}

void CBuildPatchPage::CreateControls()
{
    // The controls in the order of the form, which is also the tab order.
    // Desktop fonts run wider than the form's small font. So that no label of the first
    // column wraps, the column of edits starts where its widest label ends (at 75 units
    // or later) and keeps its right edge; the two wide buttons under the old and new
    // folders take the room up to the form's right margin that their texts need.
    const char* const firstColumn[] = {"Old files folder", "New files folder", "Default apply folder:",
                                       "Patch file name:"};
    int widestLabel = 0;
    for (const char* text : firstColumn)
        widestLabel = std::max(widestLabel, GetTextExtent(text).x);
    const int fieldX = std::max(DluPoint(this, 75, 0).x, DluPoint(this, 7, 0).x + widestLabel + DluSize(this, 3, 0).x);
    const int fieldRight = DluPoint(this, 205, 0).x;
    const int formRight = DluPoint(this, 248, 0).x;

    auto label = [this](const char* text, int x, int y, int cx, int cy) {
        auto* l = new wxStaticText(this, wxID_ANY, text, DluPoint(this, x, y), DluSize(this, cx, cy));
        if (l->GetBestSize().x > l->GetSize().x)
            l->SetSize(l->GetBestSize().x, l->GetSize().y);
    };
    auto edit = [&](int id, int y) {
        return new wxTextCtrl(this, id, "", wxPoint(fieldX, DluPoint(this, 0, y).y),
                              wxSize(fieldRight - fieldX, DluSize(this, 0, 14).y));
    };
    auto button = [this](int id, const char* text, int x, int y, int cx) {
        return new wxButton(this, id, text, DluPoint(this, x, y), DluSize(this, cx, 14));
    };
    auto wideButton = [&](int id, const char* text, int y) {
        auto* b = new wxButton(this, id, text, wxPoint(fieldX, DluPoint(this, 0, y).y),
                               wxSize(fieldRight - fieldX, DluSize(this, 0, 14).y));
        const int needed = b->GetBestSize().x + DluSize(this, 6, 0).x; // the text with room on both sides
        if (needed > b->GetSize().x)
            b->SetSize(std::min(needed, formRight - fieldX), b->GetSize().y);
        return b;
    };
    // A check box whose text runs past its box gets the room up to the next control.
    auto check = [this](int id, const char* text, wxPoint at, int cx, int roomTo) {
        auto* box = new wxCheckBox(this, id, text, at, DluSize(this, cx, 10));
        const int room = DluPoint(this, roomTo - 2, 0).x - at.x;
        if (box->GetSize().x < room && box->GetBestSize().x > box->GetSize().x)
            box->SetSize(std::min(box->GetBestSize().x, room), box->GetSize().y);
        return box;
    };

    label("Old files folder", 7, 6, 56, 8);
    oldEdit_ = edit(kIdOldFolder, 6);
    button(kIdBrowseOld, "Browse ...", 209, 6, 39);
    wideButton(kIdRemoveFiles, "&Remove Files From Current File System", 23);
    label("New files folder", 7, 42, 60, 8);
    newEdit_ = edit(kIdNewFolder, 41);
    button(kIdBrowseNew, "Browse ...", 209, 42, 39);
    wideButton(kIdExcludeFiles, "&Exclude Files From The Patch Process", 58);
    label("Default apply folder:", 7, 77, 65, 8);
    defaultEdit_ = edit(kIdDefaultFolder, 76);
    defaultFollowsCheck_ = check(kIdDefaultFollowsOld, "Make default folder name same as Old folder.",
                                 wxPoint(fieldX, DluPoint(this, 0, 92).y), 163, 255);
    label("Patch file name:", 7, 106, 52, 8);
    patchEdit_ = edit(kIdPatchFile, 105);
    button(kIdBrowsePatch, "Browse ...", 209, 105, 39);
    selfExtractCheck_ = check(kIdSelfExtract, "Create self-extracting patch program", DluPoint(this, 7, 125), 129, 181);
    button(kIdSplit, "Split...", 181, 123, 67);
    // The system the self-extracting program is for, under its check box.
    systemChoice_.Create(this, kIdForLinux, kForLinuxText, DluPoint(this, 17, 136), kIdForWindows, kForWindowsText,
                         DluPoint(this, 67, 136));
    logCheck_ = check(kIdLogFile, "Create log file", DluPoint(this, 7, 143 + kSystemRow), 57, 71);
    button(kIdViewLog, "&View Log File...", 71, 141 + kSystemRow, 61);
    button(kIdDialogText, "Dialog &Text...", 182, 141 + kSystemRow, 66);
    thoroughCheck_ = check(kIdThorough, "Thorough matching (smaller patch, slower build)",
                           DluPoint(this, 7, 158 + kSystemRow), 241, 255);
    // The patch format: its label, then the two choices one under the other (the
    // compact one takes two lines).
    const int formatY = 158 + kSystemRow + 13;
    label(kPatchFormatLabel, 7, formatY + 1, 50, 8);
    const int choiceX = std::max(DluPoint(this, 57, 0).x, DluPoint(this, 7, 0).x +
                                                              GetTextExtent(kPatchFormatLabel).x +
                                                              DluSize(this, 4, 0).x);
    formatChoice_.Create(this, kIdClassicFormat, kClassicFormatText, wxPoint(choiceX, DluPoint(this, 0, formatY).y),
                         kIdCompactFormat, kCompactFormatText, wxPoint(choiceX, DluPoint(this, 0, formatY + 11).y));
    button(kIdOpenProject, "&Open Project...", 26, 163 + kButtonsDown, 57);
    button(kIdClearProject, "&Clear Project...", 99, 163 + kButtonsDown, 57);
    button(kIdSaveProject, "&Save Project...", 172, 163 + kButtonsDown, 57);
    button(kIdBuild, "&Build Patch", 26, 180 + kButtonsDown, 57);
    button(kIdHelp, "&Help", 99, 180 + kButtonsDown, 57);
    button(kIdExit, "E&xit", 172, 180 + kButtonsDown, 57);
}

void CBuildPatchPage::BindStorePoints()
{
    // Leaving the page for the Apply page stores the fields.
    if (auto* book = dynamic_cast<wxBookCtrlBase*>(GetParent()))
        book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGING, &CBuildPatchPage::OnPageChanging, this);
    // A close request to the Expert mode window stores them too. The window binds its
    // own close handler after the pages are made and does not pass the request on, so
    // the page binds later, once the window is complete (handlers bound later run first).
    CallAfter([this] {
        if (wxWindow* top = wxGetTopLevelParent(this); top && top != this)
            top->Bind(wxEVT_CLOSE_WINDOW, &CBuildPatchPage::OnTopLevelClose, this);
    });
}

void CBuildPatchPage::OnPageChanging(wxBookCtrlEvent& event)
{
    event.Skip();
    auto* book = dynamic_cast<wxBookCtrlBase*>(GetParent());
    if (book && event.GetOldSelection() != wxNOT_FOUND && book->GetPage(event.GetOldSelection()) == this) {
        ReadControls();
        StoreFields();
    }
}

void CBuildPatchPage::OnTopLevelClose(wxCloseEvent& event)
{
    event.Skip();
    ReadControls();
    StoreFields();
}

void CBuildPatchPage::ReadControls()
{
    oldFolder = FromWx(oldEdit_->GetValue());
    newFolder = FromWx(newEdit_->GetValue());
    patchFile = FromWx(patchEdit_->GetValue());
    defaultFolder = FromWx(defaultEdit_->GetValue());
    logFile = logCheck_->GetValue() ? 1 : 0;
    selfExtract = selfExtractCheck_->GetValue() ? 1 : 0;
    defaultFollowsOld = defaultFollowsCheck_->GetValue() ? 1 : 0;
    thorough = thoroughCheck_->GetValue() ? 1 : 0;
    compact = formatChoice_.Value();
    forWindows = systemChoice_.Value();
}

void CBuildPatchPage::ShowFields()
{
    ShowText(oldEdit_, oldFolder);
    ShowText(newEdit_, newFolder);
    ShowText(patchEdit_, patchFile);
    ShowText(defaultEdit_, defaultFolder);
    logCheck_->SetValue(logFile != 0);
    selfExtractCheck_->SetValue(selfExtract != 0);
    defaultFollowsCheck_->SetValue(defaultFollowsOld != 0);
    thoroughCheck_->SetValue(thorough != 0);
    formatChoice_.Show(compact);
    systemChoice_.Show(forWindows);
    systemChoice_.Enable(selfExtract != 0); // it matters only for a self-extracting program
}

void CBuildPatchPage::LoadFields()
{
    const CSettings& s = TheApp().Settings();
    oldFolder = s.oldFolder;
    newFolder = s.newFolder;
    patchFile = s.patchFile;
    defaultFolder = s.defaultFolder;
    logFile = s.logFile;
    selfExtract = s.selfExtract;
    defaultFollowsOld = s.defaultEqualsNew;
    thorough = s.thorough;
    compact = s.compact;
    forWindows = s.forWindows;
}

void CBuildPatchPage::StoreFields()
{
    CSettings& s = TheApp().Settings();
    s.oldFolder = oldFolder;
    s.newFolder = newFolder;
    s.patchFile = patchFile;
    s.defaultFolder = defaultFolder;
    s.logFile = logFile;
    s.selfExtract = selfExtract;
    s.defaultEqualsNew = defaultFollowsOld;
    s.thorough = thorough;
    s.compact = compact;
    s.forWindows = forWindows;
}

void CBuildPatchPage::ApplyDefaultFolderRule()
{
    ReadControls();
    if (defaultFollowsOld) {
        defaultFolder = oldFolder;
        ShowFields();
    }
}

void CBuildPatchPage::ApplyExtensionRule()
{
    if (!patchFile.empty())
        patchFile = WithPatchExtension(patchFile, selfExtract ? kProgramExtension : kPatchExtension);
}

wxWindow* CBuildPatchPage::Sheet()
{
    for (wxWindow* w = GetParent(); w; w = w->GetParent())
        if (dynamic_cast<CExpertModePropSheet*>(w))
            return w;
    return GetParent();
}

void CBuildPatchPage::OnBrowseOld(wxCommandEvent&)
{
    ReadControls();
    if (!ChooseFolder(this, "Browse for Old Files Folder", oldFolder))
        return;
    ShowFields();
    // The old folder's edit changed, which the default apply folder follows.
    ApplyDefaultFolderRule();
}

void CBuildPatchPage::OnBrowseNew(wxCommandEvent&)
{
    ReadControls();
    if (ChooseFolder(this, "Browse for New Files Folder", newFolder))
        ShowFields();
    ApplyDefaultFolderRule();
}

void CBuildPatchPage::OnBrowsePatch(wxCommandEvent&)
{
    ReadControls();
    std::string path;
    if (!ChoosePatchFileToSave(this, selfExtract != 0, patchFile, newFolder, path))
        return;
    patchFile = WithPatchExtension(path, selfExtract ? kProgramExtension : kPatchExtension);
    ShowFields();
}

void CBuildPatchPage::OnOldFolderChanged(wxCommandEvent&)
{
    // Typing in the old folder's edit: the default apply folder follows keystroke by
    // keystroke while the check box is ticked.
    ApplyDefaultFolderRule();
}

void CBuildPatchPage::OnDefaultFollowsOldClicked(wxCommandEvent&)
{
    ApplyDefaultFolderRule();
}

void CBuildPatchPage::OnSelfExtractClicked(wxCommandEvent&)
{
    ReadControls();
    ApplyExtensionRule();
    ShowFields();
}

void CBuildPatchPage::OnChoiceClicked(wxCommandEvent&)
{
    ReadControls();
}

void CBuildPatchPage::OnRemoveFiles(wxCommandEvent&)
{
    ReadControls();
    CDirDiff& dirDiff = TheApp().GetDirDiff();
    {
        wxBusyCursor wait;
        dirDiff.ScanFolder(oldFolder);
    }
    CFileChooserDlg dialog(this, CFileChooserDlg::kRemoveMode, &dirDiff);
    dialog.ShowModal();
}

void CBuildPatchPage::OnExcludeFiles(wxCommandEvent&)
{
    ReadControls();
    CDirDiff& dirDiff = TheApp().GetDirDiff();
    {
        wxBusyCursor wait;
        dirDiff.ScanFolder(newFolder);
    }
    CFileChooserDlg dialog(this, CFileChooserDlg::kExcludeMode, &dirDiff);
    dialog.ShowModal();
}

void CBuildPatchPage::OnSplit(wxCommandEvent&)
{
    CSplitDlg dialog(this);
    dialog.ShowModal();
}

void CBuildPatchPage::OnDialogText(wxCommandEvent&)
{
    CDialogTextDlg dialog(this);
    dialog.text = TheApp().Settings().dialogText;
    if (dialog.ShowModal() == wxID_OK)
        TheApp().Settings().dialogText = dialog.text;
}

void CBuildPatchPage::OnViewLog(wxCommandEvent&)
{
    ShowTextFile(this, TheApp().Core().log.Path());
}

void CBuildPatchPage::OnOpenProject(wxCommandEvent&)
{
    std::string path;
    if (!ChooseProjectFile(this, false, "", path))
        return;
    ReadControls(); // the log box is not part of a project and keeps what it shows
    CProjectData project;
    OpenProject(path, TheApp().Settings(), TheApp().GetDirDiff(), project);
    if (!project.overlongKeys.empty()) {
        // Such a path is left empty rather than cut short into the name of another file.
        std::string keys;
        for (const std::string& key : project.overlongKeys)
            keys += "\n" + key;
        TheApp().Core().Ask(PromptOwner::MainWindow,
                            "These values of the project file are longer than 254 characters and were left empty:" +
                                keys,
                            "Delvorin Warning", PromptButtons::OK, PromptIcon::Warning);
    }
    patchFile = project.patchFile;
    selfExtract = project.selfExtract ? 1 : 0;
    thorough = project.thorough ? 1 : 0;
    compact = project.compact ? 1 : 0;
    forWindows = TheApp().Settings().forWindows; // the project's choice, taken into the settings
    defaultFollowsOld = project.defaultEqualsNew ? 1 : 0;
    oldFolder = project.oldFolder;
    newFolder = project.newFolder;
    defaultFolder = project.defaultFolder;
    ShowFields();
}

void CBuildPatchPage::OnClearProject(wxCommandEvent&)
{
    ClearBuildPageProject(TheApp().Settings(), TheApp().GetDirDiff());
    logFile = 0;
    oldFolder.clear();
    newFolder.clear();
    patchFile.clear();
    selfExtract = 1;
    thorough = 0;
    compact = 0;
    forWindows = 0;
    defaultFolder.clear();
    defaultFollowsOld = 1;
    ShowFields();
}

void CBuildPatchPage::OnSaveProject(wxCommandEvent&)
{
    ReadControls(); // the project's name follows the new files folder typed so far
    std::string path;
    if (!ChooseProjectFile(this, true, newFolder, path))
        return;
    path = ProjectPathWithExtension(path);

    TheApp().Settings().forWindows = forWindows; // the project takes it from there
    CProjectData project = ProjectFromSettings(TheApp().Settings(), TheApp().GetDirDiff());
    project.compact = compact != 0;
    project.defaultEqualsNew = defaultFollowsOld != 0;
    project.patchFile = patchFile;
    project.selfExtract = selfExtract != 0;
    project.thorough = thorough != 0;
    project.oldFolder = oldFolder;
    project.newFolder = newFolder;
    project.defaultFolder = defaultFolder;
    if (!WriteProjectFile(path, project)) {
        // A project that silently failed to save would be missed only when it is needed.
        TheApp().Core().Ask(PromptOwner::MainWindow, "Unable to save the project file:\n" + path, LoadString(120),
                            PromptButtons::OK, PromptIcon::Stop);
    }
}

void CBuildPatchPage::Warn(const std::string& text)
{
    TheApp().Core().Ask(PromptOwner::MainWindow, text, kWarningTitle, PromptButtons::OK, PromptIcon::None);
}

CBuildInputs CBuildPatchPage::BuildInputs() const
{
    CBuildInputs inputs;
    inputs.oldFolder = oldFolder;
    inputs.newFolder = newFolder;
    inputs.patchFile = patchFile;
    inputs.defaultFolder = defaultFolder;
    inputs.selfExtract = selfExtract != 0;
    return inputs;
}

bool CBuildPatchPage::ShowRefusal(CBuildJob& job)
{
    const CBuildRefusal refusal = job.Check();
    // The patch file name the build uses, completed with the home folder where it has none.
    if (patchFile != job.Inputs().patchFile) {
        patchFile = job.Inputs().patchFile;
        ShowFields();
    }
    if (!refusal)
        return false;
    // Where a message names an edit, the focus goes there before the box is shown,
    // except for the patch file name, which gets it after the box is closed.
    wxTextCtrl* edit = nullptr;
    switch (refusal.field) {
    case CBuildRefusal::Field::OldFolder: edit = oldEdit_; break;
    case CBuildRefusal::Field::NewFolder: edit = newEdit_; break;
    case CBuildRefusal::Field::DefaultFolder: edit = defaultEdit_; break;
    case CBuildRefusal::Field::PatchFile:
        Warn(refusal.text);
        patchEdit_->SetFocus();
        return true;
    case CBuildRefusal::Field::None: break;
    }
    if (edit)
        edit->SetFocus();
    Warn(refusal.text);
    return true;
}

void CBuildPatchPage::OnBuild(wxCommandEvent&)
{
    ReadControls();
    // The log option takes effect even when a check fails; the matching, the patch format
    // and the self-extracting program's system the build uses are read there too.
    CAppCore& core = TheApp().Core();
    core.settings.logFile = logFile;
    core.settings.thorough = thorough;
    core.settings.compact = compact;
    core.settings.forWindows = forWindows;
    CBuildJob job(core, TheApp().GetDirDiff(), BuildInputs());
    if (ShowRefusal(job))
        return;

    wxBusyCursor wait;
    CBuildProgressDlg progress;
    progress.Create(Sheet()); // disables the Expert mode window while it exists
    core.settings.defaultFolder = defaultFolder; // the header carries it
    const CBuildOutcome outcome = job.Run(&progress);
    progress.Finish();
    // A cancel the user confirmed needs no further message; a failed step that reported
    // itself needs none either (one message per failure).
    if (outcome.kind == CBuildOutcome::Kind::Built) {
        CSuccessDlg success;
        success.message = "The Patch File: " + patchFile + " was successfully created.";
        success.ShowModal();
    } else if (outcome.kind == CBuildOutcome::Kind::Failed && !outcome.reported) {
        CWhoopsDlg whoops;
        whoops.message = outcome.message;
        whoops.ShowModal();
    }
}

void CBuildPatchPage::OnHelp(wxCommandEvent&)
{
    TheApp().ShowHelp(kHelpContext);
}

void CBuildPatchPage::OnExit(wxCommandEvent&)
{
    ReadControls();
    StoreFields();
    if (wxWindow* top = wxGetTopLevelParent(this); top && top != this)
        top->Close();
}
