// Files and folders by path on Windows. Paths are the engine's: UTF-8 with '/' between
// the names ("C:/Users/x"); every call takes them in the long form, so no length limit
// applies. The private temporary folder lies in the user's temporary folder; the
// handle of its ".held" file, shared with nobody, tells a live run's folder from an
// abandoned one.
#include "platform/FileSystem.h"

#include "platform/Interrupts.h"
#include "platform/OpenFiles.h"
#include "platform/windows/NtFiles.h"
#include "platform/windows/WideText.h"

#include <cstdlib>
#include <random>

using winfs::LongPath;

namespace fsys {

namespace {

bool Attributes(const std::string& path, DWORD& attributes)
{
    attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES || winfs::FailWith(GetLastError());
}

// The kind of a listed entry; false for what a walk leaves out (a reparse point that is
// neither a plain file link nor anything else than a folder link or junction).
bool ListedKind(const WIN32_FIND_DATAW& found, DirEntry& e)
{
    const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return false; // links and junctions are not walked
    e.isFolder = folder;
    e.isFile = !folder;
    return true;
}

} // namespace

bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries)
{
    entries.clear();
    std::wstring pattern = LongPath(folder.empty() ? std::string(".") : folder);
    if (pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return winfs::FailWith(GetLastError());
    do {
        DirEntry e;
        e.name = Narrow(found.cFileName);
        if (e.name == "." || e.name == "..") {
            e.isFolder = true;
            entries.push_back(e);
            continue;
        }
        e.hidden = !e.name.empty() && e.name[0] == '.';
        if (ListedKind(found, e))
            entries.push_back(e);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return true;
}

bool FileExists(const std::string& path)
{
    DWORD a;
    return Attributes(path, a) && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    DWORD a;
    return !path.empty() && Attributes(path, a) && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path)
{
    DWORD a;
    return Attributes(path, a);
}

bool CreateFolder(const std::string& path)
{
    return !path.empty() && (CreateDirectoryW(LongPath(path).c_str(), nullptr) || winfs::FailWith(GetLastError()));
}

bool CreateFolders(const std::string& folder)
{
    if (folder.empty() || FolderExists(folder))
        return true;
    const std::string parent = FolderOf(folder);
    if (parent != folder && !CreateFolders(parent))
        return false;
    return CreateFolder(folder) || FolderExists(folder);
}

bool DeleteFile(const std::string& path)
{
    DWORD a;
    if (!Attributes(path, a) || (a & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return DeleteFileW(LongPath(path).c_str()) || winfs::FailWith(GetLastError());
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) ||
           winfs::FailWith(GetLastError());
}

bool FileLength(const std::string& path, uint64_t& length)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    length = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& data)
{
    data.clear();
    const CFileRef file = OpenFileForReading(path);
    if (!file.Valid())
        return false;
    LARGE_INTEGER length{};
    bool whole = GetFileType(winfs::ToHandle(file)) == FILE_TYPE_DISK && GetFileSizeEx(winfs::ToHandle(file), &length);
    if (whole) {
        data.resize(static_cast<size_t>(length.QuadPart));
        whole = ReadAt(file, data.data(), data.size(), 0);
    }
    CloseHandle(winfs::ToHandle(file));
    if (!whole)
        data.clear();
    return whole;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    HANDLE h = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, winfs::kShareAll, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return winfs::FailWith(GetLastError());
    const bool written = size == 0 || WriteAllAt(winfs::FromHandle(h), data, size, 0);
    return CloseHandle(h) && written;
}

bool AppendToFile(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(LongPath(path).c_str(), FILE_APPEND_DATA, winfs::kShareAll, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return winfs::FailWith(GetLastError());
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return true;
}

std::string FolderOf(const std::string& path)
{
    size_t p = path.find_last_of("/\\");
    if (p == std::string::npos)
        return "";
    if (p == 0)
        return "/";
    // The folder of a file in a drive's root is the root itself, "C:/".
    if (p == 2 && path[1] == ':')
        return path.substr(0, 3);
    return path.substr(0, p);
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + "/" + name;
}

std::string WithoutTrailingSlash(const std::string& path)
{
    std::string p = path;
    // A drive's root keeps its slash: "C:" alone names the current folder on that drive.
    while (p.size() > 1 && (p.back() == '/' || p.back() == '\\') && !(p.size() == 3 && p[1] == ':'))
        p.pop_back();
    return p;
}

std::string AbsolutePath(const std::string& path)
{
    return WithoutTrailingSlash(winfs::EnginePath(LongPath(path)));
}

std::string ProgramPath()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return "";
    path.resize(length);
    return winfs::EnginePath(path);
}

std::string ProgramFolder()
{
    return FolderOf(ProgramPath());
}

namespace {

std::string g_tempFolder;
HANDLE g_held = INVALID_HANDLE_VALUE;
constexpr const char* kTempPrefix = "delvorin-";
constexpr const char* kHeldMark = ".held";

void RemoveEntry(const std::wstring& path, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(path.c_str());
    else
        DeleteFileW(path.c_str());
}

// Empties and removes the folder; a link or junction in it is removed as the link it
// is, never followed.
void RemoveFolderTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, 0);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = folder + L"\\" + name;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolderTree(full);
            else
                RemoveEntry(full, found.dwFileAttributes);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string RandomName()
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    std::string name = kTempPrefix;
    for (int i = 0; i < 6; ++i)
        name += kLetters[pick(random)];
    return name;
}

} // namespace

bool RemoveTree(const std::string& path)
{
    if (path.empty() || path == "/" || (path.size() <= 3 && path.size() >= 2 && path[1] == ':'))
        return false;
    std::wstring full = LongPath(path);
    while (!full.empty() && full.back() == L'\\')
        full.pop_back();
    const DWORD a = GetFileAttributesW(full.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
        if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveFolderTree(full);
        else
            RemoveEntry(full, a);
    }
    return !PathExists(path);
}

void RemoveAbandonedTempFolders(const std::string& base)
{
    std::vector<DirEntry> entries;
    if (!ListFolder(base, entries))
        return;
    const std::string prefix = kTempPrefix;
    for (const DirEntry& e : entries) {
        if (!e.isFolder || e.name.size() != prefix.size() + 6 || e.name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string folder = Join(base, e.name);
        // A live run holds its mark open, shared with nobody: it cannot be deleted.
        if (FileExists(Join(folder, kHeldMark)) && DeleteFileW(LongPath(Join(folder, kHeldMark)).c_str()))
            RemoveTree(folder);
    }
}

const std::string& PrivateTempFolder()
{
    if (g_tempFolder.empty()) {
        wchar_t temp[MAX_PATH + 2];
        const DWORD length = GetTempPathW(MAX_PATH + 2, temp);
        const std::string base = WithoutTrailingSlash(
            length > 0 && length <= MAX_PATH + 1 ? winfs::EnginePath(std::wstring(temp, length)) : std::string("C:/Temp"));
        for (int attempt = 0; attempt < 100 && g_tempFolder.empty(); ++attempt) {
            const std::string folder = Join(base, RandomName());
            if (!CreateDirectoryW(LongPath(folder).c_str(), nullptr))
                continue;
            g_tempFolder = folder + "/";
            SetSignalTempFolder(folder);
            std::atexit(RemovePrivateTempFolder);
            g_held = CreateFileW(LongPath(g_tempFolder + kHeldMark).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            // Folders of earlier runs that ended without removing theirs (killed) go now.
            RemoveAbandonedTempFolders(base);
        }
    }
    return g_tempFolder;
}

void RemovePrivateTempFolder()
{
    if (g_held != INVALID_HANDLE_VALUE) {
        CloseHandle(g_held);
        g_held = INVALID_HANDLE_VALUE;
    }
    if (!g_tempFolder.empty()) {
        SetSignalTempFolder("");
        RemoveTree(WithoutTrailingSlash(g_tempFolder));
        g_tempFolder.clear();
    }
}

} // namespace fsys
