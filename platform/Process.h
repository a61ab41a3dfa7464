// Limits of the running process that the engine adjusts.
#pragma once

namespace fsys {

// Raises the number of files the process may hold open to the most it is allowed: an
// apply holds a folder handle open for every folder it writes into.
void RaiseOpenFileLimit();

} // namespace fsys
