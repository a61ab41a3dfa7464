#include "platform/UserAccount.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace fsys {

// The account's login name; Windows keeps no descriptive field a program reads simply.
bool AccountNames(std::string& description, std::string& login)
{
    wchar_t name[257];
    DWORD length = 257;
    if (!GetUserNameW(name, &length) || length == 0)
        return false;
    login = Narrow(std::wstring(name, length - 1));
    description.clear();
    return true;
}

} // namespace fsys
