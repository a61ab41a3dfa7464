// The engine object's walk of a folder tree into the diff array, the exclude test and
// the errors table of the verification.
#include "engine/common/CDirDiff.h"

#include "app/EngineHost.h"
#include "platform/EntryStatus.h"
#include "platform/FileSystem.h"
#include "platform/Progress.h"

#include <utility>

namespace {

// Identity of a folder on disk, used to notice a folder that contains itself (a bind
// mount, or a folder swapped for a link while the walk runs) instead of looping.
using FolderId = std::pair<uint64_t, uint64_t>;

bool GetFolderId(const std::string& folder, FolderId& id)
{
    CEntryStatus st;
    if (!fsys::EntryStatus(folder, st, true))
        return false;
    id = {st.device, st.fileId};
    return true;
}

// Depth-first walk: a subfolder is walked as soon as it is met, before the rest of the
// folder's entries. ancestors holds the folders on the way down from the start.
bool WalkFolder(CDirDiff& dirDiff, const std::string& folder, IBuildProgress* progress,
                std::vector<FolderId>& ancestors)
{
    FolderId id;
    if (!GetFolderId(folder, id))
        return false;
    for (const FolderId& a : ancestors)
        if (a == id)
            return true; // already being walked further up: nothing new below it

    std::vector<fsys::DirEntry> entries;
    if (!fsys::ListFolder(folder, entries))
        return false;

    ancestors.push_back(id);
    for (const fsys::DirEntry& entry : entries) {
        if (entry.isFolder) {
            if (entry.name == "." || entry.name == "..")
                continue;
            // Folders are walked whatever their names, hidden ones included.
            if (!WalkFolder(dirDiff, fsys::Join(folder, entry.name), progress, ancestors))
                return false;
        } else if (entry.isFile) {
            // A name that begins with "." is an ordinary file here (.htaccess, .env):
            // it is built like any other; the exclude list leaves out what should not be.
            dirDiff.AddFoundFile(folder, entry.name);
            ++dirDiff.seenFiles;
            if (progress)
                progress->SetStatus("Counting file number " + std::to_string(dirDiff.seenFiles) + ".");
        }
    }
    ancestors.pop_back();
    return true;
}

} // namespace

CDirDiff::CDirDiff(IEngineHost& core) : core_(core)
{
}

bool CDirDiff::ScanFolder(const std::string& folder)
{
    diff_.Clear();
    if (!fsys::FolderExists(folder))
        return false;
    return CollectFiles(folder, nullptr);
}

bool CDirDiff::CollectFiles(const std::string& folder, IBuildProgress* progress)
{
    std::vector<FolderId> ancestors;
    return WalkFolder(*this, fsys::WithoutTrailingSlash(folder), progress, ancestors);
}

void CDirDiff::AddFoundFile(const std::string& folder, const std::string& name)
{
    std::string full = fsys::Join(folder, name);
    diff_.Add(full);
    if (core_.LogEnabled())
        core_.AppendToLogFile("Added new file to diff array: " + full);
}

bool CDirDiff::IsExcluded(const std::string& path) const
{
    if (exclude_.Contains(path))
        return true;
    // An entry that names a folder leaves out everything below it.
    size_t slash = path.size() > 1 ? path.rfind('/', path.size() - 2) : std::string::npos;
    for (; slash != std::string::npos && slash > 0; slash = path.rfind('/', slash - 1))
        if (exclude_.Contains(path.substr(0, slash)) || exclude_.Contains(path.substr(0, slash + 1)))
            return true;
    return false;
}

void CDirDiff::ClearErrors()
{
    errors_.clear();
    failure = 0;
    refusals = 0;
    backups.clear();
    needsFileByFile = false;
    changedNothing = false;
}

void CDirDiff::AddErrorEntry(const std::string& entry)
{
    if (!ErrorsFull())
        errors_.push_back(entry);
}
