#include "engine/apply/FilesInUse.h"

#include <cerrno>
#include <fcntl.h>

bool IsOpenForWriting(int fd)
{
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN;
}
