// The patch image header at the start of a build (with its remove list), and finishing
// the build's work file into the patch file.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ChecksTrailer.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"
#include "platform/LocalTime.h"
#include "platform/SystemError.h"

#include <cstring>
#include <ctime>

namespace {

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

int32_t LocalDateSum()
{
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    fsys::ToLocalTime(now, local);
    return (local.tm_year + 1900) + (local.tm_mon + 1) + local.tm_mday;
}

} // namespace

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
        failureCause_ = pathName_ + "\n" + LastSystemErrorText();
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
        failureCause_ = workFileName_ + "\n" + LastSystemErrorText();
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
