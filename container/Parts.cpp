// The part prefix in front of every patch file, splitting a patch file into parts of the
// chosen size, and joining the parts again before an apply.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "container/SelfExtractReader.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kSplitChunk = 1 << 20;
constexpr size_t kAssembleBuffer = 1048576;

std::string CannotOpenForPackaging(const std::string& name)
{
    return "Cannot open the Delvorin file:\n\n" + name +
           "\n\nthat is required for creating a self-extracting patch file.";
}

// True when the data at the file's position starts with the two bytes of a gzip
// stream; the position is kept.
// The first part of a split patch goes on with a gzip stream or a compact image.
bool StartsAsPatchStream(CBinFile& in)
{
    const uint64_t at = in.Tell();
    unsigned char magic[sizeof kCompactMagic] = {};
    const bool read = in.ReadExact(magic, sizeof magic);
    const bool gzip = read && magic[0] == 0x1f && magic[1] == 0x8b;
    const bool compact = read && std::memcmp(magic, kCompactMagic, sizeof magic) == 0;
    return in.Seek(at) && (gzip || compact);
}

} // namespace

std::string CPatchDoc::PartName(const std::string& patchFile, int index)
{
    std::string number = std::to_string(index);
    std::string ext = "dv" + (number.size() < 3 ? std::string(3 - number.size(), '0') : std::string()) + number;
    // Only a '.' of the file's own name counts, and not one in its first character.
    size_t start = patchFile.rfind('/');
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = patchFile.rfind('.');
    if (dot == std::string::npos || dot <= start)
        return patchFile + "." + ext;
    return patchFile.substr(0, dot + 1) + ext;
}

bool CPatchDoc::SplitPatchFile()
{
    CBinFile in;
    if (!in.Open(pathName_, CBinFile::Mode::Read)) {
        ShowError(CannotOpenForPackaging(pathName_), owner_);
        return false;
    }
    const uint64_t length = in.Length();
    const uint64_t partSize = static_cast<uint64_t>(core_.settings.splitSize) * 1000;
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
        ShowError("With a split size of " + std::to_string(core_.settings.splitSize) + " the Delvorin file would need " +
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

bool CPatchDoc::AssemblePatchFile()
{
    const PromptOwner owner = PromptOwner::MainWindow;
    auto fail = [&](const std::string& text) {
        reported_ = true;
        core_.Ask(owner, text, kErrorTitle, PromptButtons::OK, PromptIcon::None);
        return false;
    };

    CBinFile in;
    if (!in.Open(pathName_, CBinFile::Mode::Read)) {
        // The caller's message says it, with this cause below.
        failureCause_ = pathName_ + "\n" + std::strerror(errno);
        return false;
    }

    // A self-extracting patch program carries the patch behind its apply stub and marker
    // (the apply program marks its own file so, whatever it is called now).
    // A signed program ends in its signature, which is no part of the patch.
    uint64_t start = 0;
    uint64_t fileLength = in.Length();
    if (selfExtract_ || EndsWithNoCase(pathName_, "exe")) {
        uint64_t markerOffset = 0;
        if (!FindSelfExtractPayload(pathName_, markerOffset, fileLength))
            return fail("The file:\n" + pathName_ + "\nis not a Delvorin self-extracting patch program:\n"
                        "the Delvorin marker behind the apply program is missing or damaged.");
        start = markerOffset + kMarkerLength;
    }
    if (fileLength < start + kPartPrefixLength || !in.Seek(start))
        return fail("The file:\n" + pathName_ + "\nis too short to be a Delvorin file.");

    unsigned char prefix[kPartPrefixLength];
    if (!in.ReadExact(prefix, sizeof prefix))
        return fail("Unable to read file:\n" + pathName_);
    const int partCount = prefix[0]; // only the lowest byte of the part count is used
    // The first part of a split patch file goes on with its gzip stream or compact
    // image. Any other file is no patch file: its first byte must not send the user
    // looking for parts, and the caller says that it cannot be opened.
    if (partCount > 1 && !StartsAsPatchStream(in)) {
        failureCause_ = pathName_ + "\nThis is not a Delvorin patch file.";
        return false;
    }

    CBinFile out;
    if (!out.Open(assembledFileName_, CBinFile::Mode::CreateAlways))
        return fail("Unable to create work file:\n" + assembledFileName_);

    std::vector<unsigned char> buffer;
    try {
        buffer.resize(kAssembleBuffer);
    } catch (const std::bad_alloc&) {
        return fail("Unable to allocate memory for decompressing file.");
    }

    auto copyFile = [&](CBinFile& from, uint64_t count, const std::string& name) {
        switch (CopyBytes(from, out, count, buffer)) {
        case CopyResult::Ok: return true;
        case CopyResult::ReadFailed: return fail("Unable to read file:\n" + name);
        case CopyResult::WriteFailed: return fail("Unable to write work file:\n" + assembledFileName_);
        case CopyResult::Cancelled: break; // this copy shows no progress
        }
        return false;
    };

    if (!copyFile(in, fileLength - start - kPartPrefixLength, pathName_))
        return false;
    in.Close();

    for (int i = 1; i < partCount; ++i) {
        std::string name = PartName(pathName_, i);
        CBinFile part;
        while (!part.Open(name, CBinFile::Mode::Read)) {
            if (!PromptForPart(name)) {
                out.Close();
                return false;
            }
        }
        if (!copyFile(part, part.Length(), name))
            return false;
    }
    if (!out.Close())
        return fail("Unable to write work file:\n" + assembledFileName_);
    return true;
}

bool CPatchDoc::PromptForPart(const std::string& partName)
{
    size_t slash = partName.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : partName.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? partName : partName.substr(slash + 1);

    std::string text;
    char drive = folder.size() >= 2 && folder[1] == ':' ? static_cast<char>(std::toupper(static_cast<unsigned char>(folder[0]))) : 0;
    if (drive == 'A' || drive == 'B')
        text = "Please put the diskette with patch file " + file + " into drive " + std::string(1, drive) +
               ":\nand press OK when done.";
    else
        text = "Please put file " + file + " into the folder " + folder + ". Press OK when done.";
    return core_.Ask(PromptOwner::MainWindow, text, kMessageTitle, PromptButtons::OKCancel, PromptIcon::None) ==
           PromptAnswer::OK;
}
