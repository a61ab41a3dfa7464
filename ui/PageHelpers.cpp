#include "ui/PageHelpers.h"

#include "app/StringHelpers.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"
#include "ui/DesktopCalls.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

// A folder path without trailing '/'s.
static std::string WithoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// The name a save dialog proposes when its field names nothing: the new files folder's
// own name with the extension (e.g. "app-2.1.dvp"), or nothing without a folder.
static std::string NameAfterFolder(const std::string& newFolder, const char* extension)
{
    const std::string name = LastComponent(WithoutTrailingSlash(newFolder));
    return name.empty() || name == "/" ? std::string() : name + "." + extension;
}

bool ChooseProjectFile(wxWindow* parent, bool save, const std::string& newFolder, std::string& path)
{
    CPathRequest request;
    request.kind = save ? CPathRequest::Kind::SaveFile : CPathRequest::Kind::OpenFile;
    request.title = save ? "Save Delvorin Project File" : "Open Delvorin Project File";
    request.wildcard = "*.dvj";
    request.overwritePrompt = save;
    StartAtFile(request, "", save ? NameAfterFolder(newFolder, "dvj") : std::string());
    return ChoosePath(parent, request, path);
}

bool ChoosePatchFileToSave(wxWindow* parent, bool selfExtract, const std::string& current,
                           const std::string& newFolder, std::string& path)
{
    CPathRequest request;
    request.kind = CPathRequest::Kind::SaveFile;
    request.title = "Save Patch File As";
    request.wildcard = selfExtract ? "*.exe" : "*.dvp";
    request.overwritePrompt = true;
    // With no patch file named and nothing chosen yet, the dialog opens beside the new
    // files folder (the patch cannot go inside it): a path ending in '/' names a folder.
    const std::string newPath = WithoutTrailingSlash(newFolder);
    const size_t slash = newPath.rfind('/');
    const std::string place = current.empty() && LastFolderUsed().empty() && slash != std::string::npos
                                  ? newPath.substr(0, slash + 1)
                                  : current;
    StartAtFile(request, place, NameAfterFolder(newFolder, selfExtract ? "exe" : "dvp"));
    return ChoosePath(parent, request, path);
}

bool ChoosePatchFileToOpen(wxWindow* parent, const std::string& title, const std::string& current,
                           std::string& path)
{
    CPathRequest request;
    request.kind = CPathRequest::Kind::OpenFile;
    request.title = title;
    request.wildcard = "*.dvp";
    StartAtFile(request, current, "");
    return ChoosePath(parent, request, path);
}

std::string WithPatchExtension(const std::string& path, const std::string& extension)
{
    return SetExtension(path, extension);
}

std::string WithDvpWhenNoExtension(const std::string& path)
{
    return LastComponent(path).find('.') == std::string::npos ? path + ".dvp" : path;
}

void ShowText(wxTextCtrl* edit, const std::string& text)
{
    wxString value = ToWx(text);
    if (edit->GetValue() != value)
        edit->ChangeValue(value);
}

CRemoveListKeeper::CRemoveListKeeper(CDirDiff& dirDiff) : dirDiff_(dirDiff), kept_(dirDiff.RemoveList()) {}

CRemoveListKeeper::~CRemoveListKeeper()
{
    dirDiff_.ClearRemoveList();
    for (const std::string& name : kept_)
        dirDiff_.AddRemoveFile(name);
}
