// Splitting a finished patch file into parts of the chosen size, each behind the part
// prefix (or writing it whole behind a prefix of zeros when it is not split).
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "platform/FileSystem.h"

#include <vector>

namespace {
constexpr size_t kSplitChunk = 1 << 20;
}


bool CPatchDoc::SplitPatchFile()
{
    CBinFile in;
    if (!in.Open(pathName_, CBinFile::Mode::Read)) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }
    const uint64_t length = in.Length();
    const uint64_t partSize = static_cast<uint64_t>(core_.Settings().splitSize) * 1000;
    // The work file beside the patch file: the patch file being composed, or the stream
    // being cut into parts.
    const std::string tempName = fsys::Join(fsys::FolderOf(pathName_), "TempFile.tmp");
    CWorkFile temp;
    CBinFile out;
    if (!temp.Create(tempName, out)) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }
    std::vector<unsigned char> buffer(kSplitChunk);
    const bool split = partSize != 0 && partSize <= length;
    CPackagingProgress progress(core_, progress_, split ? "Splitting Delvorin File..." : "Writing Delvorin File...",
                                LastComponent(pathName_), length);
    // A cancelled step leaves no patch file: neither the compressed stream nor a part.
    auto cancel = [&](int partsWritten) {
        in.Close();
        out.Close();
        temp.Remove();
        fsys::DeleteFile(pathName_);
        for (int i = 1; i < partsWritten; ++i)
            fsys::DeleteFile(PartName(pathName_, i));
        cancelled_ = true;
        return false;
    };

    if (!split) {
        // Not split: the stream behind a zero prefix, written beside the patch file and
        // then moved over it, so a failure never leaves half a patch file.
        unsigned char prefix[kPartPrefixLength];
        PutPartPrefix(prefix, 0, 0);
        const CopyResult copied = out.Write(prefix, sizeof prefix) ? CopyBytes(in, out, length, buffer, &progress)
                                                                    : CopyResult::WriteFailed;
        if (copied == CopyResult::Cancelled)
            return cancel(0);
        bool ok = copied == CopyResult::Ok;
        in.Close();
        ok = out.Close() && ok;
        if (!ok || !temp.MoveTo(pathName_)) {
            ShowError("Error writing file:\n" + pathName_, owner_);
            return false;
        }
        return true;
    }
    out.Close();

    const uint64_t parts = PartsNeeded(length + kPartPrefixLength, partSize);
    if (parts > static_cast<uint64_t>(kMaxParts)) {
        in.Close();
        fsys::DeleteFile(pathName_);
        ShowError("With a split size of " + std::to_string(core_.Settings().splitSize) + " the Delvorin file would need " +
                      std::to_string(parts) + " parts.\nA Delvorin file can have at most 255 parts: choose a larger "
                      "split size.\nNo Delvorin file was created.",
                  owner_);
        return false;
    }

    // The stream moves over the work file (which this build created), and the patch
    // file name is written anew as the first part.
    in.Close();
    if (!fsys::RenameFile(pathName_, temp.Path())) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }
    if (!in.Open(temp.Path(), CBinFile::Mode::Read)) {
        ShowError(CannotOpenForPackaging(temp.Path()), owner_);
        return false;
    }

    int partsWritten = 0;
    auto writePart = [&](const std::string& name, const unsigned char* prefix, uint64_t count) {
        CBinFile part;
        ++partsWritten; // a part begun is removed by a cancel
        if (!part.Open(name, CBinFile::Mode::CreateAlways)) {
            ShowError(CannotOpenForPackaging(name), owner_);
            return false;
        }
        const CopyResult copied = (!prefix || part.Write(prefix, kPartPrefixLength))
                                      ? CopyBytes(in, part, count, buffer, &progress)
                                      : CopyResult::WriteFailed;
        if (copied == CopyResult::Cancelled) {
            part.Close();
            return cancel(partsWritten);
        }
        if (!part.Close() || copied != CopyResult::Ok) {
            ShowError("Error writing file:\n" + name, owner_);
            return false;
        }
        return true;
    };

    unsigned char prefix[kPartPrefixLength];
    PutPartPrefix(prefix, static_cast<int32_t>(parts), static_cast<int32_t>(partSize));
    if (!writePart(pathName_, prefix, partSize - kPartPrefixLength))
        return false;
    uint64_t remaining = length - (partSize - kPartPrefixLength);
    for (int i = 1; remaining > 0; ++i) {
        uint64_t count = remaining < partSize ? remaining : partSize;
        if (!writePart(PartName(pathName_, i), nullptr, count))
            return false;
        remaining -= count;
    }
    in.Close();
    return true;
}
