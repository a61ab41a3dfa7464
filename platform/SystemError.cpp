// Both platform layers leave their failures in errno (the Windows one translates the
// system's errors into the same numbers), so one reading serves both.
#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

SystemError LastSystemError()
{
    switch (errno) {
    case 0: return SystemError::None;
    case ENOENT: return SystemError::NotFound;
    case EEXIST: return SystemError::Exists;
    case ENAMETOOLONG: return SystemError::NameTooLong;
    case ENODEV: return SystemError::NotRegular;
    case EXDEV:
    case ELOOP: return SystemError::LinkOut;
    case EACCES:
    case EPERM: return SystemError::AccessDenied;
    case ENOSPC: return SystemError::NoSpace;
    default: return SystemError::Other;
    }
}

std::string LastSystemErrorText()
{
    return std::strerror(errno);
}
