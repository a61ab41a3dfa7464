#include "platform/FilesInUse.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>

bool IsOpenForWriting(CFileRef handle)
{
    const int fd = handle.Native();
    // A program that opens the file for writing while the lease is held breaks it, and
    // the lease holder is sent SIGIO, which ends a process that does not handle it: the
    // signal is ignored unless something else wants it.
    static const bool ready = [] {
        struct sigaction now = {};
        if (sigaction(SIGIO, nullptr, &now) == 0 && now.sa_handler == SIG_DFL)
            std::signal(SIGIO, SIG_IGN);
        return true;
    }();
    (void)ready;
    if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    return errno == EAGAIN;
}
