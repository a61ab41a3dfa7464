#include "platform/OpenFiles.h"

#include <unistd.h>

namespace fsys {

bool CloseFile(int file)
{
    return close(file) == 0;
}

bool FlushFile(int file)
{
    return fsync(file) == 0;
}

} // namespace fsys
