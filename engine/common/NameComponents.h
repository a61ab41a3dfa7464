// The components of a relative name as patch files and the build walk hold it: separated
// by '/' or '\\', empty ones kept (so that callers can refuse them).
#pragma once
#include <string>
#include <vector>

inline std::vector<std::string> NameComponents(const std::string& name)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : name) {
        if (c == '/' || c == '\\') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}
