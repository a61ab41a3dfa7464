#include "ui/DesktopCalls.h"

#include "ui/WxText.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/utils.h>

CDesktopHooks& DesktopHooks()
{
    static CDesktopHooks hooks;
    return hooks;
}

bool ChoosePath(wxWindow* parent, const CPathRequest& request, std::string& path)
{
    if (DesktopHooks().choosePath)
        return DesktopHooks().choosePath(parent, request, path);

    if (request.kind == CPathRequest::Kind::Folder) {
        wxDirDialog dialog(parent, ToWx(request.title), "/", wxDD_DEFAULT_STYLE);
        if (dialog.ShowModal() != wxID_OK || dialog.GetPath().empty())
            return false;
        path = FromWx(dialog.GetPath());
        return true;
    }

    long style = request.kind == CPathRequest::Kind::SaveFile ? wxFD_SAVE : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (request.overwritePrompt)
        style |= wxFD_OVERWRITE_PROMPT;
    wxString wildcard = ToWx(request.wildcard);
    if (!wildcard.empty())
        wildcard = wildcard + "|" + wildcard;
    wxFileDialog dialog(parent, ToWx(request.title), wxEmptyString, ToWx(request.defaultFile), wildcard, style);
    if (dialog.ShowModal() != wxID_OK || dialog.GetPath().empty())
        return false;
    path = FromWx(dialog.GetPath());
    return true;
}

void StartProgram(const std::vector<std::string>& argv)
{
    if (DesktopHooks().startProgram) {
        DesktopHooks().startProgram(argv);
        return;
    }
    if (argv.empty())
        return;
    // The arguments go to the program as they are, without a shell in between, so
    // blanks and quotes in paths need no quoting.
    std::vector<const char*> raw;
    for (const std::string& a : argv)
        raw.push_back(a.c_str());
    raw.push_back(nullptr);
    wxLogNull quiet; // a program that cannot be started is not reported
    wxExecute(raw.data(), wxEXEC_ASYNC);
}

void ShowTextFile(const std::string& path)
{
    if (DesktopHooks().showTextFile) {
        DesktopHooks().showTextFile(path);
        return;
    }
    wxLogNull quiet;
    wxLaunchDefaultApplication(ToWx(path));
}
