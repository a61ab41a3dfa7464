// Why the last call of the platform layer failed, in the kinds the engine acts on, so
// that the engine asks no system's own error numbers. Each system's implementation
// leaves its failure where this reads it.
#pragma once
#include <string>

enum class SystemError {
    None,
    NotFound,     // nothing at the name, or a folder on the way missing
    Exists,       // something is at the name already
    NameTooLong,  // a name or path longer than the file system holds
    NotRegular,   // the entry is no regular file (a folder, a pipe, a device)
    LinkOut,      // a link on the way was refused: it could lead out of the folder
    AccessDenied, // the user may not do it
    NoSpace,      // the disk is full
    Other,
};

// The kind of the calling thread's last failure.
SystemError LastSystemError();
// The system's own words for it, for messages.
std::string LastSystemErrorText();
