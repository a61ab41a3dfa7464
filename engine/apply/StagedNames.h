// The names of the files an apply stages beside their targets (rebuilt files and copies
// for backups) until they are complete: hidden, with six random letters or digits, so
// they meet no file of the patch or the user. An apply that is killed leaves them
// behind; the next apply to the same folder removes files of exactly this pattern.
#pragma once
#include <string>

inline constexpr const char* kStagedPrefix = ".~dvp-rebuild-";

// True for a name of exactly the pattern: the prefix and six letters or digits.
bool IsStagedName(const std::string& name);

class CFolderHandle;

// Removes the regular files of exactly the pattern from the folder.
void RemoveStagedLeftovers(const CFolderHandle& folder);
