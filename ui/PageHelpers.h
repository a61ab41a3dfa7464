// Small pieces that the build and apply pages of both front ends (Expert mode and the
// Wizard) need alike: asking for a project file, the extension test of a patch file,
// the place of a patch file against the new files folder, and keeping the engine's
// remove list across the reading of a patch file.
#pragma once
#include <string>
#include <vector>

class CDirDiff;
class wxTextCtrl;
class wxWindow;

// Asks for a Delvorin project file (".dvj"): the file-open dialog titled "Open Delvorin
// Project File", or the file-save dialog titled "Save Delvorin Project File" with the
// question before an existing file is replaced, proposing the new files folder's name
// with ".dvj". Both open beside the last path chosen. False when cancelled.
bool ChooseProjectFile(wxWindow* parent, bool save, const std::string& newFolder, std::string& path);

// Asks where to save the patch file: the file-save dialog titled "Save Patch File As"
// with the pattern "*.exe" for a self-extracting program or "*.dvp", and the question
// before an existing file is replaced. It opens at the patch file named so far (current),
// proposing its name; with none named, beside the last path chosen (else beside the new
// files folder), proposing the new files folder's name with the extension. False when
// cancelled.
bool ChoosePatchFileToSave(wxWindow* parent, bool selfExtract, const std::string& current,
                           const std::string& newFolder, std::string& path);
// Asks for a patch file to apply: the file-open dialog with the given title and "*.dvp",
// opening at the patch file named so far, else beside the last path chosen.
bool ChoosePatchFileToOpen(wxWindow* parent, const std::string& title, const std::string& current,
                           std::string& path);

// The patch file extension rule of the Build page and the Wizard: the text after the last
// '.' of the file's own name is replaced by extension; a name without a '.' gets '.' and
// the extension. A '.' in a folder name never counts, so the patch file stays in the
// folder the user chose.
std::string WithPatchExtension(const std::string& path, const std::string& extension);
// A patch file chosen in a file dialog: ".dvp" is appended when its name has no '.'.
std::string WithDvpWhenNoExtension(const std::string& path);

// Writes a text into an edit, leaving it alone when it shows that text already
// (rewriting it would move the caret of the edit being typed in).
void ShowText(wxTextCtrl* edit, const std::string& text);

// Reading a patch file replaces the engine's remove list with the patch's own. This
// keeps the list meant for the next build and gives it back when it goes, so a later
// build never carries another patch's removals.
class CRemoveListKeeper {
public:
    explicit CRemoveListKeeper(CDirDiff& dirDiff);
    ~CRemoveListKeeper();
    CRemoveListKeeper(const CRemoveListKeeper&) = delete;
    CRemoveListKeeper& operator=(const CRemoveListKeeper&) = delete;

private:
    CDirDiff& dirDiff_;
    std::vector<std::string> kept_;
};
