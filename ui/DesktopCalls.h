// The desktop facilities the Expert mode pages call on: the folder browser, the file
// open and save dialogs, starting another program without waiting for it, and showing a
// text file in the desktop's text viewer (or the program's own text window). Each call goes through a replaceable hook so
// that the automated tests can supply the chosen path and see what would be started
// without any native window or child process.
#pragma once
#include <functional>
#include <string>
#include <vector>

class wxWindow;

struct CPathRequest {
    enum class Kind { Folder, OpenFile, SaveFile };
    Kind kind = Kind::Folder;
    std::string title;
    std::string startFolder; // where the dialog opens; empty: the user's home
    std::string defaultFile; // file dialogs: the initial file name
    std::string wildcard;    // file dialogs: the file-type filter
    bool overwritePrompt = false;
};

// The folder beside the path last chosen in any of these dialogs (the folder holding
// it), where the next dialog opens when its field names nothing; empty at start.
std::string& LastFolderUsed();
// Where a dialog opens for a folder the user has named: that folder when it exists,
// else beside the last path chosen, else the user's home.
std::string StartFolderFor(const std::string& folder);
// Makes a file dialog open at the file named in a field: in its folder, with its name
// proposed. An empty field proposes proposedName instead.
void StartAtFile(CPathRequest& request, const std::string& file, const std::string& proposedName);
// Asks for a folder with the folder browser titled title, opening at the folder given;
// on OK, folder := the one chosen. False when cancelled.
bool ChooseFolder(wxWindow* parent, const std::string& title, std::string& folder);

struct CDesktopHooks {
    // Returns true and sets path when the user chose something.
    std::function<bool(wxWindow* parent, const CPathRequest& request, std::string& path)> choosePath;
    // argv[0] is the program; the call does not wait for it.
    std::function<void(const std::vector<std::string>& argv)> startProgram;
    // Starts the desktop's text viewer on the file; false when none could be started.
    std::function<bool(const std::string& path)> showTextFile;
};

// The hooks in use; empty members mean the real desktop calls.
CDesktopHooks& DesktopHooks();

// Asks for a folder or a file. False when cancelled.
bool ChoosePath(wxWindow* parent, const CPathRequest& request, std::string& path);
// Starts a program with its arguments, without a shell and without waiting. A failure
// is not reported.
void StartProgram(const std::vector<std::string>& argv);
// Opens a text file in the desktop's default viewer, without waiting. When no viewer
// can be started, the program shows the file itself in a read-only text window owned by
// parent.
void ShowTextFile(wxWindow* parent, const std::string& path);
