// One patch file, for one build or one apply: the header and remove list of the patch
// image, compression into a gzip stream, the part prefix with splitting and reassembly,
// and the self-extracting form.
#pragma once
#include "engine/common/OpenPatch.h"
#include "engine/common/RemoveEntries.h"
#include "platform/BinFile.h"
#include "platform/Progress.h"
#include "platform/UserPrompt.h"
#include "platform/WorkFile.h"

#include <cstdint>
#include <string>

class IEngineHost;
class CDirDiff;

inline constexpr char kPatchMagic[] = "Delvorin_Version1abc.13";
inline constexpr char kSelfExtractMarker[] = "@Amber@Opal@xyzzy@"; // 18 bytes, no zero byte stored
inline constexpr size_t kMarkerLength = 18;
inline constexpr size_t kPartPrefixLength = 8;
inline constexpr size_t kHeaderFixedLength = 726; // up to and including RemoveCount
inline constexpr size_t kRemoveFieldLength = 260;
inline constexpr size_t kEmptyHeaderLength = 732; // the header of a patch without remove entries
inline constexpr int kMaxParts = 255;             // the reader takes the low byte of the part count

// The header fields as read back from a patch image.
struct CPatchHeader {
    int32_t dateSum = 0;
    std::string publisherName;
    std::string publisherOrganization;
    std::string defaultFolder;
    std::string dialogText;
    uint32_t recordsOffset = 0;
};

class CPatchDoc : public IOpenPatch {
public:
    CPatchDoc(IEngineHost& core, CDirDiff& dirDiff, const std::string& pathName);
    ~CPatchDoc() override;
    CPatchDoc(const CPatchDoc&) = delete;
    CPatchDoc& operator=(const CPatchDoc&) = delete;

    const std::string& PathName() const override { return pathName_; }
    void SetPathName(const std::string& path) { pathName_ = path; }
    // Messages of the packaging steps are owned by this window.
    void SetOwner(PromptOwner owner) { owner_ = owner; }
    // The packaging steps of a build show their progress here and take its Cancel.
    void SetProgress(IBuildProgress* progress) { progress_ = progress; }
    // True when the user cancelled a packaging step: FinishPatchFile then returned false
    // with no patch file left and no message shown.
    bool Cancelled() const { return cancelled_; }
    // After a failed WritePatchHeader or ReadPatchHeader: true when a message said why
    // already; else the cause the system gave (the path and its error), or "".
    bool Reported() const { return reported_; }
    const std::string& FailureCause() const { return failureCause_; }
    // text with the cause of the failure, when there is one, on the lines below it.
    std::string WithFailureCause(const std::string& text) const
    {
        return failureCause_.empty() ? text : text + "\n" + failureCause_;
    }

    // Build.
    // Before a read it marks the patch file as a self-extracting program whatever it is
    // called (the apply program reads its own file so).
    void SetSelfExtract(bool flag) { selfExtract_ = flag; }
    // The old files folder of the build: when the default apply folder is empty, remove
    // entries below this folder are stored relative to it.
    void SetOldFolder(const std::string& folder) { oldFolder_ = folder; }
    bool WritePatchHeader();
    bool FinishPatchFile(bool abandon);
    void AbandonPatchFile();
    bool CompressWorkFile();
    bool SplitPatchFile();
    bool MakeSelfExtracting();

    // Apply.
    bool ReadPatchHeader();
    bool RewindToFileRecords() override;
    void ClosePatchFile();
    bool AssemblePatchFile();
    bool DecompressPatchFile();
    bool PromptForPart(const std::string& partName);

    const CPatchHeader& Header() const { return header_; }
    const std::string& WorkFileName() const { return workFileName_; }
    const std::string& AssembledFileName() const { return assembledFileName_; }
    uint64_t FirstRecordPosition() const { return firstRecordPosition_; }

    // The name of part i (1, 2, ...) of a patch file: update.dvp -> update.dv001.
    static std::string PartName(const std::string& patchFile, int index);

    // The apply stub "DvApply.exe" that every self-extracting patch program starts with:
    // the Linux program, or the Windows one (in the folder "windows" beside it).
    static std::string StubPath(const std::string& programFolder, bool forWindows = false);
    // The refusal of a split size (units of 1,000 bytes) too small for a split
    // self-extracting patch program, whose first file must hold the stub, the marker, the
    // part prefix and some of the patch: the message naming the smallest size that works,
    // or "" when the size will do (or there is no split, or no stub to measure).
    static std::string SelfExtractSplitRefusal(const std::string& programFolder, unsigned splitSize,
                                               bool forWindows = false);

private:
    IEngineHost& core_;
    CDirDiff& dirDiff_;
    std::string pathName_;
    std::string workFileName_;
    // The build's work file (the patch image before compression), removed on every way out.
    CWorkFile buildWorkFile_;
    std::string assembledFileName_;
    // Where the patch stream lies for the decompression: the assembled work file, or, for
    // a compact patch in one file, the patch file itself (read in place, not copied).
    std::string streamFile_;
    uint64_t streamStart_ = 0;
    uint64_t streamEnd_ = 0;
    PromptOwner owner_ = PromptOwner::MainWindow;
    IBuildProgress* progress_ = nullptr;
    bool cancelled_ = false;
    bool reported_ = false;
    std::string failureCause_;
    bool selfExtract_ = false;
    uint64_t countPosition_ = 0;
    uint64_t firstRecordPosition_ = 0;
    CPatchHeader header_;
    std::string oldFolder_;
    // Which kind of use opened the shared patch image, so the destructor can tidy up.
    enum class ImageUse { None, Build, Apply } imageUse_ = ImageUse::None;

    bool PrepareRemoveFields(std::string& fields);
    // The compact format (CompactImageWriter.cpp, CompactImageReader.cpp): the description's header and the three
    // stream work files; the patch file packed from them; the image unpacked from it.
    bool WriteCompactHeader(int32_t dateSum);
    bool ReadCompactHeader();
    bool PackCompactPatch();
    bool UnpackCompactImage();
    void RemoveCompactStreams();
    CWorkFile compactStreamFiles_[4]; // the three streams and the frames
    bool StoredRemoveName(const std::string& entry, std::string& stored);
    void ShowError(const std::string& text, PromptOwner owner, PromptIcon icon = PromptIcon::Stop);
};
