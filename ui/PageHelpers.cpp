#include "ui/PageHelpers.h"

#include "app/StringHelpers.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"
#include "ui/DesktopCalls.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

const char kPatchInsideNewFolder[] = "The patch file cannot be created inside the new files folder,\n"
                                     "since the build would take it for one of the new files.";

bool ChooseProjectFile(wxWindow* parent, bool save, std::string& path)
{
    CPathRequest request;
    request.kind = save ? CPathRequest::Kind::SaveFile : CPathRequest::Kind::OpenFile;
    request.title = save ? "Save Delvorin Project File" : "Open Delvorin Project File";
    request.defaultFile = "*.dvj";
    request.wildcard = "*.dvj";
    request.overwritePrompt = save;
    return ChoosePath(parent, request, path);
}

bool ChoosePatchFileToSave(wxWindow* parent, bool selfExtract, const std::string& current, std::string& path)
{
    const std::string pattern = selfExtract ? "*.exe" : "*.dvp";
    CPathRequest request;
    request.kind = CPathRequest::Kind::SaveFile;
    request.title = "Save Patch File As";
    request.defaultFile = pattern;
    request.wildcard = pattern;
    request.overwritePrompt = true;
    StartAtFile(request, current);
    return ChoosePath(parent, request, path);
}

bool ChoosePatchFileToOpen(wxWindow* parent, const std::string& title, const std::string& current,
                           std::string& path)
{
    CPathRequest request;
    request.kind = CPathRequest::Kind::OpenFile;
    request.title = title;
    request.defaultFile = "*.dvp";
    request.wildcard = "*.dvp";
    StartAtFile(request, current);
    return ChoosePath(parent, request, path);
}

std::string TextAfterLastDot(const std::string& path)
{
    const std::string name = LastComponent(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string InHomeFolder(const std::string& name)
{
    return fsys::Join(fsys::HomeFolder(), name);
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
