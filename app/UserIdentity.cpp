#include "app/UserIdentity.h"

#include "platform/UserAccount.h"

std::string FullNameFromGecos(const std::string& gecos, const std::string& login)
{
    std::string name = gecos.substr(0, gecos.find(','));
    return name.empty() ? login : name;
}

std::string AccountFullName()
{
    std::string gecos, login;
    if (!fsys::AccountNames(gecos, login))
        return "";
    return FullNameFromGecos(gecos, login);
}
