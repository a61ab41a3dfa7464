// The patch document's life (abandoning a build's work file, closing an apply's image),
// the stored form of a remove entry (both formats write it), and reading the header of
// a patch file before an apply.
#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ChecksTrailer.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CompactDelta.h"
#include "platform/FileSystem.h"
#include "platform/SystemError.h"

#include <cstring>

namespace {

// The text of a field up to its first zero byte (the whole field when there is none).
std::string GetText(const unsigned char* field, size_t width)
{
    size_t n = 0;
    while (n < width && field[n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
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

void CPatchDoc::AbandonPatchFile()
{
    // Only the work file this build created is deleted, never a file that merely has
    // its usual name.
    core_.Image().file.Close();
    imageUse_ = ImageUse::None;
    buildWorkFile_.Remove();
    RemoveCompactStreams();
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
        failureCause_ = workFileName_ + "\n" + LastSystemErrorText();
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
