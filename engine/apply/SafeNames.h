// The test that a relative name taken from a patch file stays inside the folder it is
// applied to. A patch file may come from anywhere: its file names and remove entries
// are refused when they could reach a place outside the target folder.
#pragma once
#include <string>

// True when the name is a plain relative name: not empty, not absolute ("/" or "\" at
// its start), without a drive or device prefix ("C:", "\\?\"), and without an empty,
// "." or ".." component. Both "/" and "\" count as separators.
bool IsSafeRelativeName(const std::string& name);

// The target folder of a full target path formed as folder + "/" + name; false when
// the path does not end in "/" + name.
bool TargetFolderOf(const std::string& fullPath, const std::string& name, std::string& folder);
