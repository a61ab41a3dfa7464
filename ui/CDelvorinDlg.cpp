#include "ui/CDelvorinDlg.h"

#include "app/StringTable.h"
#include "ui/AppIcon.h"
#include "ui/CAboutDlg.h"
#include "ui/CDelvorinApp.h"
#include "ui/CDelvorinWiz.h"
#include "ui/CExpertModePropFrame.h"
#include "ui/CPictureCtrl.h"
#include "ui/CSplashWnd.h"
#include "ui/DialogUnits.h"
#include "ui/WindowKeys.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/menu.h>
#include <wx/stattext.h>

namespace {

struct TextLine {
    const char* text;
    int x, y, cx, cy;
};

const TextLine kTexts[] = {
    {"Welcome to Delvorin!", 7, 7, 113, 8},
    // One paragraph in one text, so that it wraps as one whatever the font.
    {"Delvorin(TM) can be used to build or apply a patch file.  The Delvorin build process compares a set of "
     "old files in one folder to a set of new files in another folder.  During the compare process, Delvorin "
     "analyzes what files have been modified and added between the two folders.  Delvorin then creates a "
     "Delvorin file containing the changes needed to convert an old file folder to a new one.",
     7, 20, 324, 37},
    {"The second step to this process is applying the Delvorin file to a folder that contains an old set of "
     "files, such as one that exists on one of your user's personal computers.  This process is called Apply.",
     7, 60, 324, 17},
    {"Choose Wizard to use the Delvorin Wizard to guide you through the process of creating or applying a "
     "Delvorin file.  Choose Expert to create or apply a Delvorin file without the Delvorin Wizard's help.",
     7, 84, 324, 21},
};

} // namespace

CDelvorinDlg::CDelvorinDlg()
    : wxDialog(nullptr, wxID_ANY, ToWx(LoadString(103)), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxMINIMIZE_BOX),
      appearTimer_(this, kAppearTimerId), autoCloseTimer_(this, kAutoCloseTimerId)
{
    SetClientSize(DluSize(this, 338, 247));

    for (const TextLine& t : kTexts) {
        AddWrappedText(this, wxID_ANY, t.text, t.x, t.y, t.cx, t.cy);
    }
    picture_ = new CPictureCtrl(this, kIdPicture, DluPoint(this, 31, 107), DluSize(this, 215, 113));
    // The buttons in the order of the form, which is the tab order.
    new wxButton(this, kIdExpert, "&Expert", DluPoint(this, 31, 226), DluSize(this, 98, 14));
    new wxButton(this, kIdWizard, "&Wizard", DluPoint(this, 148, 226), DluSize(this, 98, 14));
    new wxButton(this, kIdAboutButton, "&About...", DluPoint(this, 281, 130), DluSize(this, 50, 14));
    new wxButton(this, kIdHelpButton, "&Help", DluPoint(this, 281, 147), DluSize(this, 50, 14));
    auto* exitButton = new wxButton(this, kIdExit, "E&xit", DluPoint(this, 281, 164), DluSize(this, 50, 14));
    exitButton->SetDefault();
    // The dialog opens with the keyboard focus on its default button.
    exitButton->SetFocus();
    FitWrappedTexts(this);

    Bind(wxEVT_BUTTON, &CDelvorinDlg::OnExpert, this, kIdExpert);
    Bind(wxEVT_BUTTON, &CDelvorinDlg::OnWizard, this, kIdWizard);
    Bind(wxEVT_BUTTON, &CDelvorinDlg::OnAbout, this, kIdAboutButton);
    Bind(wxEVT_BUTTON, &CDelvorinDlg::OnHelp, this, kIdHelpButton);
    Bind(wxEVT_BUTTON, &CDelvorinDlg::OnExit, this, kIdExit);
    Bind(wxEVT_MENU, &CDelvorinDlg::OnHelp, this, wxID_HELP);
    Bind(wxEVT_MENU, &CDelvorinDlg::OnMenu, this, kIdAboutEntry);
    Bind(wxEVT_CONTEXT_MENU, &CDelvorinDlg::OnContextMenu, this);
    Bind(wxEVT_TIMER, &CDelvorinDlg::OnTimer, this, kAppearTimerId);
    Bind(wxEVT_TIMER, &CDelvorinDlg::OnAutoClose, this, kAutoCloseTimerId);
    // Ctrl+W and Ctrl+Q both end the program, as this window's close does.
    Bind(wxEVT_MENU, &CDelvorinDlg::OnExit, this, wxID_CLOSE);
    Bind(wxEVT_MENU, &CDelvorinDlg::OnExit, this, wxID_EXIT);
    SetWindowKeys(this);

    // 1. The main picture.
    picture_->SetBitmap(130);
    // 2. GTK windows have no window menu of their own: the About entry (string 101) is
    // offered on the dialog's context menu instead (see OnContextMenu).
    // 3. The application icon.
    SetIcons(AppIcons());
    // 4. The start-up picture, once per run.
    CSplashWnd::ShowSplashScreen(this);
    // 5. Centred on the screen; the rectangle is remembered for the delayed appearance.
    Centre(wxBOTH);
    rememberedRect_ = GetRect();
    // 6. The dialog stays out of sight until timer 49 fires, so the user sees the
    // splash first and the main dialog about a second after start.
    appearancePending_ = true;
    appearTimer_.StartOnce(kAppearMilliseconds);

    if (wxApp::GetInstance() && TheApp().AutoCloseSeconds() > 0)
        autoCloseTimer_.StartOnce(TheApp().AutoCloseSeconds() * 1000);
}

CDelvorinDlg::~CDelvorinDlg()
{
    // The Expert mode window lives as long as the program: it goes with the main dialog,
    // before the settings are saved, so its pages store their latest values first.
    delete expert_;
    expert_ = nullptr;
    if (wxApp::GetInstance())
        TheApp().CloseHelp();
}

bool CDelvorinDlg::Show(bool show)
{
    if (show && appearancePending_) {
        showRequested_ = true;
        return false;
    }
    if (!show)
        showRequested_ = false;
    if (!show && IsModal())
        return wxTopLevelWindow::Show(false); // hidden for Expert mode, the modal run goes on
    return wxDialog::Show(show);
}

void CDelvorinDlg::Appear()
{
    appearTimer_.Stop();
    if (!appearancePending_)
        return;
    appearancePending_ = false;
    SetSize(rememberedRect_);
    if (showRequested_)
        Show(true);
}

void CDelvorinDlg::OnTimer(wxTimerEvent&)
{
    Appear();
}

void CDelvorinDlg::OnAutoClose(wxTimerEvent&)
{
    Close();
}

void CDelvorinDlg::OnExpert(wxCommandEvent&)
{
    Hide();
    if (!expert_) {
        auto* frame = new CExpertModePropFrame();
        if (!frame->CreateFrame(ToWx(LoadString(103)))) {
            frame->Destroy();
            // No window would be left on screen with the program still running: the
            // main dialog comes back instead.
            Show(true);
            return;
        }
        expert_ = frame;
    } else if (!expert_->IsShown()) {
        expert_->Show();
    }
    expert_->Raise();
}

void CDelvorinDlg::OnWizard(wxCommandEvent&)
{
    CDelvorinWiz wizard(nullptr);
    wizard.Run();
    if (wizard.QuitRequested())
        Close();
}

void CDelvorinDlg::OnAbout(wxCommandEvent&)
{
    CAboutDlg about(this);
    about.ShowModal();
}

void CDelvorinDlg::OnHelp(wxCommandEvent&)
{
    TheApp().ShowHelp(kHelpContext);
}

void CDelvorinDlg::OnExit(wxCommandEvent&)
{
    Close();
}

void CDelvorinDlg::OnSysCommand(int id)
{
    if ((id & 0xFFF0) == kIdAboutEntry) {
        wxCommandEvent unused;
        OnAbout(unused);
    }
}

void CDelvorinDlg::OnMenu(wxCommandEvent& event)
{
    OnSysCommand(event.GetId());
}

void CDelvorinDlg::OnContextMenu(wxContextMenuEvent&)
{
    const std::string& text = LoadString(101);
    if (text.empty())
        return;
    wxMenu menu;
    menu.Append(kIdAboutEntry, ToWx(text));
    PopupMenu(&menu);
}
