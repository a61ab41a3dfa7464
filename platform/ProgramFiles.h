// Where the programs find the files that ship with them, and where they write the files
// that belong to the user. Run from the build folder everything lies beside the
// executable; installed under a prefix P the executables are in P/bin, the apply program
// in P/lib/delvorin and the help book in P/share/delvorin, found relative to the
// executable so that a moved prefix works as well. Nothing is written into an
// installation.
#pragma once
#include <string>

namespace fsys {

// The path of a file that ships with the programs (such as "DvApply.exe" or
// "help/delvorin.hhp"): beside the executable, else under ../lib/delvorin or
// ../share/delvorin. When it is in none of them, the path beside the executable.
std::string FindProgramFile(const std::string& programFolder, const std::string& name);

// True when the program folder is the bin folder of an installation (its prefix holds
// share/delvorin), which is never written to.
bool IsInstalledProgramFolder(const std::string& programFolder);

// The user's home folder: $HOME, or "/" when that is unset.
std::string HomeFolder();

// The folder of the log file: the program folder when it is writable and not an
// installation, else $XDG_STATE_HOME/delvorin (~/.local/state/delvorin when that is
// unset or not an absolute path). Nothing is created.
std::string LogFolder(const std::string& programFolder);

} // namespace fsys
