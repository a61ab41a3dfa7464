// The part prefix in front of every patch file, the names of the parts, and joining the
// parts again before an apply.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "container/SelfExtractReader.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

#include <cctype>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kAssembleBuffer = 1048576;

enum class StreamKind { None, Gzip, Compact };

// What the data at the file's position start with: the two bytes of a gzip stream, the
// magic of a compact image, or neither; the position is kept.
StreamKind PatchStreamAt(CBinFile& in)
{
    const uint64_t at = in.Tell();
    unsigned char magic[sizeof kCompactMagic] = {};
    const bool read = in.ReadExact(magic, sizeof magic);
    if (!in.Seek(at) || !read)
        return StreamKind::None;
    if (magic[0] == 0x1f && magic[1] == 0x8b)
        return StreamKind::Gzip;
    return std::memcmp(magic, kCompactMagic, sizeof magic) == 0 ? StreamKind::Compact : StreamKind::None;
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
        failureCause_ = pathName_ + "\n" + LastSystemErrorText();
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
    if (partCount > 1 && PatchStreamAt(in) == StreamKind::None) {
        failureCause_ = pathName_ + "\nThis is not a Delvorin patch file.";
        return false;
    }

    // A compact patch in one file is read where it lies: its reader takes the image's
    // parts from it directly, so the copy would only cost a work file.
    if (partCount <= 1 && PatchStreamAt(in) == StreamKind::Compact) {
        streamFile_ = pathName_;
        streamStart_ = start + kPartPrefixLength;
        streamEnd_ = fileLength;
        return true;
    }
    streamFile_ = assembledFileName_;
    streamStart_ = 0;
    streamEnd_ = 0; // grows with every part joined

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
        case CopyResult::Ok: streamEnd_ += count; return true;
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
