// On Windows a file open for writing elsewhere is told by asking for it once more while
// sharing it with readers only: the system refuses that exactly while some other
// handle may write to it.
#include "platform/FilesInUse.h"

#include "platform/windows/NtFiles.h"

bool IsOpenForWriting(CFileRef file)
{
    HANDLE again = ReOpenFile(winfs::ToHandle(file), GENERIC_READ, FILE_SHARE_READ, 0);
    if (again != INVALID_HANDLE_VALUE) {
        CloseHandle(again);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}
