#include "app/StringHelpers.h"

#include <algorithm>
#include <cctype>

std::string SetExtension(const std::string& path, const std::string& ext)
{
    // Only a '.' in the last component counts: a dotted folder name must not move the
    // file into another folder (/home/a.b/update -> /home/a.b/update.ext).
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + "." + ext;
    return path.substr(0, dot + 1) + ext;
}

std::string LastComponent(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasForbiddenNameChar(const std::string& name)
{
    return name.find_first_of("?\"<>*|\\") != std::string::npos;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (suffix.size() > text.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string ToStoredName(const std::string& nativeName)
{
    std::string s = nativeName;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

std::string FromStoredName(const std::string& storedName)
{
    std::string s = storedName;
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string Printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7f) {
            out += c;
            continue;
        }
        const char digits[] = "0123456789abcdef";
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
