// Texts between the program's UTF-8 strings and the UTF-16 of the Windows interfaces.
// Names and texts stored in a patch are UTF-8 when they were made on Linux; a text that
// is not valid UTF-8 was written on a system with a single-byte code page and is read in
// the system code page.
#pragma once
#include <string>

std::wstring Widen(const std::string& text);
// UTF-8 of a UTF-16 text (unpaired surrogates become U+FFFD).
std::string Narrow(const std::wstring& text);
// The text with every line break as "\r\n", as edit controls show them.
std::wstring WithCrLf(const std::wstring& text);
