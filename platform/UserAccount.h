// The account the program runs under, as the system's user list describes it.
#pragma once
#include <string>

namespace fsys {

// The account's descriptive field (full name, then comma-separated details) and its
// login name; false when the system has no entry for the account.
bool AccountNames(std::string& description, std::string& login);

} // namespace fsys
