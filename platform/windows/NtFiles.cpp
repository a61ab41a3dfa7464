#include "platform/windows/NtFiles.h"

#include "platform/FolderHandle.h"
#include "platform/windows/WideText.h"

#include <cerrno>
#include <vector>

#include <winternl.h>

namespace winfs {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// The native functions, found in the running system's ntdll when first needed: the
// program's import list names only the documented system libraries.
struct CNative {
    NtCreateFileFn createFile = nullptr;
    NtSetInformationFileFn setInformation = nullptr;
    RtlNtStatusToDosErrorFn toDosError = nullptr;

    CNative()
    {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll)
            return;
        createFile = reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
        setInformation = reinterpret_cast<NtSetInformationFileFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
        toDosError = reinterpret_cast<RtlNtStatusToDosErrorFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    }
};

const CNative& Native()
{
    static const CNative native;
    return native;
}

// The rename information class with flags (Windows 10 1709 on), which replaces a file
// that another program holds open, as the other systems do.
constexpr ULONG kFileRenameInformationEx = 65;
constexpr ULONG kRenameReplaceIfExists = 0x1;
constexpr ULONG kRenamePosixSemantics = 0x2;
// Replaces a read-only file as any other (Windows 10 1809 on).
constexpr ULONG kRenameIgnoreReadOnly = 0x40;

struct CRenameInformationEx {
    ULONG flags;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE: return ENOENT;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return EINVAL;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER: return ENOSYS;
    default: return EIO;
    }
}

std::wstring WideName(const std::string& name)
{
    std::wstring wide = Widen(name);
    for (wchar_t& c : wide)
        if (c == L'/')
            c = L'\\';
    return wide;
}

// Opens one name of the folder root with the native call.
HANDLE OpenOne(HANDLE root, const std::string& name, ACCESS_MASK access, ULONG disposition, ULONG options)
{
    if (!Native().createFile) {
        FailWith(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (name == "." || name == "..") {
        errno = EXDEV;
        return INVALID_HANDLE_VALUE;
    }
    std::wstring wide = WideName(name);
    UNICODE_STRING text;
    text.Buffer = wide.data();
    text.Length = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = INVALID_HANDLE_VALUE;
    const NTSTATUS status =
        Native().createFile(&h, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, kShareAll,
                            disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT |
                                             FILE_OPEN_FOR_BACKUP_INTENT,
                            nullptr, 0);
    if (status < 0) {
        FailWithStatus(status);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// Refuses (closes) a handle that stands on a reparse point.
HANDLE NoReparsePoint(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (h != INVALID_HANDLE_VALUE && HandleInfo(h, info) && IsReparsePoint(info)) {
        CloseHandle(h);
        errno = ELOOP;
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// Sets the rename or link information naming "to" in folder on the open file.
bool SetNameInformation(HANDLE file, HANDLE folder, const std::string& to, ULONG infoClass, ULONG flags)
{
    if (!Native().setInformation)
        return FailWith(ERROR_NOT_SUPPORTED);
    const std::wstring wide = WideName(to);
    const ULONG nameBytes = static_cast<ULONG>(wide.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(sizeof(CRenameInformationEx) + nameBytes);
    auto* info = reinterpret_cast<CRenameInformationEx*>(buffer.data());
    // The classic layouts begin with a BOOLEAN where the one with flags has ULONG flags:
    // on a little-endian machine the low byte is the same field.
    info->flags = flags;
    info->rootDirectory = folder;
    info->fileNameLength = nameBytes;
    std::copy(wide.begin(), wide.end(), info->fileName);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = Native().setInformation(file, &io, info, static_cast<ULONG>(buffer.size()),
                                                    static_cast<FILE_INFORMATION_CLASS>(infoClass));
    return status >= 0 || FailWithStatus(status);
}

} // namespace

std::wstring LongPath(const std::string& path)
{
    std::wstring wide = WideName(path);
    // "C:" alone is the current folder of drive C, never meant here: it is the drive's root.
    if (wide.size() == 2 && wide[1] == L':')
        wide += L'\\';
    if (wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    full.resize(got < needed ? got : 0);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string EnginePath(const std::wstring& path)
{
    std::wstring p = path;
    if (p.rfind(L"\\\\?\\UNC\\", 0) == 0)
        p = L"\\\\" + p.substr(8);
    else if (p.rfind(L"\\\\?\\", 0) == 0)
        p = p.substr(4);
    std::string narrow = Narrow(p);
    for (char& c : narrow)
        if (c == '\\')
            c = '/';
    return narrow;
}

bool FailWith(DWORD error)
{
    errno = ErrnoOf(error);
    SetLastError(error);
    return false;
}

bool FailWithStatus(LONG status)
{
    return FailWith(Native().toDosError ? Native().toDosError(status) : ERROR_GEN_FAILURE);
}

bool HandleInfo(HANDLE h, BY_HANDLE_FILE_INFORMATION& info)
{
    return GetFileInformationByHandle(h, &info) != 0 || FailWith(GetLastError());
}

bool StatusOf(HANDLE h, CEntryStatus& st)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!HandleInfo(h, info))
        return false;
    st.kind = IsReparsePoint(info)                                   ? CEntryStatus::Kind::Link
              : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CEntryStatus::Kind::Folder
              : GetFileType(h) == FILE_TYPE_DISK                     ? CEntryStatus::Kind::File
                                                                     : CEntryStatus::Kind::Other;
    st.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    st.device = info.dwVolumeSerialNumber;
    st.fileId = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

HANDLE OpenBeneath(HANDLE root, const std::string& relative, ACCESS_MASK access, ULONG disposition, ULONG options,
                   AtLink atLink)
{
    const std::vector<std::string> parts = RelativeNameComponents(relative, "/\\");
    if (parts.empty()) {
        errno = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE current = root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        HANDLE next = NoReparsePoint(OpenOne(current, parts[i], FILE_TRAVERSE | FILE_LIST_DIRECTORY |
                                                                    FILE_READ_ATTRIBUTES,
                                             FILE_OPEN, FILE_DIRECTORY_FILE));
        const int saved = errno;
        if (current != root)
            CloseHandle(current);
        if (next == INVALID_HANDLE_VALUE) {
            errno = saved;
            return INVALID_HANDLE_VALUE;
        }
        current = next;
    }
    HANDLE h = OpenOne(current, parts.back(), access | FILE_READ_ATTRIBUTES, disposition, options);
    const int saved = errno;
    if (current != root)
        CloseHandle(current);
    errno = saved;
    return atLink == AtLink::Refuse ? NoReparsePoint(h) : h;
}

bool RenameBeneath(HANDLE folder, const std::string& from, const std::string& to, bool replace)
{
    HANDLE file = OpenOne(folder, from, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const auto rename = [&] {
        bool ok = SetNameInformation(file, folder, to, kFileRenameInformationEx,
                                     replace ? kRenameReplaceIfExists | kRenameIgnoreReadOnly | kRenamePosixSemantics
                                             : kRenamePosixSemantics);
        // Systems before Windows 10 1709 (and Wine) know only the classic rename, which
        // refuses to replace a read-only file.
        if (!ok && errno == ENOSYS)
            ok = SetNameInformation(file, folder, to, FileRenameInformation, replace ? 1 : 0);
        return ok;
    };
    const bool ok = replace ? IgnoringReadOnly(folder, to, rename) : rename();
    const int saved = errno;
    CloseHandle(file);
    errno = saved;
    return ok;
}

bool LinkBeneath(HANDLE folder, const std::string& from, const std::string& to)
{
    HANDLE file = OpenOne(folder, from, FILE_READ_ATTRIBUTES, FILE_OPEN, 0);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetNameInformation(file, folder, to, FileLinkInformation, 0);
    const int saved = errno;
    CloseHandle(file);
    errno = saved;
    return ok;
}

namespace {

// The attributes of the entry name of the folder (never followed through a link), read
// and, where set is not null, changed to *set; false when it cannot be opened.
bool EntryAttributes(HANDLE folder, const std::string& name, DWORD& attributes, const DWORD* set)
{
    HANDLE entry = OpenBeneath(folder, name, FILE_WRITE_ATTRIBUTES, FILE_OPEN, 0, AtLink::Open);
    if (entry == INVALID_HANDLE_VALUE)
        return false;
    FILE_BASIC_INFO basic{};
    bool ok = GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic) != 0;
    attributes = basic.FileAttributes;
    if (ok && set) {
        // Times of 0 are left as they are.
        FILE_BASIC_INFO changed{};
        changed.FileAttributes = *set ? *set : FILE_ATTRIBUTE_NORMAL;
        ok = SetFileInformationByHandle(entry, FileBasicInfo, &changed, sizeof changed) != 0;
    }
    CloseHandle(entry);
    return ok;
}

} // namespace

bool IgnoringReadOnly(HANDLE folder, const std::string& name, const std::function<bool()>& attempt)
{
    if (attempt())
        return true;
    if (errno != EACCES)
        return false;
    DWORD attributes = 0;
    if (!EntryAttributes(folder, name, attributes, nullptr) || !(attributes & FILE_ATTRIBUTE_READONLY)) {
        errno = EACCES;
        return false;
    }
    // The entry is closed again before the second attempt: the classic rename does not
    // replace a file that is open.
    const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
    DWORD ignored = 0;
    if (!EntryAttributes(folder, name, ignored, &cleared)) {
        errno = EACCES;
        return false;
    }
    if (attempt())
        return true;
    const int saved = errno;
    EntryAttributes(folder, name, ignored, &attributes);
    errno = saved;
    return false;
}

HANDLE Reopen(HANDLE h, DWORD access)
{
    HANDLE again = ReOpenFile(h, access, kShareAll, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (again == INVALID_HANDLE_VALUE)
        FailWith(GetLastError());
    return again;
}

} // namespace winfs
