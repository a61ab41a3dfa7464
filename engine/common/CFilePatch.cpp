// The file record of one file: its lifetime, the record test, and the writer and the
// reader of its bytes in the patch image. The reader takes nothing on trust: every
// length, count and offset is checked against the bytes that are really there before
// it is used, so a damaged or crafted patch file is refused instead of followed.
#include "engine/common/CFilePatch.h"

#include "app/EngineHost.h"
#include "app/StringHelpers.h"
#include "engine/common/ByteOrder.h"
#include "engine/common/CompactRecord.h"
#include "engine/build/FilePrefetch.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

const unsigned char kCheckBlock[8] = {'f', 'i', 'l', 'e', 0, 0, 0, 0};
// Only "file" and the zero byte after it are compared when a record is read.
constexpr size_t kCheckBlockCompared = 5;
// New-file flag, two byte sums, two lengths, three file times and two object counts.
constexpr size_t kFixedFieldsSize = 5 * 4 + 3 * 8 + 2 * 4;

void Tell(IEngineHost& core, const std::string& text)
{
    core.Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
}

bool Refuse(IEngineHost& core, const std::string& text)
{
    Tell(core, text);
    return false;
}

bool Damaged(IEngineHost& core, const std::string& what)
{
    return Refuse(core, "The patch file is damaged:\n" + what);
}

const char kWriteError[] = "Error writing patch file!";
const char kReadError[] = "Error reading patch file!";
const char kPastEnd[] = "A file record runs past the end of the patch file.";

// Tells why a name cannot go into a file record; "" when it can.
std::string NameProblem(const std::string& name)
{
    if (name.empty() || name.find('\0') != std::string::npos)
        return "The following file name cannot be stored in a Delvorin file:\n" + name;
    if (name.find('\\') != std::string::npos)
        return "The following file name holds a backslash, which a Delvorin file cannot store:\n" + name;
    if (name.size() + 1 > CFilePatch::kMaxNameField)
        return "The following file name is too long for a Delvorin file (more than " +
               std::to_string(CFilePatch::kMaxNameField - 1) + " characters):\n" + name;
    return "";
}

// True when [offset, offset + length) lies within a file of the given length.
bool Within(uint32_t offset, uint32_t length, uint64_t fileLength)
{
    return static_cast<uint64_t>(offset) + length <= fileLength;
}

// The objects must describe the new file the record gives, or the reader would
// refuse the record later; such a record is never written.
bool ObjectsFit(const CFilePatch& r)
{
    if (r.oldPatches.size() > std::numeric_limits<uint32_t>::max() ||
        r.newPatches.size() > std::numeric_limits<uint32_t>::max())
        return false;
    if (r.newFileFlag == 1 && !r.oldPatches.empty())
        return false;
    for (const COldPatch& o : r.oldPatches)
        if (!Within(o.oldOffset, o.length, r.oldLength) || !Within(o.newOffset, o.length, r.newLength))
            return false;
    for (const CNewPatch& n : r.newPatches)
        if (!Within(n.newOffset, n.length, r.newLength) || !Within(n.newOffset, n.length, r.newContent.size()))
            return false;
    return true;
}

bool WriteRecord(CFilePatch& r)
{
    IEngineHost& core = r.Core();
    CBinFile& image = core.Image().file;
    std::string problem = NameProblem(r.name);
    if (!problem.empty())
        return Refuse(core, problem);
    if (!ObjectsFit(r))
        return Refuse(core, kWriteError);

    std::string stored = ToStoredName(r.name);
    r.oldCopyCount = static_cast<uint32_t>(r.oldPatches.size());
    r.newDataCount = static_cast<uint32_t>(r.newPatches.size());

    std::vector<unsigned char> bytes(kCheckBlock, kCheckBlock + sizeof kCheckBlock);
    PutU16(bytes, static_cast<uint16_t>(stored.size() + 1));
    bytes.insert(bytes.end(), stored.begin(), stored.end());
    bytes.push_back(0);
    PutU32(bytes, r.newFileFlag);
    PutU32(bytes, r.oldByteSum);
    PutU32(bytes, r.newByteSum);
    PutU32(bytes, r.oldLength);
    PutU32(bytes, r.newLength);
    PutU64(bytes, r.newTimes.creation);
    PutU64(bytes, r.newTimes.lastAccess);
    PutU64(bytes, r.newTimes.lastWrite);
    PutU32(bytes, r.oldCopyCount);
    PutU32(bytes, r.newDataCount);
    if (!image.Write(bytes.data(), bytes.size()))
        return Refuse(core, kWriteError);

    for (COldPatch& o : r.oldPatches)
        if (!o.ReadWrite(image, true))
            return Refuse(core, kWriteError);
    for (CNewPatch& n : r.newPatches)
        if (!n.ReadWrite(image, true, r.newContent.data()))
            return Refuse(core, kWriteError);
    // The new file shrank since it was differenced: zeros stood in for its lost bytes.
    if (r.newContent.Damaged())
        return Refuse(core, "Unable to read file:\n" + r.name);
    return true;
}

// Reads one record of a classic patch from the image, step by step. Every length it
// meets is checked against what the image really holds before anything is read.
class CRecordReader {
public:
    explicit CRecordReader(IEngineHost& core)
        : core_(core), image_(core.Image().file), imageLength_(image_.Length()), position_(image_.Tell())
    {
    }

    bool Read(CFilePatch& r)
    {
        std::string storedName;
        unsigned char fixed[kFixedFieldsSize];
        if (!ReadCheckBlock() || !ReadName(storedName))
            return false;
        const std::string shownName = Printable(storedName); // for the messages
        if (!ReadFixedFields(fixed, shownName))
            return false;
        TakeFixedFields(r, fixed, storedName);
        const std::string outside = "The file record of " + shownName + " describes bytes outside the ";
        return ReadCopyObjects(r, outside) && ReadDataObjects(r, outside);
    }

private:
    uint64_t Remaining() const { return position_ <= imageLength_ ? imageLength_ - position_ : 0; }

    // Reads size bytes that the image is known to hold: a short read is a read error.
    bool Take(void* data, size_t size)
    {
        position_ += size;
        return image_.ReadExact(data, size);
    }

    // The bytes that open every record.
    bool ReadCheckBlock()
    {
        unsigned char check[sizeof kCheckBlock];
        if (Remaining() < sizeof check)
            return Damaged(core_, kPastEnd);
        if (!Take(check, sizeof check))
            return Refuse(core_, kReadError);
        if (std::memcmp(check, kCheckBlock, kCheckBlockCompared) != 0)
            return Refuse(core_, "Check block error occurred reading patch file!");
        return true;
    }

    // The name field: its length, then the name up to its terminating zero byte.
    bool ReadName(std::string& storedName)
    {
        unsigned char lengthField[2];
        if (Remaining() < sizeof lengthField)
            return Damaged(core_, kPastEnd);
        if (!Take(lengthField, sizeof lengthField))
            return Refuse(core_, kReadError);
        uint16_t nameField = GetU16(lengthField);
        if (nameField == 0 || nameField > CFilePatch::kMaxNameField)
            return Damaged(core_, "A file name field of " + std::to_string(nameField) +
                                      " bytes is not allowed (1 to 260 bytes).");
        if (Remaining() < nameField)
            return Damaged(core_, kPastEnd);
        unsigned char nameBytes[CFilePatch::kMaxNameField];
        if (!Take(nameBytes, nameField))
            return Refuse(core_, kReadError);
        const void* zero = std::memchr(nameBytes, 0, nameField);
        if (!zero)
            return Damaged(core_, "A file name has no terminating zero byte.");
        storedName.assign(reinterpret_cast<const char*>(nameBytes), static_cast<const unsigned char*>(zero) - nameBytes);
        return true;
    }

    // The fixed fields after the name: the flag and object counts must make sense, and
    // every object takes at least its fixed bytes, so the counts are bounded by the image.
    bool ReadFixedFields(unsigned char (&fixed)[kFixedFieldsSize], const std::string& shownName)
    {
        if (Remaining() < sizeof fixed)
            return Damaged(core_, kPastEnd);
        if (!Take(fixed, sizeof fixed))
            return Refuse(core_, kReadError);
        const uint32_t flag = GetU32(fixed);
        const uint32_t oldCount = GetU32(fixed + 44);
        const uint32_t newCount = GetU32(fixed + 48);
        if (flag > 1)
            return Damaged(core_, "The file record of " + shownName + " has an unknown new-file flag.");
        if (flag == 1 && oldCount > 0)
            return Damaged(core_, "The file record of the new file " + shownName + " copies parts of an old file.");
        const uint64_t objectBytes =
            uint64_t{oldCount} * COldPatch::kSize + uint64_t{newCount} * CNewPatch::kHeaderSize;
        if (objectBytes > Remaining())
            return Damaged(core_, "The file record of " + shownName +
                                      " counts more patch objects than the patch file holds.");
        return true;
    }

    // Fills the record from checked fixed fields and makes room for its objects. A record
    // of very many objects keeps none of them: they are read again from the image where
    // they are needed, so that the memory an apply takes does not grow with their number.
    void TakeFixedFields(CFilePatch& r, const unsigned char* fixed, const std::string& storedName)
    {
        const uint32_t oldCount = GetU32(fixed + 44);
        const uint32_t newCount = GetU32(fixed + 48);
        r.name = FromStoredName(storedName);
        r.newFileFlag = GetU32(fixed);
        r.oldByteSum = GetU32(fixed + 4);
        r.newByteSum = GetU32(fixed + 8);
        r.oldLength = GetU32(fixed + 12);
        r.newLength = GetU32(fixed + 16);
        r.newTimes.creation = GetU64(fixed + 20);
        r.newTimes.lastAccess = GetU64(fixed + 28);
        r.newTimes.lastWrite = GetU64(fixed + 36);
        r.oldCopyCount = oldCount;
        r.newDataCount = newCount;

        r.oldPatches.clear();
        r.newPatches.clear();
        r.objectsStreamed = uint64_t{oldCount} + newCount > CFilePatch::kMaxHeldObjects;
        r.objectsPosition = position_;
        if (!r.objectsStreamed) {
            r.oldPatches.reserve(oldCount);
            r.newPatches.reserve(newCount);
        }
    }

    // The objects that copy a part of the old file.
    bool ReadCopyObjects(CFilePatch& r, const std::string& outside)
    {
        for (uint32_t i = 0; i < r.oldCopyCount; ++i) {
            COldPatch o;
            position_ += COldPatch::kSize; // within the image: the counts were checked
            switch (o.Read(image_)) {
            case CObjectRead::Ok: break;
            case CObjectRead::BadTag: return Refuse(core_, "OldPatch Error occurred reading patch file!");
            case CObjectRead::PastEnd: return Damaged(core_, kPastEnd);
            case CObjectRead::ReadError: return Refuse(core_, kReadError);
            }
            if (!Within(o.oldOffset, o.length, r.oldLength))
                return Damaged(core_, outside + "old file.");
            if (!Within(o.newOffset, o.length, r.newLength))
                return Damaged(core_, outside + "new file.");
            if (!r.objectsStreamed)
                r.oldPatches.push_back(o);
        }
        return true;
    }

    // The objects that carry bytes of the new file.
    bool ReadDataObjects(CFilePatch& r, const std::string& outside)
    {
        for (uint32_t i = 0; i < r.newDataCount; ++i) {
            CNewPatch n;
            // The data of the objects before may have taken the room the counts promised.
            if (Remaining() < CNewPatch::kHeaderSize)
                return Damaged(core_, kPastEnd);
            switch (n.Read(image_, imageLength_)) {
            case CObjectRead::Ok: break;
            case CObjectRead::BadTag: return Refuse(core_, "NewPatch Error occurred reading patch file!");
            case CObjectRead::PastEnd: return Damaged(core_, kPastEnd);
            case CObjectRead::ReadError: return Refuse(core_, kReadError);
            }
            if (!Within(n.newOffset, n.length, r.newLength))
                return Damaged(core_, outside + "new file.");
            position_ = n.dataPosition + n.length;
            if (!r.objectsStreamed)
                r.newPatches.push_back(n);
        }
        return true;
    }

    IEngineHost& core_;
    CBinFile& image_;
    const uint64_t imageLength_;
    uint64_t position_;
};

bool ReadRecord(CFilePatch& r)
{
    return CRecordReader(r.Core()).Read(r);
}

} // namespace

// The copy buffer is allocated when a copy first needs it: a build makes one record per
// file and copies nothing.
CFilePatch::CFilePatch(IEngineHost& core) : core_(core)
{
}

CFilePatch::~CFilePatch() = default;

bool CFilePatch::ReadWrite(bool storing)
{
    if (core_.Image().format == CPatchFormat::Compact)
        return storing ? WriteCompactRecord(*this) : ReadCompactRecord(*this);
    return storing ? WriteRecord(*this) : ReadRecord(*this);
}

bool CFilePatch::NeedsRecord() const
{
    if (newFileFlag == 1)
        return true;
    // Differencing leaves objects only when the contents differ. Equal byte sums and
    // times do not make equal contents (two bytes swapped keep the sum; a publisher's
    // copies often keep the times): such a file must be patched too, or the apply would
    // leave the old content in place and report success.
    if (!oldPatches.empty() || !newPatches.empty() || compactDelta.present)
        return true;
    return !(oldByteSum == newByteSum && newTimes.lastWrite == oldTimes.lastWrite &&
             newTimes.lastAccess == oldTimes.lastAccess);
}

void CFilePatch::UsePrefetched(std::unique_ptr<CPrefetchedPair> pair)
{
    prefetched_ = std::move(pair);
}
