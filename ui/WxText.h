// Texts between the engine (std::string, UTF-8 where it is valid) and the windows.
#pragma once
#include <wx/string.h>

#include <string>

// Bytes that are not valid UTF-8 (names in an older single-byte code page) are shown
// as Latin-1 rather than lost.
inline wxString ToWx(const std::string& text)
{
    wxString s = wxString::FromUTF8(text.data(), text.size());
    if (s.empty() && !text.empty())
        s = wxString(text.data(), wxConvISO8859_1, text.size());
    return s;
}

inline std::string FromWx(const wxString& text)
{
    return std::string(text.utf8_str());
}
