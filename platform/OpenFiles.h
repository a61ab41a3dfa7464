// Operations on a file the engine holds open by its descriptor.
#pragma once

namespace fsys {

// Closes the file; false when the system reported an error (written data may be lost).
bool CloseFile(int file);
// Makes the file's data and length durable on its disk.
bool FlushFile(int file);

} // namespace fsys
