// The build driver: checks the two folders, walks the new folder and writes one file
// record for every new or changed file behind the patch file header.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "app/StringTable.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/CompactLead.h"
#include "engine/common/RemoveEntries.h"
#include "engine/build/CompactLeadChoice.h"
#include "engine/build/FilePrefetch.h"
#include "engine/build/WindowsNameCheck.h"
#include "platform/FileSystem.h"
#include "platform/Progress.h"

#include <limits>
#include <memory>
#include <set>

namespace {

constexpr uint32_t kMaxFileRecords = std::numeric_limits<uint16_t>::max();

// The names of the new files the build takes, checked for a build for Windows.
bool NewNamesFitWindows(const CDirDiff& dirDiff, const std::string& newFolder, IEngineHost& core, std::string& refusal)
{
    std::vector<std::string> names;
    const size_t skip = newFolder.size() + (newFolder.back() == '/' ? 0 : 1);
    for (size_t i = 0; i < dirDiff.DiffCount(); ++i) {
        const std::string full = dirDiff.DiffItem(i);
        if (!dirDiff.IsExcluded(full))
            names.push_back(full.substr(skip));
    }
    return CheckNamesForWindows(
        names,
        [&](const std::string& text) {
            core.Ask(PromptOwner::ProgressDialog, text, "Delvorin Warning", PromptButtons::OK, PromptIcon::Warning);
        },
        refusal);
}

} // namespace

bool CDirDiff::WriteCompactLead()
{
    // The files left alone that lead the literals, chosen among those the build takes and
    // does not remove, and named before the records.
    std::set<std::string> removed;
    for (const std::string& entry : RemoveList()) {
        std::string relative;
        if (!entry.empty() && RemoveEntryRelativeName(entry, core_.Settings().defaultFolder, oldFolder, relative))
            removed.insert(relative);
    }
    CLeadTrees trees{oldFolder, newFolder, {}, [&removed](const std::string& name) { return removed.count(name) != 0; }};
    const size_t skip = newFolder.size() + (newFolder.back() == '/' ? 0 : 1);
    for (size_t i = 0; i < DiffCount(); ++i) {
        const std::string full = DiffItem(i);
        if (!IsExcluded(full) && full.size() > skip)
            trees.newFiles.push_back(full.substr(skip));
    }
    auto lead = std::make_shared<CCompactLead>(ChooseCompactLead(trees));
    std::vector<unsigned char> bytes;
    PutU16(bytes, static_cast<uint16_t>(lead->names.size()));
    for (size_t i = 0; i < lead->names.size(); ++i) {
        const std::string stored = ToStoredName(lead->names[i]);
        PutU16(bytes, static_cast<uint16_t>(stored.size()));
        bytes.insert(bytes.end(), stored.begin(), stored.end());
        PutU32(bytes, lead->lengths[i]);
    }
    if (!lead->Empty())
        bytes.insert(bytes.end(), lead->digest.begin(), lead->digest.end());
    core_.Image().compactLead = lead;
    return core_.Image().file.Write(bytes.data(), bytes.size());
}

int CDirDiff::BuildPatch(const std::string& oldFolderPath, const std::string& newFolderPath, std::string& outMessage,
                         IBuildProgress* progress)
{
    const std::string oldPath = fsys::WithoutTrailingSlash(oldFolderPath);
    const std::string newPath = fsys::WithoutTrailingSlash(newFolderPath);
    if (oldPath.empty() || newPath.empty()) {
        outMessage = LoadString(105);
        return 0;
    }
    if (oldPath == newPath) {
        outMessage = LoadString(107);
        return 0;
    }
    if (!fsys::FolderExists(oldPath)) {
        outMessage = LoadString(108);
        return 0;
    }
    if (!fsys::FolderExists(newPath)) {
        outMessage = LoadString(109);
        return 0;
    }

    ClearDiffArray();
    patchChecks.Clear();
    oldFolder = oldPath;
    newFolder = newPath;
    seenFiles = 0;
    buildRefusal.clear();

    if (!CollectFiles(newFolder, progress)) {
        outMessage = LoadString(110);
        return 0;
    }
    // A file to remove that the new folder has, and that the build does not leave out,
    // would be taken from every updated folder that needs it.
    for (const std::string& entry : RemoveList()) {
        std::string relative;
        if (entry.empty() || !RemoveEntryRelativeName(entry, core_.Settings().defaultFolder, oldPath, relative))
            continue;
        const std::string inNew = fsys::Join(newPath, relative);
        if (diff_.Contains(inNew) && !IsExcluded(inNew)) {
            outMessage = "The following file to remove is also in the new files folder:\n" + entry +
                         "\nThe apply would take it from the updated folder. Take it off the list of files to remove.";
            return 0;
        }
    }
    if (core_.Settings().selfExtract && core_.Settings().forWindows && !NewNamesFitWindows(*this, newPath, core_, outMessage))
        return 0;
    int result = CreateFilePatches(progress);
    if (result == 0)
        outMessage = buildRefusal.empty() ? LoadString(111) : buildRefusal;
    return result;
}

std::string CDirDiff::OldFileFor(const std::string& full) const
{
    // The old file lies at the same place below the old folder as the new file below
    // the new folder.
    std::string relative = full.size() > newFolder.size() ? full.substr(newFolder.size()) : full;
    if (!relative.empty() && relative.front() != '/' && (oldFolder.empty() || oldFolder.back() != '/'))
        relative.insert(relative.begin(), '/'); // the new folder is the root "/"
    return oldFolder + relative;
}

int CDirDiff::CreateFilePatches(IBuildProgress* progress)
{
    const int result = CreateRecords(progress);
    // The read-ahead helpers, which read the list, have ended with CreateRecords.
    if (result == 1)
        ClearDiffArray();
    return result;
}

int CDirDiff::CreateRecords(IBuildProgress* progress)
{
    const size_t n = DiffCount();
    if (core_.Image().format == CPatchFormat::Compact && !WriteCompactLead())
        return 0;
    // The small file pairs that come next are read by helper threads meanwhile.
    CFilePrefetch prefetch(n, [this](size_t index, std::string& oldPath, std::string& newPath) {
        newPath = DiffItem(index);
        if (IsExcluded(newPath))
            return false;
        oldPath = OldFileFor(newPath);
        return true;
    });
    for (size_t i = 0; i < n; ++i) {
        const std::string full = DiffItem(i);
        if (IsExcluded(full))
            continue;
        const std::string oldFile = OldFileFor(full);

        CFilePatch record(core_);
        if (progress) {
            progress->SetStatus("Creating patch for file " + std::to_string(i + 1) + " of " + std::to_string(n) + ".");
            progress->SetFileName(LastComponent(full));
            if (progress->CheckCancelButton() &&
                core_.Ask(PromptOwner::ProgressDialog,
                          "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\n"
                          "Do you really want to cancel this process?",
                          "Delvorin Warning", PromptButtons::YesNo, PromptIcon::None) == PromptAnswer::Yes)
                return -1;
            progress->SetOverallPos(i == 0 ? 0 : static_cast<int>(static_cast<double>(i) / static_cast<double>(n) * 100.0));
            progress->SetFilePos(0);
        }

        record.UsePrefetched(prefetch.Take(i));
        int result = record.CreatePatch(oldFile, full, newFolder, progress);
        if (result == 1 && core_.Image().format == CPatchFormat::Compact)
            result = record.MakeCompact(progress);
        if (result != 1)
            return result;

        if (record.NeedsRecord()) {
            if (core_.Image().fileCount >= kMaxFileRecords) {
                buildRefusal = "The new files folder holds more than 65535 new or changed files.\n"
                               "A Delvorin file can hold at most 65535 files: split the build into several "
                               "patch files.\nNo Delvorin file was created.";
                return 0;
            }
            if (!record.ReadWrite(true))
                return 0;
            ++core_.Image().fileCount;
            if (record.checks)
                patchChecks.records.push_back(*record.checks);
        }
    }
    return 1;
}
