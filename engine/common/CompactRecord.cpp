// Compact file record, byte by byte (little-endian):
//   "cfil", name length (16 bits, 1 to 259), the stored name ('\' between components),
//   flags (8 bits: 1 new file, 2 delta present, 4 digests present, 8 the delta is of the
//   packed kind), old length, new length, old byte sum, new byte sum (32 bits each),
//   creation, last-access and last-write time (64 bits each); with digests, the SHA-256
//   of the old and of the new content (32 bytes each); with a packed delta, the length of
//   its frame (32 bits) and its twin (16 bits: 0 for none, or the record's number from 1).
// A stepped delta's parts of the streams are not stored (CompactLayout.h).
// A changed file carries its own digests only where its old and new content agree in
// length and byte sum: there they tell a target already done from one to be patched.
// Every other record's new content is checked through the digest of the new tree
// (CompactDelta.h), and a target of the wrong content makes its rebuild, and so that
// digest, come out wrong before anything is replaced.
// The records lie in the image's description; the streams follow it (CompactDelta.h).
#include "engine/common/CompactRecord.h"

#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/CompactLayout.h"
#include "platform/FileSystem.h"

#include <cstring>

namespace {

const unsigned char kTag[4] = {'c', 'f', 'i', 'l'};
constexpr unsigned kNewFile = 1;
constexpr unsigned kHasDelta = 2;
constexpr unsigned kHasDigests = 4;
constexpr unsigned kPacked = 8;
constexpr size_t kFixedSize = 1 + 4 * 4 + 3 * 8;

bool Refuse(IEngineHost& core, const std::string& text)
{
    core.Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
    return false;
}

bool Damaged(IEngineHost& core, const std::string& what)
{
    return Refuse(core, "The patch file is damaged:\n" + what);
}

// True for a changed file whose old and new content agree in length and byte sum.
bool SumsAlike(const CFilePatch& r, bool hasDelta)
{
    return !r.newFileFlag && hasDelta && r.oldLength == r.newLength && r.oldByteSum == r.newByteSum;
}

// Gives the record just read its place among the patch's deltas (CompactLayout.h).
bool Placed(IEngineHost& core, CFilePatch& r, const std::string& stored, uint64_t recordAt)
{
    std::shared_ptr<CCompactLayout>& layout = core.Image().compactLayout;
    if (!layout)
        return Refuse(core, "Error reading patch file!");
    const std::string problem = layout->Place(recordAt, r, core.Image().file.Fd());
    if (!problem.empty())
        return Damaged(core, "The file record of " + stored + " is not consistent: " + problem);
    return true;
}

} // namespace

bool WriteCompactRecord(CFilePatch& r)
{
    IEngineHost& core = r.Core();
    const std::string stored = ToStoredName(r.name);
    if (stored.empty() || stored.size() + 1 > CFilePatch::kMaxNameField || r.name.find('\\') != std::string::npos)
        return Refuse(core, "The following file name cannot be stored in a Delvorin file:\n" + r.name);
    std::vector<unsigned char> bytes(kTag, kTag + sizeof kTag);
    PutU16(bytes, static_cast<uint16_t>(stored.size()));
    bytes.insert(bytes.end(), stored.begin(), stored.end());
    const bool digests = SumsAlike(r, r.compactDelta.present);
    CCompactDelta& delta = r.compactDelta;
    const bool packed = delta.present && delta.packed;
    const unsigned flags = (r.newFileFlag ? kNewFile : 0) | (delta.present ? kHasDelta : 0) |
                           (digests ? kHasDigests : 0) | (packed ? kPacked : 0);
    bytes.push_back(static_cast<unsigned char>(flags));
    PutU32(bytes, r.oldLength);
    PutU32(bytes, r.newLength);
    PutU32(bytes, r.oldByteSum);
    PutU32(bytes, r.newByteSum);
    PutU64(bytes, r.newTimes.creation);
    PutU64(bytes, r.newTimes.lastAccess);
    PutU64(bytes, r.newTimes.lastWrite);
    if (digests) {
        bytes.insert(bytes.end(), r.oldSha.begin(), r.oldSha.end());
        bytes.insert(bytes.end(), r.newSha.begin(), r.newSha.end());
    }
    if (packed) {
        PutU32(bytes, static_cast<uint32_t>(delta.frame.size()));
        PutU16(bytes, delta.twin);
    }
    if (delta.present) {
        std::vector<unsigned char>& tree = core.Image().compactNewDigests;
        tree.insert(tree.end(), r.newSha.begin(), r.newSha.end());
    }
    bool ok = core.Image().file.Write(bytes.data(), bytes.size());
    CBinFile* streams = core.Image().compactStreams;
    for (int i = 0; ok && delta.present && !packed && i < kCompactStreams; ++i)
        ok = delta.rawBytes[i].empty() || streams[i].Write(delta.rawBytes[i].data(), delta.rawBytes[i].size());
    if (ok && packed)
        ok = streams[kCompactStreams].Write(delta.frame.data(), delta.frame.size());
    for (std::vector<unsigned char>& raw : delta.rawBytes)
        std::vector<unsigned char>().swap(raw);
    std::vector<unsigned char>().swap(delta.frame);
    if (!ok)
        return Refuse(core, "Error writing patch file!");
    return true;
}

bool ReadCompactRecord(CFilePatch& r)
{
    IEngineHost& core = r.Core();
    CBinFile& image = core.Image().file;
    // The records end where the description does, as the image's fixed start says (read
    // once, with the header).
    const CCompactLayout* layout = core.Image().compactLayout.get();
    if (!layout)
        return Refuse(core, "Error reading patch file!");
    const uint64_t imageLength = kCompactFixedSize + uint64_t{layout->Fixed().descriptionRaw};
    uint64_t position = image.Tell();
    const uint64_t recordAt = position;
    const char* const pastEnd = "A file record runs past the end of the patch file.";
    auto take = [&](void* data, size_t size) {
        if (position > imageLength || imageLength - position < size)
            return false;
        position += size;
        return image.ReadExact(data, size);
    };

    unsigned char head[sizeof kTag + 2];
    if (!take(head, sizeof head))
        return Damaged(core, pastEnd);
    if (std::memcmp(head, kTag, sizeof kTag) != 0)
        return Damaged(core, "a file record does not begin where one should.");
    const uint16_t nameLength = GetU16(head + sizeof kTag);
    if (nameLength == 0 || nameLength >= CFilePatch::kMaxNameField)
        return Damaged(core, "A file name of " + std::to_string(nameLength) + " bytes is not allowed (1 to 259 bytes).");
    std::string stored(nameLength, '\0');
    if (!take(stored.data(), nameLength))
        return Damaged(core, pastEnd);
    if (stored.find('\0') != std::string::npos)
        return Damaged(core, "A file name holds a zero byte.");

    unsigned char fields[kFixedSize];
    if (!take(fields, sizeof fields))
        return Damaged(core, pastEnd);
    const unsigned char* f = fields;
    const unsigned flags = f[0];
    if (flags > (kNewFile | kHasDelta | kHasDigests | kPacked) || ((flags & kPacked) && !(flags & kHasDelta)))
        return Damaged(core, "The file record of " + stored + " has unknown flags.");
    r.name = FromStoredName(stored);
    r.compact = true;
    r.newFileFlag = (flags & kNewFile) ? 1 : 0;
    r.oldLength = GetU32(f + 1);
    r.newLength = GetU32(f + 5);
    r.oldByteSum = GetU32(f + 9);
    r.newByteSum = GetU32(f + 13);
    r.newTimes.creation = GetU64(f + 17);
    r.newTimes.lastAccess = GetU64(f + 25);
    r.newTimes.lastWrite = GetU64(f + 33);
    r.oldPatches.clear();
    r.newPatches.clear();
    r.oldCopyCount = r.newDataCount = 0;
    r.compactDelta = CCompactDelta();
    r.checks.reset();
    if (r.newFileFlag && (r.oldLength != 0 || r.oldByteSum != 0))
        return Damaged(core, "The file record of the new file " + stored + " names an old file.");
    // The digests come exactly with a changed file whose old and new content agree in
    // length and byte sum.
    if (((flags & kHasDigests) != 0) != SumsAlike(r, (flags & kHasDelta) != 0))
        return Damaged(core, "The file record of " + stored + " has its digests where none belong, or none where they do.");
    r.oldSha = r.newSha = CSha256::Digest{};
    if (flags & kHasDigests) {
        unsigned char digests[64];
        if (!take(digests, sizeof digests))
            return Damaged(core, pastEnd);
        std::memcpy(r.oldSha.data(), digests, 32);
        std::memcpy(r.newSha.data(), digests + 32, 32);
        // Targets and rebuilt files are checked by these digests, as a classic record
        // with strong checks is.
        r.checks = CRecordChecks{true, r.oldSha, r.newSha};
    }

    if (!(flags & kHasDelta)) {
        // Without a delta the record only gives times (the contents are equal), or makes
        // an empty new file.
        const bool timesOnly = !r.newFileFlag && r.oldLength == r.newLength && r.oldByteSum == r.newByteSum;
        if (!timesOnly && !(r.newFileFlag && r.newLength == 0))
            return Damaged(core, "The file record of " + stored + " has no delta for a changed file.");
        return Placed(core, r, stored, recordAt);
    }

    r.compactDelta.present = true;
    if (flags & kPacked) {
        unsigned char packed[6];
        if (!take(packed, sizeof packed))
            return Damaged(core, pastEnd);
        r.compactDelta.packed = true;
        r.compactDelta.frameLength = GetU32(packed);
        r.compactDelta.twin = GetU16(packed + 4);
    }
    return Placed(core, r, stored, recordAt);
}
