// The header of a compact patch image, after the part prefix (little-endian):
//   magic "DVCP" 0D 0A 1A 0A (8 bytes), version (16 bits, 1), flags (16 bits, 0),
//   date sum (signed 32 bits), publisher name, organisation, default folder and dialog
//   text (each a 16-bit length and its bytes, at most 64, 65, 256 and 256 bytes),
//   remove count (16 bits) and as many names (16-bit length, at most 256 bytes, '\'
//   between components), file count (16 bits); then the file records (CompactRecord.h).
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "container/ContainerUtil.h"
#include "engine/common/CDirDiff.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kCompactVersion = 1;
constexpr size_t kTextLimits[4] = {64, 65, 256, 256};
constexpr size_t kRemoveNameLimit = 256;

void PutText(std::vector<unsigned char>& out, const std::string& text, size_t limit)
{
    const size_t n = std::min(text.size(), limit);
    PutU16(out, static_cast<uint16_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace

bool IsCompactImage(const unsigned char* start, size_t length)
{
    return length >= sizeof kCompactMagic && std::memcmp(start, kCompactMagic, sizeof kCompactMagic) == 0;
}

bool CPatchDoc::WriteCompactHeader(int32_t dateSum)
{
    std::vector<unsigned char> bytes(kCompactMagic, kCompactMagic + sizeof kCompactMagic);
    PutU16(bytes, kCompactVersion);
    PutU16(bytes, 0);
    PutU32(bytes, static_cast<uint32_t>(dateSum));
    const std::string* texts[4] = {&core_.userName, &core_.userOrganization, &core_.settings.defaultFolder,
                                   &core_.settings.dialogText};
    for (int i = 0; i < 4; ++i)
        PutText(bytes, *texts[i], kTextLimits[i]);

    std::vector<std::string> stored;
    for (const std::string& e : dirDiff_.RemoveList()) {
        if (e.empty())
            continue;
        std::string name;
        if (!StoredRemoveName(e, name))
            return false;
        if (name.size() > kRemoveNameLimit) {
            ShowError("The name of the following file to remove is longer than 256 characters\n"
                      "and cannot be stored in a Delvorin file:\n" + e,
                      owner_);
            return false;
        }
        stored.push_back(name);
    }
    if (stored.size() > 65535) {
        ShowError("The list of files to remove holds " + std::to_string(stored.size()) +
                      " files.\nA Delvorin file can remove at most 65535 files.",
                  owner_);
        return false;
    }
    PutU16(bytes, static_cast<uint16_t>(stored.size()));
    for (const std::string& name : stored)
        PutText(bytes, name, kRemoveNameLimit);

    CBinFile& image = core_.patchImage;
    if (!buildWorkFile_.Create(SetExtension(pathName_, "~dvp"), image))
        return false;
    workFileName_ = buildWorkFile_.Path();
    imageUse_ = ImageUse::Build;
    countPosition_ = bytes.size();
    PutU16(bytes, 0);
    if (!image.Write(bytes.data(), bytes.size()) || !image.Flush()) {
        AbandonPatchFile();
        return false;
    }
    return true;
}

bool CPatchDoc::ReadCompactHeader()
{
    CBinFile& image = core_.patchImage;
    const uint64_t length = image.Length();
    uint64_t position = 0;
    auto take = [&](void* data, size_t size) {
        if (length - position < size)
            return false;
        position += size;
        return image.ReadExact(data, size);
    };
    auto reject = [&](const std::string& why) {
        image.Close();
        imageUse_ = ImageUse::None;
        fsys::DeleteFile(workFileName_);
        ShowError("The patch file is damaged:\n" + why, PromptOwner::MainWindow);
        return false;
    };
    auto text = [&](std::string& out, size_t limit) {
        unsigned char n[2];
        if (!take(n, 2) || GetU16(n) > limit)
            return false;
        out.assign(GetU16(n), '\0');
        return take(out.data(), out.size()) && out.find('\0') == std::string::npos;
    };

    unsigned char head[sizeof kCompactMagic + 8];
    if (!image.Seek(0) || !take(head, sizeof head))
        return reject("the header is incomplete.");
    if (GetU16(head + sizeof kCompactMagic) != kCompactVersion)
        return reject("it was made in a newer compact format (version " +
                      std::to_string(GetU16(head + sizeof kCompactMagic)) + ") than this program reads.");
    header_ = CPatchHeader();
    header_.dateSum = static_cast<int32_t>(GetU32(head + sizeof kCompactMagic + 4));
    std::string* texts[4] = {&header_.publisherName, &header_.publisherOrganization, &header_.defaultFolder,
                             &header_.dialogText};
    for (int i = 0; i < 4; ++i)
        if (!text(*texts[i], kTextLimits[i]))
            return reject("the header is incomplete or holds a text longer than allowed.");
    unsigned char count[2];
    if (!take(count, 2))
        return reject("the header is incomplete.");
    const uint16_t removeCount = GetU16(count);
    // Every name takes at least its length field.
    if (uint64_t{removeCount} * 2 > length - position)
        return reject("the list of files to remove runs past the end of the file.");
    dirDiff_.ClearRemoveList();
    for (uint16_t i = 0; i < removeCount; ++i) {
        std::string name;
        if (!text(name, kRemoveNameLimit))
            return reject("the list of files to remove cannot be read.");
        dirDiff_.AddRemoveFile(FromStoredName(name));
    }
    if (!take(count, 2))
        return reject("the header is incomplete.");
    core_.fileCount = GetU16(count);
    core_.patchFormat = CPatchFormat::Compact;
    header_.recordsOffset = static_cast<uint32_t>(position);
    firstRecordPosition_ = position;
    return true;
}
