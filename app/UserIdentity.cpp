#include "app/UserIdentity.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

std::string FullNameFromGecos(const std::string& gecos, const std::string& login)
{
    std::string name = gecos.substr(0, gecos.find(','));
    return name.empty() ? login : name;
}

std::string AccountFullName()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return "";
    return FullNameFromGecos(found->pw_gecos ? found->pw_gecos : "", found->pw_name ? found->pw_name : "");
}
