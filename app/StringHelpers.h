// Small text helpers shared by the engine and the front ends.
#pragma once
#include <string>

// Replaces the text after the last '.' of the path's last component with ext, or
// appends '.' and ext when that component holds no '.'.
std::string SetExtension(const std::string& path, const std::string& ext);
// The text after the last '/' (the whole text when there is none).
std::string LastComponent(const std::string& path);
// True when the name holds one of the characters a file or folder name may not hold
// here: ? " < > * | and the backslash, which the patch file uses between components.
bool HasForbiddenNameChar(const std::string& name);
// True when text ends with suffix, letter case ignored.
bool EndsWithNoCase(const std::string& text, const std::string& suffix);
// Converts the program's '/' paths to the patch file's '\' form and back.
std::string ToStoredName(const std::string& nativeName);
std::string FromStoredName(const std::string& storedName);
