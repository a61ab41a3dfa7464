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
// The text as it may be shown in a message, list, log line or report: every control
// character (below 0x20, and 0x7f) as \xHH, so that a name from a patch file can neither
// break a line nor send escape sequences to a terminal. Other bytes stay as they are, so
// showing a shown text again changes nothing.
std::string Printable(const std::string& text);
// Converts the program's '/' paths to the patch file's '\' form and back.
std::string ToStoredName(const std::string& nativeName);
std::string FromStoredName(const std::string& storedName);
