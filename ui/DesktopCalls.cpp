#include "ui/DesktopCalls.h"

#include "platform/FileSystem.h"
#include "ui/CTextViewerDlg.h"
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

std::string StartFolderFor(const std::string& folder)
{
    if (!folder.empty() && fsys::FolderExists(folder))
        return folder;
    return FromWx(wxGetHomeDir());
}

void StartAtFile(CPathRequest& request, const std::string& file)
{
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash ? slash : 1);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    request.startFolder = StartFolderFor(folder);
    if (!name.empty())
        request.defaultFile = name;
}

bool ChooseFolder(wxWindow* parent, const std::string& title, std::string& folder)
{
    CPathRequest request;
    request.title = title;
    request.startFolder = StartFolderFor(folder);
    std::string chosen;
    if (!ChoosePath(parent, request, chosen))
        return false;
    folder = chosen;
    return true;
}

bool ChoosePath(wxWindow* parent, const CPathRequest& request, std::string& path)
{
    if (DesktopHooks().choosePath)
        return DesktopHooks().choosePath(parent, request, path);

    const wxString start = ToWx(request.startFolder.empty() ? StartFolderFor("") : request.startFolder);
    if (request.kind == CPathRequest::Kind::Folder) {
        wxDirDialog dialog(parent, ToWx(request.title), start, wxDD_DEFAULT_STYLE);
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
    wxFileDialog dialog(parent, ToWx(request.title), start, ToWx(request.defaultFile), wildcard, style);
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

void ShowTextFile(wxWindow* parent, const std::string& path)
{
    bool started;
    if (DesktopHooks().showTextFile) {
        started = DesktopHooks().showTextFile(path);
    } else {
        // The desktop's opener says at once whether a viewer was started; a launch that
        // is merely handed on (to a program that needs a terminal, say) would fail out
        // of sight.
        wxLogNull quiet;
        const char* argv[] = {"gio", "open", path.c_str(), nullptr};
        started = wxExecute(argv, wxEXEC_SYNC | wxEXEC_NOEVENTS) == 0;
    }
    if (!started)
        (new CTextViewerDlg(parent, path))->Show();
}
