#include "platform/Process.h"

namespace fsys {

// Windows sets no limit on the number of handles a process holds open.
void RaiseOpenFileLimit() {}

} // namespace fsys
