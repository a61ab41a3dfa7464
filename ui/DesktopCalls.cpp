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

std::string& LastFolderUsed()
{
    static std::string folder;
    return folder;
}

// The folder part of a path ("/" for a file at the top, "" for a bare name).
static std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
}

std::string StartFolderFor(const std::string& folder)
{
    if (!folder.empty() && fsys::FolderExists(folder))
        return folder;
    if (!LastFolderUsed().empty() && fsys::FolderExists(LastFolderUsed()))
        return LastFolderUsed();
    return FromWx(wxGetHomeDir());
}

void StartAtFile(CPathRequest& request, const std::string& file, const std::string& proposedName)
{
    const size_t slash = file.rfind('/');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    request.startFolder = StartFolderFor(FolderOf(file));
    request.defaultFile = name.empty() ? proposedName : name;
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

// Asks with the real dialogs, or the hook when one is set.
static bool AskForPath(wxWindow* parent, const CPathRequest& request, std::string& path)
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

bool ChoosePath(wxWindow* parent, const CPathRequest& request, std::string& path)
{
    if (!AskForPath(parent, request, path))
        return false;
    // A folder or file chosen: the next dialog opens beside it.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    folder = FolderOf(folder);
    if (!folder.empty())
        LastFolderUsed() = folder;
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
