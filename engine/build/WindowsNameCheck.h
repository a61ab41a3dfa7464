// The check of the new folder's names that a build for the Windows apply program makes
// before it reads any file: names Windows cannot create are shown as a warning (the build
// goes on; the Windows program will refuse the patch until they are renamed or left out),
// names Windows takes for one refuse the build.
#pragma once
#include <functional>
#include <string>
#include <vector>

// relativeNames: the new files the build takes, relative to the new folder. warn shows a
// warning text. False, with refusal set, when the build must not go on.
bool CheckNamesForWindows(const std::vector<std::string>& relativeNames,
                          const std::function<void(const std::string& text)>& warn, std::string& refusal);
