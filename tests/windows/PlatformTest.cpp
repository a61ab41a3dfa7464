// The Windows platform layer checked call by call against the system (run under Wine by
// tests/windows/platform_test.sh): each check goes through the functions the engine calls
// and looks at the result with the plain Windows interfaces. Prints "FAIL: <what>" for
// each failed check and ends with 1; with 0 and "platform checks passed" when all hold.
//   PlatformTest.exe WORK_FOLDER   (an empty folder the checks may fill)
#include "platform/FileTimes.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/OpenFiles.h"
#include "platform/SystemError.h"
#include "platform/windows/NtFiles.h"
#include "platform/windows/WideText.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

#define CHECK(condition, what)                                                                                         \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::printf("FAIL: %s\n", std::string(what).c_str());                                                      \
            ++g_failures;                                                                                              \
        }                                                                                                              \
    } while (0)

std::string g_work; // the work folder, as the engine writes paths

// Makes a file of the folder as an apply does: staged under a unique name, written,
// flushed and renamed to its name.
bool PutFile(const CFolderHandle& folder, const std::string& name, const std::string& content)
{
    std::string staged;
    CFileRef file = folder.CreateUnique(".dvs", staged);
    if (!file.Valid())
        return false;
    const bool written = fsys::WriteAllAt(file, content.data(), content.size(), 0) && fsys::FlushFile(file);
    return fsys::CloseFile(file) && written && folder.Rename(staged, name);
}

// The content of the file at the relative name, read through the folder; "<none>" when
// it cannot be opened.
std::string ContentOf(const CFolderHandle& folder, const std::string& relative)
{
    CFileRef file = folder.OpenForReading(relative);
    if (!file.Valid())
        return "<none>";
    std::string content(4096, '\0');
    const int64_t got = fsys::ReadSomeAt(file, content.data(), content.size(), 0);
    fsys::CloseFile(file);
    content.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return content;
}

// The names of the work folder's subfolder exactly as the system lists them.
std::vector<std::wstring> SystemNames(const std::string& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((winfs::LongPath(folder) + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

bool Contains(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (const std::wstring& n : names)
        if (n == name)
            return true;
    return false;
}

// Names in the patch's UTF-8, and one written on a system with a single-byte code page
// (not valid UTF-8, read in the system's code page, 1252 under Wine's English locale),
// make files with the UTF-16 names they stand for.
void CheckNames(const CFolderHandle& top)
{
    struct {
        std::string name;
        std::wstring expected;
    } const rows[] = {
        {"Gr\xC3\xB6\xC3\x9F" "e-\xCE\x9D\xCE\xAD\xCE\xB1.txt", L"Gr\u00F6\u00DFe-\u039D\u03AD\u03B1.txt"},
        {"Ma\xDF-\xE9t\xE9.txt", L"Ma\u00DF-\u00E9t\u00E9.txt"},
    };
    std::string failedAt;
    CFolderHandle folder = top.MakeFolders("names", failedAt);
    CHECK(folder.Valid(), "the folder for the names is made");
    for (const auto& row : rows) {
        CHECK(PutFile(folder, row.name, "named"), "a file is made under the name " + Narrow(row.expected));
        CHECK(Contains(SystemNames(g_work + "/names"), row.expected),
              "the system lists the file as " + Narrow(row.expected));
        CHECK(ContentOf(folder, row.name) == "named", "the file named " + Narrow(row.expected) + " is read back");
    }
}

// A path far beyond the old 260-character limit: made, written, read, renamed and removed
// both through a folder handle and by full paths.
void CheckLongPath(const CFolderHandle& top)
{
    std::string relative = "long";
    for (int i = 0; i < 6; ++i)
        relative += "/a-folder-name-of-fifty-letters-to-pass-the-limit-" + std::to_string(i);
    CHECK((g_work + "/" + relative).size() > 300, "the long path is longer than 300 characters");
    std::string failedAt;
    CFolderHandle deep = top.MakeFolders(relative, failedAt);
    CHECK(deep.Valid(), "the long path's folders are made (failed at " + failedAt + ")");
    CHECK(PutFile(deep, "deep.txt", "deep"), "a file is made at the end of the long path");
    CHECK(ContentOf(top, relative + "/deep.txt") == "deep", "the file at the long path is read through the top");
    CHECK(deep.Rename("deep.txt", "renamed.txt"), "the file at the long path is renamed");
    CHECK(deep.Remove("renamed.txt"), "the file at the long path is removed");
    CEntryStatus st;
    CHECK(!deep.Status("renamed.txt", st) && !deep.Status("deep.txt", st), "nothing is left at the long path");

    const std::string path = g_work + "/" + relative + "/by-path.txt";
    std::vector<unsigned char> data;
    CHECK(fsys::WriteWholeFile(path, "by path", 7), "a file is written by its long path");
    CHECK(fsys::ReadWholeFile(path, data) && std::string(data.begin(), data.end()) == "by path",
          "the file is read by its long path");
    CHECK(fsys::RenameFile(path, path + ".moved") && fsys::FileExists(path + ".moved") && !fsys::PathExists(path),
          "the file is renamed by its long path");
    CHECK(fsys::DeleteFile(path + ".moved") && !fsys::PathExists(path + ".moved"),
          "the file is deleted by its long path");
}

// Nothing outside the folder is reached through it, and names never pass through a file.
void CheckBeneath(const CFolderHandle& top, const std::string& outside)
{
    std::string failedAt;
    CFolderHandle a = top.MakeFolders("beneath/a", failedAt);
    CFolderHandle beneath = top.Folder("beneath");
    CHECK(a.Valid() && beneath.Valid(), "the folders for the names beneath are made");
    CHECK(PutFile(beneath, "x", "inside") && PutFile(beneath, "file", "a file"), "the files beneath are made");
    std::string outsideSlashed = outside;
    for (char& c : outsideSlashed)
        if (c == '\\')
            c = '/';
    const std::string refused[] = {
        "a/../../x", "../x", "..", "a/./../x", outside, outsideSlashed, "file/x",
    };
    for (const std::string& name : refused) {
        CFileRef file = beneath.OpenForReading(name);
        CHECK(!file.Valid(), "\"" + name + "\" is refused beneath the folder");
        if (file.Valid())
            fsys::CloseFile(file);
    }
    CHECK(!beneath.Folder("file").Valid(), "a file is not opened as a folder");

    // Rename: replaces when asked to, refuses a name in use otherwise.
    CHECK(PutFile(beneath, "old", "old") && PutFile(beneath, "new", "new"), "the files to rename are made");
    CHECK(!beneath.RenameNoReplace("new", "old") && LastSystemError() == SystemError::Exists,
          "a rename without replacing refuses a name in use (as Exists)");
    CHECK(ContentOf(beneath, "old") == "old" && ContentOf(beneath, "new") == "new",
          "the refused rename changed nothing");
    CHECK(beneath.Rename("new", "old"), "a rename replaces the file at the name");
    CEntryStatus st;
    CHECK(ContentOf(beneath, "old") == "new" && !beneath.Status("new", st), "the replaced file has the new content");
    CHECK(beneath.RenameNoReplace("old", "free") && ContentOf(beneath, "free") == "new",
          "a rename without replacing takes a free name");

    // Link: a second name of the same file, never over a name in use.
    CHECK(beneath.Link("free", "second"), "a second name is given to a file");
    CEntryStatus first, second;
    CHECK(beneath.Status("free", first) && beneath.Status("second", second) && first.fileId == second.fileId &&
              ContentOf(beneath, "second") == "new",
          "both names lead to the same file");
    CHECK(!beneath.Link("free", "x") && LastSystemError() == SystemError::Exists && ContentOf(beneath, "x") == "inside",
          "a link refuses a name in use");
}

// Reparse points (links, junctions) are told by their attribute; Wine makes none, so the
// decision is checked on the information itself, and the walk lists plain entries.
void CheckReparsePoints(const CFolderHandle& top)
{
    struct {
        DWORD attributes;
        bool reparse;
    } const rows[] = {
        {FILE_ATTRIBUTE_NORMAL, false},
        {FILE_ATTRIBUTE_DIRECTORY, false},
        {FILE_ATTRIBUTE_REPARSE_POINT, true},
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, false},
    };
    for (const auto& row : rows) {
        BY_HANDLE_FILE_INFORMATION info{};
        info.dwFileAttributes = row.attributes;
        CHECK(winfs::IsReparsePoint(info) == row.reparse,
              "attributes " + std::to_string(row.attributes) + " tell a reparse point: " + (row.reparse ? "yes" : "no"));
    }

    std::string failedAt;
    CFolderHandle walk = top.MakeFolders("walk/sub", failedAt);
    CFolderHandle folder = top.Folder("walk");
    CHECK(walk.Valid() && folder.Valid() && PutFile(folder, "file.txt", "f"), "the folder to walk is made");
    std::vector<fsys::DirEntry> entries;
    CHECK(fsys::ListFolder(g_work + "/walk", entries), "the folder is listed");
    int files = 0, folders = 0;
    for (const fsys::DirEntry& e : entries) {
        files += e.name == "file.txt" && e.isFile && !e.isFolder;
        folders += e.name == "sub" && e.isFolder && !e.isFile;
    }
    CHECK(files == 1 && folders == 1, "the walk lists the file as a file and the folder as a folder");
    std::vector<std::string> names;
    CHECK(folder.ListNames(names), "the folder handle lists its names");
    int plain = 0;
    for (const std::string& name : names)
        plain += name == "file.txt" || name == "sub";
    CHECK(plain == 2, "the folder handle lists the file and the folder");
    CEntryStatus st;
    CHECK(folder.Status("file.txt", st) && st.IsFile() && !st.IsLink(), "a plain file is no link");
    CHECK(folder.Status("sub", st) && st.IsFolder() && !st.IsLink(), "a plain folder is no link");
}

// One apply at a time per folder: a second lock on the same folder is refused while the
// first is held and granted once it is gone; another folder is not kept out.
void CheckLock(const CFolderHandle& top)
{
    std::string failedAt;
    top.MakeFolders("lock/one", failedAt);
    top.MakeFolders("lock/two", failedAt);
    CFolderHandle second;
    {
        CFolderHandle first;
        CHECK(first.Open(g_work + "/lock/one") && first.TryLock(), "the first lock is granted");
        CHECK(first.TryLock(), "the holder may ask again");
        CHECK(second.Open(g_work + "/lock/one") && !second.TryLock(), "a second lock on the folder is refused");
        CFolderHandle other;
        CHECK(other.Open(g_work + "/lock/two") && other.TryLock(), "a lock on another folder is granted");
    }
    CHECK(second.TryLock(), "the lock is granted once the first is released");
}

uint64_t FileTimeOf(const FILETIME& t)
{
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// Times set through the open file and by path read back exactly with GetFileTime. Wine
// keeps the last write and access times (the Unix file's, to the 100 ns); Linux has no
// birth time to set, and Wine tells the last write time as the creation time, so the
// creation time set is not compared (only that the platform reads what the system tells).
void CheckTimes(const CFolderHandle& top)
{
    std::string failedAt;
    CFolderHandle folder = top.MakeFolders("times", failedAt);
    CHECK(PutFile(folder, "t.txt", "times"), "the file for the times is made");
    const std::string path = g_work + "/times/t.txt";
    struct {
        const char* how;
        bool throughOpenFile;
        CFileTimes times;
    } const rows[] = {
        {"through the open file", true, {UnixToFileTime(1000000000, 0), UnixToFileTime(1100000000, 123456700),
                                   UnixToFileTime(1200000000, 987654300)}},
        {"by path", false, {UnixToFileTime(1300000000, 0), UnixToFileTime(1400000000, 500),
                     UnixToFileTime(1500000000, 100)}},
    };
    for (const auto& row : rows) {
        bool set = false;
        if (row.throughOpenFile) {
            CFileRef file = folder.OpenEntry("t.txt");
            set = SetOpenFileTimes(file, row.times);
            fsys::CloseFile(file);
        } else {
            set = SetFileTimes(path, row.times);
        }
        CHECK(set, std::string("the times are set ") + row.how);
        HANDLE h = CreateFileW(winfs::LongPath(path).c_str(), FILE_READ_ATTRIBUTES, winfs::kShareAll, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        FILETIME creation{}, access{}, write{};
        CHECK(GetFileTime(h, &creation, &access, &write), "the times are read back");
        CloseHandle(h);
        CHECK(FileTimeOf(write) == row.times.lastWrite, std::string("the last write time set ") + row.how + " is kept");
        CHECK(FileTimeOf(access) == row.times.lastAccess,
              std::string("the last access time set ") + row.how + " is kept");
        CFileTimes read;
        CHECK(GetFileTimes(path, read) && read.lastWrite == row.times.lastWrite &&
                  read.lastAccess == row.times.lastAccess && read.creation == FileTimeOf(creation),
              std::string("the platform reads the times set ") + row.how);
    }
}

// The flush a staged file gets before it takes its name, on a handle written through and
// on one opened for reading only.
void CheckFlush(const CFolderHandle& top)
{
    std::string failedAt, staged;
    CFolderHandle folder = top.MakeFolders("flush", failedAt);
    CFileRef file = folder.CreateUnique(".dvs", staged);
    CHECK(file.Valid() && fsys::WriteAllAt(file, "durable", 7, 0), "the staged file is written");
    CHECK(fsys::FlushFile(file), "the written file is flushed");
    CHECK(fsys::CloseFile(file), "the flushed file is closed");
    CFileRef reader = folder.OpenForReading(staged);
    CHECK(reader.Valid() && fsys::FlushFile(reader), "a file opened for reading is flushed");
    fsys::CloseFile(reader);
}

// A read-only file is replaced by the staged one and deleted as any other: the apply
// moves and deletes entries whatever the files' own attributes say.
void CheckReadOnly(const CFolderHandle& top)
{
    std::string failedAt;
    CFolderHandle folder = top.MakeFolders("readonly", failedAt);
    CHECK(PutFile(folder, "target", "old") && PutFile(folder, "gone", "old") &&
              folder.MakeFolders("empty", failedAt).Valid(),
          "the read-only files and folder are made");
    for (const char* name : {"target", "gone", "empty"})
        CHECK(SetFileAttributesW(winfs::LongPath(g_work + "/readonly/" + name).c_str(), FILE_ATTRIBUTE_READONLY),
              std::string("the file ") + name + " is made read-only");
    std::string staged;
    CFileRef file = folder.CreateUnique(".dvs", staged);
    CHECK(file.Valid() && fsys::WriteAllAt(file, "new", 3, 0) && fsys::CloseFile(file), "the staged file is made");
    CHECK(folder.Rename(staged, "target"), "the staged file replaces the read-only target");
    CHECK(ContentOf(folder, "target") == "new", "the target has the new content");
    CHECK(folder.Remove("gone"), "a read-only file is deleted");
    CEntryStatus st;
    CHECK(!folder.Status("gone", st), "the deleted read-only file is gone");
    CHECK(folder.RemoveFolder("empty"), "an empty read-only folder is deleted");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: PlatformTest.exe WORK_FOLDER\n");
        return 2;
    }
    g_work = winfs::EnginePath(argv[1]);
    while (!g_work.empty() && g_work.back() == '/')
        g_work.pop_back();
    CFolderHandle top;
    if (!top.Open(g_work)) {
        std::printf("FAIL: the work folder %s is opened\n", g_work.c_str());
        return 1;
    }
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    CheckNames(top);
    CheckLongPath(top);
    CheckBeneath(top, Narrow(std::wstring(self, length)));
    CheckReparsePoints(top);
    CheckLock(top);
    CheckTimes(top);
    CheckFlush(top);
    CheckReadOnly(top);
    if (g_failures != 0) {
        std::printf("%d platform checks failed\n", g_failures);
        return 1;
    }
    std::printf("platform checks passed\n");
    return 0;
}
