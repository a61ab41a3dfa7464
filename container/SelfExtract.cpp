// The self-extracting patch program: the apply stub "DvApply.exe", the marker, the part
// prefix and the compressed patch, split into parts when a split size is set.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFiles.h"

#include <vector>

namespace {

constexpr size_t kCopyChunk = 1 << 20;

// The message that refuses a split size the stub leaves no room in.
std::string SplitTooSmallText(unsigned splitSize, uint64_t stubLength)
{
    const uint64_t smallest = (stubLength + kMarkerLength + kPartPrefixLength) / 1000 + 1;
    return "The split size of " + std::to_string(splitSize) +
           " KB is too small for a self-extracting patch program:\nits first file must hold the apply program "
           "DvApply.exe (" +
           std::to_string(stubLength) + " bytes) and the start of the patch.\nThe smallest split size that works is " +
           std::to_string(smallest) + " KB.";
}

bool SplitTooSmall(uint64_t partSize, uint64_t stubLength)
{
    return partSize != 0 && partSize <= stubLength + kMarkerLength + kPartPrefixLength;
}

} // namespace

std::string CPatchDoc::StubPath(const std::string& programFolder, bool forWindows)
{
    return fsys::FindProgramFile(programFolder, forWindows ? "windows/DvApply.exe" : "DvApply.exe");
}

std::string CPatchDoc::SelfExtractSplitRefusal(const std::string& programFolder, unsigned splitSize, bool forWindows)
{
    uint64_t stubLength = 0;
    if (splitSize == 0 || !fsys::FileLength(StubPath(programFolder, forWindows), stubLength))
        return "";
    return SplitTooSmall(static_cast<uint64_t>(splitSize) * 1000, stubLength) ? SplitTooSmallText(splitSize, stubLength)
                                                                               : "";
}

bool CPatchDoc::MakeSelfExtracting()
{
    const bool forWindows = core_.Settings().forWindows != 0;
    const std::string stubName = StubPath(core_.ProgramFolder(), forWindows);
    CBinFile stub;
    if (!stub.Open(stubName, CBinFile::Mode::Read) && forWindows) {
        ShowError("Cannot find the Windows apply program \"windows/DvApply.exe\" in the Delvorin folder.\n"
                  "It is required for creating self-extracting patch files for Windows.\n"
                  "This installation of Delvorin has none: build Delvorin with the Windows cross compiler\n"
                  "(mingw-w64) or make the patch for Linux.",
                  owner_);
        return false;
    }
    if (!stub.IsOpen()) {
        ShowError("Cannot find the file \"DvApply.exe\" in the Delvorin folder.\nThis file is required for creating "
                  "self-extracting patch files. \n You must either reinstall Delvorin or copy DvApply.exe to the\n"
                  "Delvorin folder to create a self-extracting patch file.",
                  owner_);
        return false;
    }
    CBinFile patch;
    if (!patch.Open(pathName_, CBinFile::Mode::Read)) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }
    const uint64_t stubLength = stub.Length();
    const uint64_t patchLength = patch.Length();
    const uint64_t partSize = static_cast<uint64_t>(core_.Settings().splitSize) * 1000;
    const uint64_t total = stubLength + kMarkerLength + kPartPrefixLength + patchLength;
    const bool split = partSize != 0 && stubLength + patchLength > partSize;

    // Sizes the program file or the part prefix cannot hold are refused before anything
    // is written; the compressed patch is removed, as it is no usable patch file.
    uint64_t parts = 0;
    if (split) {
        if (SplitTooSmall(partSize, stubLength)) {
            patch.Close();
            fsys::DeleteFile(pathName_);
            ShowError(SplitTooSmallText(core_.Settings().splitSize, stubLength) + "\nNo Delvorin file was created.",
                      owner_);
            return false;
        }
        parts = PartsNeeded(total, partSize);
        if (parts > static_cast<uint64_t>(kMaxParts)) {
            patch.Close();
            fsys::DeleteFile(pathName_);
            ShowError("With a split size of " + std::to_string(core_.Settings().splitSize) +
                          " the self-extracting patch file would need " + std::to_string(parts) +
                          " parts.\nA Delvorin file can have at most 255 parts: choose a larger split size.\n"
                          "No Delvorin file was created.",
                      owner_);
            return false;
        }
    }

    // The program is composed beside the patch file, never in whatever folder the process
    // happens to run in.
    CWorkFile stagingFile;
    CBinFile staging;
    if (!stagingFile.Create(fsys::Join(fsys::FolderOf(pathName_), "NewFile.tmp"), staging)) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }

    CPackagingProgress progress(core_, progress_, "Creating self-extracting patch program...",
                                LastComponent(pathName_), total);
    // A cancelled step leaves no patch file: neither the compressed patch nor a part.
    int partsWritten = 0;
    auto cancel = [&] {
        stub.Close();
        patch.Close();
        staging.Close();
        stagingFile.Remove();
        fsys::DeleteFile(pathName_);
        for (int i = 1; i <= partsWritten; ++i)
            fsys::DeleteFile(PartName(pathName_, i));
        cancelled_ = true;
        return false;
    };

    std::vector<unsigned char> buffer(kCopyChunk);
    unsigned char prefix[kPartPrefixLength];
    PutPartPrefix(prefix, split ? static_cast<int32_t>(parts) : 0, split ? static_cast<int32_t>(partSize) : 0);
    const uint64_t firstStreamBytes = split ? partSize - (stubLength + kMarkerLength + kPartPrefixLength) : patchLength;
    CopyResult copied = CopyBytes(stub, staging, stubLength, buffer, &progress);
    if (copied == CopyResult::Ok)
        copied = staging.Write(kSelfExtractMarker, kMarkerLength) && staging.Write(prefix, sizeof prefix)
                     ? CopyResult::Ok
                     : CopyResult::WriteFailed;
    if (copied == CopyResult::Ok)
        copied = progress.Advance(kMarkerLength + sizeof prefix)
                     ? CopyBytes(patch, staging, firstStreamBytes, buffer, &progress)
                     : CopyResult::Cancelled;
    if (copied == CopyResult::Cancelled)
        return cancel();
    bool ok = copied == CopyResult::Ok;
    stub.Close();
    ok = staging.Close() && ok;
    const std::string& stagingName = stagingFile.Path();
    if (!ok) {
        ShowError("Error writing file:\n" + stagingName, owner_);
        return false;
    }

    uint64_t remaining = patchLength - firstStreamBytes;
    for (int i = 1; remaining > 0; ++i) {
        const std::string name = PartName(pathName_, i);
        const uint64_t count = remaining < partSize ? remaining : partSize;
        CBinFile part;
        ++partsWritten; // a part begun is removed by a cancel
        if (!part.Open(name, CBinFile::Mode::CreateAlways)) {
            ShowError(CannotOpenForPackaging(name), owner_);
            return false;
        }
        const CopyResult copied = CopyBytes(patch, part, count, buffer, &progress);
        if (copied == CopyResult::Cancelled) {
            part.Close();
            return cancel();
        }
        bool written = copied == CopyResult::Ok;
        if (!part.Close() || !written) {
            ShowError("Error writing file:\n" + name, owner_);
            return false;
        }
        remaining -= count;
    }

    patch.Close();
    // The program runs like the stub it was made from.
    unsigned mode = 0;
    if (fsys::GetPermissions(stubName, mode))
        fsys::SetPermissions(stagingName, mode & 0777);
    if (!stagingFile.MoveTo(pathName_)) { // replaces the compressed patch in one step
        ShowError("Error writing file:\n" + pathName_, owner_);
        return false;
    }
    return true;
}
