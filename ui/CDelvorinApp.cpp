#include "ui/CDelvorinApp.h"

#include "app/UserIdentity.h"
#include "engine/common/CDirDiff.h"
#include "platform/ProgramFiles.h"
#include "ui/CDelvorinDlg.h"
#include "ui/CHelpController.h"
#include "ui/CSplashWnd.h"
#include "ui/CWxPrompt.h"
#include "ui/WxText.h"

#include <wx/html/helpctrl.h>
#include <wx/toplevel.h>

namespace {
const char kSettingsSection[] = "Settings";
}

CDelvorinApp::CDelvorinApp()
    : wxPrompt_(std::make_unique<CWxPrompt>()),
      core_(std::make_unique<CAppCore>(wxPrompt_.get())),
      profile_(std::make_unique<CProfile>("delvorin"))
{
}

CDelvorinApp::~CDelvorinApp() = default;

CDelvorinApp& TheApp()
{
    return *static_cast<CDelvorinApp*>(wxApp::GetInstance());
}

bool CDelvorinApp::OnInit()
{
    // The command line is not read: the program takes no arguments.
    InitInstance();
    exitCode_ = ExitInstance();
    return true;
}

int CDelvorinApp::OnRun()
{
    return exitCode_;
}

void CDelvorinApp::SetProfilePath(const std::string& path)
{
    profile_ = std::make_unique<CProfile>("delvorin", path);
}

void CDelvorinApp::SetPrompts(IUserPrompt* prompts)
{
    core_->prompts = prompts ? prompts : wxPrompt_.get();
}

void CDelvorinApp::LoadSettings()
{
    profile_->Load();
    core_->settings.Load(*profile_);
    // The build's lists come back with the folders they belong to.
    CDirDiff& dirDiff = GetDirDiff();
    dirDiff.ClearRemoveList();
    dirDiff.ClearExcludeList();
    for (const std::string& name : core_->settings.removeList)
        dirDiff.AddRemoveFile(name);
    for (const std::string& name : core_->settings.excludeList)
        dirDiff.AddExcludeFile(name);
    core_->userName = profile_->GetString(kSettingsSection, kUserNameKey, AccountFullName());
    core_->userOrganization = profile_->GetString(kSettingsSection, kUserOrganizationKey, "");
}

bool CDelvorinApp::InitInstance()
{
    // The profile location is the per-user "Quenmark" folder chosen by CProfile. Every
    // start begins a new log, whatever the "LogFile" setting says.
    core_->StartLog();
    LoadSettings();

    CDelvorinDlg dialog;
    SetTopWindow(&dialog);
    dialog.ShowModal();
    SetTopWindow(nullptr);
    return false;
}

int CDelvorinApp::ExitInstance()
{
    profile_->WriteString(kSettingsSection, kUserNameKey, core_->userName);
    profile_->WriteString(kSettingsSection, kUserOrganizationKey, core_->userOrganization);
    if (dirDiff_) {
        core_->settings.removeList = dirDiff_->RemoveList();
        core_->settings.excludeList = dirDiff_->ExcludeList();
    }
    core_->settings.Save(*profile_);
    dirDiff_.reset();
    return 0;
}

CDirDiff& CDelvorinApp::GetDirDiff()
{
    if (!dirDiff_)
        dirDiff_ = std::make_unique<CDirDiff>(*core_);
    return *dirDiff_;
}

std::string CDelvorinApp::HelpBookPath() const
{
    return fsys::FindProgramFile(core_->programFolder, "help/delvorin.hhp");
}

void CDelvorinApp::ShowHelp(int context)
{
    lastHelpContext_ = context;
    if (!helpWindows_)
        return;
    // The help book opens as a modal window over the window that asked: the main
    // dialog and the Wizard run modally, and a window beside them would take no input.
    wxWindow* active = wxGetActiveWindow();
    wxWindow* parent = active ? wxGetTopLevelParent(active) : MainWindowForMessages();
    help_ = std::make_unique<CHelpController>(parent);
    help_->AddBook(ToWx(HelpBookPath()));
    help_->Display(context);
    help_.reset();
}

void CDelvorinApp::CloseHelp()
{
    if (help_) {
        help_->Quit();
        help_.reset();
    }
}

wxWindow* CDelvorinApp::MainWindowForMessages() const
{
    wxWindow* top = GetTopWindow();
    if (top && top->IsShown())
        return top;
    for (wxWindow* w : wxTopLevelWindows) {
        if (w->IsShown() && w != CSplashWnd::Current() && !w->IsBeingDeleted())
            return w;
    }
    return top;
}
