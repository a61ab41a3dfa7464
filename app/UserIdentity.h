// Who is using the program: the name a build writes into the patch header as its
// publisher and the errors list shows as the contact line.
#pragma once
#include <string>

// The full name of the account from the password database: the comment field up to its
// first comma, or the login name when that is empty. "" when the account is unknown.
std::string AccountFullName();
// The same rule for one password-database comment field and login name.
std::string FullNameFromGecos(const std::string& gecos, const std::string& login);
