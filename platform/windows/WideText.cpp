#include "platform/windows/WideText.h"

#include <windows.h>

namespace {

std::wstring Convert(UINT codePage, DWORD flags, const std::string& text)
{
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed);
    return wide;
}

// The code page of the system's locale for programs without Unicode. The program runs
// with UTF-8 as its own code page (its manifest says so), so CP_ACP would be UTF-8 again.
UINT SystemCodePage()
{
    static const UINT codePage = [] {
        DWORD value = 0;
        if (GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                            reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t)) == 0 ||
            value == 0 || value == CP_UTF8)
            return UINT{1252};
        return static_cast<UINT>(value);
    }();
    return codePage;
}

} // namespace

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    std::wstring wide = Convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    return wide.empty() ? Convert(SystemCodePage(), 0, text) : wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

std::wstring WithCrLf(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            out += L'\r';
        out += text[i];
    }
    return out;
}
