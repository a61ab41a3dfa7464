// The desktop facilities the Expert mode pages call on: the folder browser, the file
// open and save dialogs, starting another program without waiting for it, and showing a
// text file in the desktop's text viewer. Each call goes through a replaceable hook so
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
    std::string defaultFile; // file dialogs: the initial file name
    std::string wildcard;    // file dialogs: the file-type filter
    bool overwritePrompt = false;
};

struct CDesktopHooks {
    // Returns true and sets path when the user chose something.
    std::function<bool(wxWindow* parent, const CPathRequest& request, std::string& path)> choosePath;
    // argv[0] is the program; the call does not wait for it.
    std::function<void(const std::vector<std::string>& argv)> startProgram;
    std::function<void(const std::string& path)> showTextFile;
};

// The hooks in use; empty members mean the real desktop calls.
CDesktopHooks& DesktopHooks();

// Asks for a folder or a file. Folder browsing starts at the file-system root, as the
// browser of the computer's drives did. False when cancelled.
bool ChoosePath(wxWindow* parent, const CPathRequest& request, std::string& path);
// Starts a program with its arguments, without a shell and without waiting. A failure
// is not reported.
void StartProgram(const std::vector<std::string>& argv);
// Opens a text file in the desktop's default viewer, without waiting. A failure is not
// reported.
void ShowTextFile(const std::string& path);
