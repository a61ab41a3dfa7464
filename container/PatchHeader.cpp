// The patch image header: writing it at the start of a build, finishing or abandoning
// the build's work file, and reading the header of a patch file before an apply.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ChecksTrailer.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr size_t kMagicWidth = 64;
constexpr size_t kNameWidth = 68;
constexpr size_t kFolderWidth = 260;
constexpr size_t kNameLimit = 64;
constexpr size_t kOrganizationLimit = 65;
constexpr size_t kTextLimit = 256;
constexpr size_t kMaxRemoveEntries = 65535;

// A fixed-width text field: the text cut to its limit, then zero bytes to the end.
void PutText(unsigned char* field, size_t width, const std::string& text, size_t limit)
{
    std::memset(field, 0, width);
    size_t n = text.size() < limit ? text.size() : limit;
    std::memcpy(field, text.data(), n);
}

// The text of a field up to its first zero byte (the whole field when there is none).
std::string GetText(const unsigned char* field, size_t width)
{
    size_t n = 0;
    while (n < width && field[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

int32_t LocalDateSum()
{
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    return (local.tm_year + 1900) + (local.tm_mon + 1) + local.tm_mday;
}

// True when text begins with base followed by a '/' (or base itself ends in '/');
// rest then receives what follows that separator.
bool StripFolder(const std::string& text, const std::string& base, std::string& rest)
{
    if (base.empty() || text.size() <= base.size() || text.compare(0, base.size(), base) != 0)
        return false;
    if (base.back() == '/') {
        rest = text.substr(base.size());
        return true;
    }
    if (text[base.size()] != '/')
        return false;
    rest = text.substr(base.size() + 1);
    return true;
}

} // namespace

CPatchDoc::CPatchDoc(IEngineHost& core, CDirDiff& dirDiff, const std::string& pathName)
    : core_(core), dirDiff_(dirDiff), pathName_(pathName), assembledFileName_(core.TempFolder() + "AssyTempfile.tmp")
{
}

CPatchDoc::~CPatchDoc()
{
    // A build document destroyed before it was finished leaves no work file behind; an
    // apply document releases the patch image it opened.
    if (imageUse_ == ImageUse::Build)
        AbandonPatchFile();
    else if (imageUse_ == ImageUse::Apply)
        core_.Image().file.Close();
}

void CPatchDoc::ShowError(const std::string& text, PromptOwner owner, PromptIcon icon)
{
    reported_ = true;
    core_.Ask(owner, text, kErrorTitle, PromptButtons::OK, icon);
}

bool RemoveEntryRelativeName(const std::string& entry, const std::string& defaultFolder, const std::string& oldFolder,
                             std::string& relative)
{
    relative.clear();
    bool below = true;
    if (!entry.empty() && entry[0] != '/')
        relative = entry; // a relative entry (a project file may hold one) is relative to the target already
    else
        below = (!defaultFolder.empty() && StripFolder(entry, defaultFolder, relative)) ||
                (!oldFolder.empty() && StripFolder(entry, fsys::WithoutTrailingSlash(oldFolder), relative));
    for (size_t start = 0; below && start <= relative.size();) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string component = relative.substr(start, end - start);
        below = !component.empty() && component != "." && component != "..";
        start = end + 1;
    }
    return below;
}

// A remove entry as the patch file stores it (RemoveEntryRelativeName, components
// separated by '\'). The file choosers offer the old folder's files, hence the old
// folder beside the default one. An entry below neither folder, or one that climbs out
// of its folder, has no name an apply would take; a '\' in a name would split it into
// other components. Both are refused with a message (false).
bool CPatchDoc::StoredRemoveName(const std::string& entry, std::string& stored)
{
    std::string rest;
    const std::string& oldFolder = oldFolder_.empty() ? core_.Settings().oldFolder : oldFolder_;
    if (!RemoveEntryRelativeName(entry, core_.Settings().defaultFolder, oldFolder, rest)) {
        ShowError("The following file to remove lies neither in the default apply folder nor in the old files "
                  "folder:\n" +
                      entry + "\nNo apply could find it. Choose the files to remove from the old files folder.",
                  owner_);
        return false;
    }
    if (rest.find('\\') != std::string::npos) {
        ShowError("The following file to remove holds a backslash in its name, which a Delvorin file cannot "
                  "store:\n" +
                      entry,
                  owner_);
        return false;
    }
    stored = ToStoredName(rest);
    return true;
}

// The remove count and the remove fields, ready to write. A list the header cannot hold
// is refused with a message: a name cut to the field's limit would name another file.
bool CPatchDoc::PrepareRemoveFields(std::string& fields)
{
    // An empty name (a project file may add one for a missing entry) names no file:
    // it is left out rather than stored as a name every apply would refuse.
    std::vector<std::string> entries;
    for (const std::string& e : dirDiff_.RemoveList())
        if (!e.empty())
            entries.push_back(e);
    if (entries.size() > kMaxRemoveEntries) {
        ShowError("The list of files to remove holds " + std::to_string(entries.size()) +
                      " files.\nA Delvorin file can remove at most 65535 files.",
                  owner_);
        return false;
    }
    fields.assign(2 + entries.size() * kRemoveFieldLength, '\0');
    PutLE16(reinterpret_cast<unsigned char*>(fields.data()), static_cast<uint16_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string stored;
        if (!StoredRemoveName(entries[i], stored))
            return false;
        if (stored.size() > kTextLimit) {
            ShowError("The name of the following file to remove is longer than 256 characters\n"
                      "and cannot be stored in a Delvorin file:\n" +
                          entries[i],
                      owner_);
            return false;
        }
        std::memcpy(fields.data() + 2 + i * kRemoveFieldLength, stored.data(), stored.size());
    }
    return true;
}

bool CPatchDoc::WritePatchHeader()
{
    core_.Image().fileCount = 0;
    dirDiff_.patchChecks.Clear();
    // The build's format is fixed here, for the records and the packing that follow.
    core_.Image().format = core_.Settings().compact ? CPatchFormat::Compact : CPatchFormat::Classic;
    if (core_.Image().format == CPatchFormat::Compact)
        return WriteCompactHeader(LocalDateSum());
    unsigned char fixed[kHeaderFixedLength - 2];
    unsigned char* p = fixed;
    PutText(p, kMagicWidth, kPatchMagic, kMagicWidth);
    p += kMagicWidth;
    PutLE32(p, static_cast<uint32_t>(LocalDateSum()));
    p += 4;
    PutText(p, kNameWidth, core_.UserName(), kNameLimit);
    p += kNameWidth;
    PutText(p, kNameWidth, core_.UserOrganization(), kOrganizationLimit);
    p += kNameWidth;
    PutText(p, kFolderWidth, core_.Settings().defaultFolder, kTextLimit);
    p += kFolderWidth;
    PutText(p, kFolderWidth, core_.Settings().dialogText, kTextLimit);

    std::string removeFields;
    if (!PrepareRemoveFields(removeFields))
        return false;

    CBinFile& image = core_.Image().file;
    if (!buildWorkFile_.Create(SetExtension(pathName_, "~dvp"), image)) {
        failureCause_ = pathName_ + "\n" + std::strerror(errno);
        return false;
    }
    workFileName_ = buildWorkFile_.Path();
    imageUse_ = ImageUse::Build;

    bool ok = image.Write(fixed, sizeof fixed) && image.Write(removeFields.data(), removeFields.size());
    countPosition_ = image.Tell();
    unsigned char tail[6];
    PutLE16(tail, 0);
    PutLE32(tail + 2, static_cast<uint32_t>(countPosition_ + sizeof tail));
    ok = ok && image.Write(tail, sizeof tail) && image.Flush();
    if (!ok) {
        failureCause_ = workFileName_ + "\n" + std::strerror(errno);
        AbandonPatchFile();
        return false;
    }
    return true;
}

bool CPatchDoc::FinishPatchFile(bool abandon)
{
    cancelled_ = false;
    if (abandon) {
        AbandonPatchFile();
        return true;
    }
    CBinFile& image = core_.Image().file;
    // The strong checks follow the last classic record, when the build took them of every
    // record (a compact patch carries its own).
    bool written = true;
    const std::vector<CRecordChecks>& checks = dirDiff_.patchChecks.records;
    if (core_.Image().format == CPatchFormat::Classic && core_.Image().fileCount != 0 && checks.size() == core_.Image().fileCount) {
        const std::string trailer = ChecksTrailerBytes(checks);
        written = image.Write(trailer.data(), trailer.size());
    }
    unsigned char count[2];
    PutLE16(count, core_.Image().fileCount);
    written = written && image.Seek(countPosition_) && image.Write(count, sizeof count);
    written = image.Close() && written;
    imageUse_ = ImageUse::None;
    if (!written) {
        ShowError("Error writing file:\n" + workFileName_ + "\nThe Delvorin file was not created.", owner_);
        buildWorkFile_.Remove();
        RemoveCompactStreams();
        return false;
    }

    if (core_.Image().fileCount == 0) {
        // Nothing to compress: the patch file would be deleted again at once.
        buildWorkFile_.Remove();
        RemoveCompactStreams();
        fsys::DeleteFile(pathName_);
        core_.Ask(PromptOwner::MainWindow,
                  "The old file folder and the new file folder are identical.\nNo Delvorin file was created.",
                  kWarningTitle, PromptButtons::OK, PromptIcon::Stop);
        return false;
    }

    // A patch file whose compression failed is never packaged: it would hold a damaged
    // or partial stream.
    bool compressed = CompressWorkFile();
    buildWorkFile_.Remove();
    if (!compressed) {
        fsys::DeleteFile(pathName_);
        return false;
    }
    if (selfExtract_)
        return MakeSelfExtracting();
    return SplitPatchFile();
}

void CPatchDoc::AbandonPatchFile()
{
    // Only the work file this build created is deleted, never a file that merely has
    // its usual name.
    core_.Image().file.Close();
    imageUse_ = ImageUse::None;
    buildWorkFile_.Remove();
    RemoveCompactStreams();
}

bool CPatchDoc::ReadPatchHeader()
{
    core_.Image().fileCount = 0;
    dirDiff_.patchChecks.Clear();
    if (!AssemblePatchFile())
        return false;
    if (!DecompressPatchFile())
        return false;
    CBinFile& image = core_.Image().file;
    if (!image.Open(workFileName_, CBinFile::Mode::Read)) {
        failureCause_ = workFileName_ + "\n" + std::strerror(errno);
        return false;
    }
    imageUse_ = ImageUse::Apply;

    auto reject = [&](const std::string& why) {
        image.Close();
        imageUse_ = ImageUse::None;
        fsys::DeleteFile(workFileName_);
        if (!why.empty())
            ShowError("The patch file is damaged:\n" + why, PromptOwner::MainWindow);
        return false;
    };

    const uint64_t length = image.Length();
    unsigned char fixed[kHeaderFixedLength];
    if (length >= sizeof kCompactMagic && image.ReadExact(fixed, sizeof kCompactMagic) &&
        std::memcmp(fixed, kCompactMagic, sizeof kCompactMagic) == 0)
        return ReadCompactHeader();
    core_.Image().format = CPatchFormat::Classic;
    if (length < kMagicWidth || !image.Seek(0) || !image.ReadExact(fixed, kMagicWidth) ||
        GetText(fixed, kMagicWidth) != kPatchMagic) {
        // Not a Delvorin patch image: no message of its own, the caller's says so.
        failureCause_ = pathName_ + "\nThis is not a Delvorin patch file.";
        return reject("");
    }
    if (length < kEmptyHeaderLength || !image.ReadExact(fixed + kMagicWidth, kHeaderFixedLength - kMagicWidth))
        return reject("the header is incomplete.");

    const unsigned char* p = fixed + kMagicWidth;
    header_ = CPatchHeader();
    header_.dateSum = static_cast<int32_t>(GetU32(p));
    p += 4;
    header_.publisherName = GetText(p, kNameWidth);
    p += kNameWidth;
    header_.publisherOrganization = GetText(p, kNameWidth);
    p += kNameWidth;
    header_.defaultFolder = GetText(p, kFolderWidth);
    p += kFolderWidth;
    header_.dialogText = GetText(p, kFolderWidth);
    p += kFolderWidth;
    const uint16_t removeCount = GetU16(p);

    const uint64_t removeEnd = kHeaderFixedLength + static_cast<uint64_t>(removeCount) * kRemoveFieldLength;
    if (removeEnd + 6 > length)
        return reject("the list of files to remove runs past the end of the file.");
    dirDiff_.ClearRemoveList();
    unsigned char field[kRemoveFieldLength];
    for (uint16_t i = 0; i < removeCount; ++i) {
        if (!image.ReadExact(field, sizeof field))
            return reject("the list of files to remove cannot be read.");
        dirDiff_.AddRemoveFile(FromStoredName(GetText(field, sizeof field)));
    }
    unsigned char tail[6];
    if (!image.ReadExact(tail, sizeof tail))
        return reject("the header is incomplete.");
    core_.Image().fileCount = GetU16(tail);
    header_.recordsOffset = GetU32(tail + 2);
    firstRecordPosition_ = image.Tell();
    std::string why;
    if (ReadChecksTrailer(image, firstRecordPosition_, core_.Image().fileCount, dirDiff_.patchChecks, why) ==
        CTrailerRead::Damaged)
        return reject(why);
    if (!image.Seek(firstRecordPosition_))
        return reject("the file records cannot be read.");
    return true;
}

bool CPatchDoc::RewindToFileRecords()
{
    return core_.Image().file.Seek(firstRecordPosition_);
}

void CPatchDoc::ClosePatchFile()
{
    core_.Image().file.Close();
    imageUse_ = ImageUse::None;
    if (!workFileName_.empty())
        fsys::DeleteFile(workFileName_);
    fsys::DeleteFile(assembledFileName_);
}
