#include "platform/UserAccount.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace fsys {

bool AccountNames(std::string& description, std::string& login)
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    description = found->pw_gecos ? found->pw_gecos : "";
    login = found->pw_name ? found->pw_name : "";
    return true;
}

} // namespace fsys
