// The Windows side of the platform layer's file access: the system's handles inside the
// engine's file references, paths in the long "\\?\" form, the system's errors told as
// the error numbers the engine tests, and opens, renames and links beneath a folder's
// handle (the native file interface with a root folder handle), one name at a time,
// never through a reparse point (a link or junction).
#pragma once
#include "platform/EntryStatus.h"
#include "platform/FileHandle.h"

#include <functional>
#include <string>

#include <windows.h>
// The engine's fsys::DeleteFile, not the system's macro.
#undef DeleteFile

namespace winfs {

// Every handle is opened to share reading, writing and deleting, so that an open file
// can be renamed or replaced as on the other systems.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Handle values fit in 32 bits (the system keeps them so for 32-bit processes).
inline HANDLE ToHandle(CFileRef file)
{
    return file.Valid() ? reinterpret_cast<HANDLE>(static_cast<intptr_t>(file.Native())) : INVALID_HANDLE_VALUE;
}
inline CFileRef FromHandle(HANDLE h)
{
    return h == INVALID_HANDLE_VALUE || h == nullptr ? CFileRef()
                                                     : CFileRef(static_cast<int>(reinterpret_cast<intptr_t>(h)));
}

// The full path in its long form ("\\?\C:\a\b", "\\?\UNC\server\share\a"): no length
// limit and no reinterpretation of the names in it. '/' and '\' both separate names.
std::wstring LongPath(const std::string& path);
// A system path as the engine writes paths: UTF-8 with '/' between the names, without
// the long form's prefix.
std::string EnginePath(const std::wstring& path);

// Sets errno from a system error (GetLastError) or a native status; returns false.
bool FailWith(DWORD error);
bool FailWithStatus(LONG status);

// What one handle is: its attributes, its volume and its number on it.
bool HandleInfo(HANDLE h, BY_HANDLE_FILE_INFORMATION& info);
inline bool IsReparsePoint(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// What the open handle is (a reparse point is told as a link), its length and numbers.
bool StatusOf(HANDLE h, CEntryStatus& st);

// How OpenBeneath treats a reparse point at the last name.
enum class AtLink { Refuse, Open };

// Opens the relative name (names separated by '/') beneath root with the native
// disposition and options. The folders on the way are opened one at a time and any
// reparse point among them is refused (errno ELOOP), as is "." or ".." (EXDEV).
// INVALID_HANDLE_VALUE, with errno set, when it cannot be opened.
HANDLE OpenBeneath(HANDLE root, const std::string& relative, ACCESS_MASK access, ULONG disposition,
                   ULONG options, AtLink atLink = AtLink::Refuse);

// Gives the entry "from" of the folder a new name "to" in the same folder (the file's
// rename information with the folder as root), replacing what is there when replace.
bool RenameBeneath(HANDLE folder, const std::string& from, const std::string& to, bool replace);
// Gives the entry a second name in the same folder; never replaces.
bool LinkBeneath(HANDLE folder, const std::string& from, const std::string& to);

// Runs attempt (which sets errno when it fails); when it is refused (EACCES) because the
// entry name of the folder is read-only, runs it again with that attribute cleared: an
// apply deletes and replaces entries whatever their read-only attribute says, as the
// other systems ignore a file's own permissions for these. The attribute comes back when
// the second attempt fails too.
bool IgnoringReadOnly(HANDLE folder, const std::string& name, const std::function<bool()>& attempt);

// A second handle of an open file with other access rights.
HANDLE Reopen(HANDLE h, DWORD access);

} // namespace winfs
