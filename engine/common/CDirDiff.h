// The engine object: the folder paths of a build or the target folder of an apply, the
// diff array of collected files, the exclude and remove lists, and the errors table of
// the verification before an apply. The build driver and the apply driver are its
// operations.
#pragma once
#include "engine/common/RecordChecks.h"
#include "engine/common/WindowsNames.h"
#include "platform/UserPrompt.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

class IEngineHost;
class IOpenPatch;
class IBuildProgress;
class IApplyProgress;

// Where the backups of an apply went: target file, backup file, in the order made.
using BackupList = std::vector<std::pair<std::string, std::string>>;

// A growable list of unique strings; an index outside the list yields "".
class CUniqueList {
public:
    void Add(const std::string& s);
    size_t Count() const { return items_.size(); }
    std::string Item(size_t index) const { return index < items_.size() ? items_[index] : std::string(); }
    bool Contains(const std::string& s) const;
    void Clear() { items_.clear(); set_.clear(); }
    const std::vector<std::string>& Items() const { return items_; }

private:
    std::vector<std::string> items_;
    std::unordered_set<std::string> set_;
};

class CDirDiff {
public:
    static constexpr int kMaxErrors = 99;
    static constexpr int kErrorTextSize = 520;

    explicit CDirDiff(IEngineHost& core);

    // Walk (for the file choosers): fills the diff array from one folder.
    bool ScanFolder(const std::string& folder);
    // Recursive walk of folder into the diff array.
    bool CollectFiles(const std::string& folder, IBuildProgress* progress);
    // Adds the file (whatever its name: one beginning with "." included).
    void AddFoundFile(const std::string& folder, const std::string& name);

    size_t DiffCount() const { return diff_.Count(); }
    std::string DiffItem(size_t index) const { return diff_.Item(index); }
    void ClearDiffArray() { diff_.Clear(); }

    void AddExcludeFile(const std::string& path) { exclude_.Add(path); }
    void AddRemoveFile(const std::string& path) { remove_.Add(path); }
    size_t ExcludeCount() const { return exclude_.Count(); }
    size_t RemoveCount() const { return remove_.Count(); }
    std::string ExcludeItem(size_t index) const { return exclude_.Item(index); }
    std::string RemoveItem(size_t index) const { return remove_.Item(index); }
    void ClearExcludeList() { exclude_.Clear(); }
    void ClearRemoveList() { remove_.Clear(); }
    const std::vector<std::string>& ExcludeList() const { return exclude_.Items(); }
    const std::vector<std::string>& RemoveList() const { return remove_.Items(); }
    // True when the path, or a folder above it, is in the exclude list.
    bool IsExcluded(const std::string& path) const;

    // Build driver: 1 success, 0 failure (outMessage set), -1 cancel confirmed.
    int BuildPatch(const std::string& oldFolder, const std::string& newFolder, std::string& outMessage,
                   IBuildProgress* progress);
    int CreateFilePatches(IBuildProgress* progress);
    // The file of the old folder that corresponds to a file of the new folder.
    std::string OldFileFor(const std::string& newFile) const;
    // Set by CreateFilePatches when it refuses a build for a reason of its own (a patch
    // file holds at most 65535 records); BuildPatch then returns it as the out message.
    std::string buildRefusal;

    // Apply driver: 1 success, 0 failure, -1 cancel confirmed.
    int ApplyPatch(IOpenPatch& doc, int& backup, const std::string& backupExt, IApplyProgress* progress);
    // The verification pass of an apply alone: fills the errors table, changes nothing.
    // 1 when the patch can be applied, 0 otherwise, -1 cancel confirmed.
    int VerifyPatch(IOpenPatch& doc, IApplyProgress* progress);

    // Paths of the current build, or the target folder of an apply.
    std::string oldFolder;
    std::string newFolder; // the target folder during an apply
    std::string& TargetFolder() { return newFolder; }

    // The verification's errors list: at most kMaxErrors entries, each shorter than
    // kErrorTextSize characters, in the order they were found.
    const std::vector<std::string>& ErrorEntries() const { return errors_; }
    size_t ErrorCount() const { return errors_.size(); }
    bool ErrorsFull() const { return errors_.size() >= kMaxErrors; }
    // Adds an entry; one more than the list holds is dropped.
    void AddErrorEntry(const std::string& entry);
    int32_t failure = 0;
    // Entries that say the patch itself cannot be applied (damaged, unsafe, or a target
    // that cannot be written), as against files of the target that do not match.
    int32_t refusals = 0;
    // True when the verification failed only because the target folder does not hold
    // the files the patch was built against.
    bool TargetDoesNotMatch() const { return failure != 0 && refusals == 0; }
    void ClearErrors();
    // Where the backups of the last apply went.
    BackupList backups;
    // What an apply does where the file system has room to replace the files one by one
    // but not to stage every file first: asks the user, does it (the user agreed
    // beforehand), or refuses.
    enum class FileByFile { Ask, Allowed, Refused };
    FileByFile fileByFile = FileByFile::Ask;
    // Set by the verification when the files can only be replaced one by one (for want
    // of room), and by an apply that stopped before it changed anything.
    bool needsFileByFile = false;
    bool changedNothing = false;
    // Where the files are made by Windows, the verification refuses the names of the
    // patch that Windows cannot hold (found by this check), before anything changes: a
    // tree built elsewhere may carry them. Elsewhere no check is linked in.
    using WindowsNameCheck = CWindowsNameReport (*)(const std::vector<std::string>& relativeNames);
#ifdef _WIN32
    WindowsNameCheck windowsNameCheck = &FindWindowsNameProblems;
#else
    WindowsNameCheck windowsNameCheck = nullptr;
#endif

    uint32_t seenFiles = 0; // numbers each file a walk meets

    // The strong checks of the patch: gathered record by record by a build, read from
    // the patch file's trailer for an apply.
    CPatchChecks patchChecks;

    IEngineHost& Core() { return core_; }

private:
    // The loop of CreateFilePatches over the diff array, with its read-ahead.
    int CreateRecords(IBuildProgress* progress);
    // A compact build: names the files left alone that lead the literals (CompactLead.h).
    bool WriteCompactLead();

    IEngineHost& core_;
    CUniqueList diff_;
    CUniqueList remove_;
    CUniqueList exclude_;
    std::vector<std::string> errors_;
};
