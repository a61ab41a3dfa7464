// Names a Windows file system cannot hold. A tree built on Linux may carry names that
// Windows refuses to create (reserved device names, characters it forbids, a trailing dot
// or blank) or two names that Windows takes for one because it ignores letter case. A build
// for the Windows apply program warns about the first and refuses the second; the Windows
// apply program refuses a patch that holds either before it changes anything.
#pragma once
#include <string>
#include <utility>
#include <vector>

enum class WindowsNameProblem {
    None,
    Reserved,           // CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with any extension
    ForbiddenCharacter, // one of < > : " | ? *
    ControlCharacter,   // a byte from 1 to 31
    TrailingDotOrBlank, // Windows drops it, so the file would get another name
};

// What is wrong with one component of a path (a file or folder name, no separator).
WindowsNameProblem WindowsNameProblemOf(const std::string& component);

// The reason in words, for the lists the user sees.
std::string WindowsNameProblemText(WindowsNameProblem problem);

// The problems of a set of relative names (components separated by '/' or '\\', as the
// build walk and the patch records hold them).
struct CWindowsNameReport {
    // Each relative name with an unfit component, in the order given, with the first
    // problem found in it.
    std::vector<std::pair<std::string, WindowsNameProblem>> unfit;
    // Pairs of relative names (files or the folders above them) that differ only in letter
    // case, each pair once, the name met first on the left.
    std::vector<std::pair<std::string, std::string>> caseTwins;
    bool Empty() const { return unfit.empty() && caseTwins.empty(); }
};
CWindowsNameReport FindWindowsNameProblems(const std::vector<std::string>& relativeNames);

// The name with letter case folded the way Windows compares names: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters of valid UTF-8; any other byte as it is.
std::string WindowsCaseFold(const std::string& name);
