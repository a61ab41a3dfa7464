// Whether another program has a file open for writing: a file replaced under such a
// program loses what it writes afterwards (its writes go to the old file, which the
// rename takes away).
#pragma once
#include "platform/FileHandle.h"


// True when the file open (for reading only) is open for writing elsewhere, as
// far as the system can tell: a read lease is refused exactly while some descriptor
// has the file open for writing. Where leases cannot be taken (a file system without
// them, a file of another owner without the right to lease it) false.
bool IsOpenForWriting(CFileRef file);
