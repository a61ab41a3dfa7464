// Where the entries of a build's remove list land in the folder an apply updates.
#pragma once
#include <string>

// The name, relative to the folder an apply updates ('/' between components), under
// which a patch stores the remove entry: a relative entry as it is, a full one below the
// default apply folder or else below the build's old folder relative to that folder.
// False when it lies below neither or climbs out of its folder.
bool RemoveEntryRelativeName(const std::string& entry, const std::string& defaultFolder, const std::string& oldFolder,
                             std::string& relative);
