// The compact record of one file pair: byte sums, SHA-256 of both contents and the
// delta, made from the contents CreatePatch loaded: the three streams of a stepped
// delta, or a packed frame where that is smaller (CompactFrameChoice.h). The record
// writer adds them to the patch's; the streams are packed when the patch file is made.
#include "app/EngineHost.h"
#include "engine/build/BuildReport.h"
#include "engine/build/CompactFrameChoice.h"
#include "engine/build/RunBeside.h"
#include "engine/build/CompactMatcher.h"
#include "engine/common/CFilePatch.h"
#include "platform/Progress.h"

#include <cstring>
#include <future>
#include <new>
#include <system_error>

namespace {
constexpr double kProgressScale = 90.0;
// Files shorter than this keep the stepped delta: in the streams of all files they share
// what they have in common with the others, which a frame of their own loses (three's
// patch: 44.2 KB against 44.3 KB from 8 KiB on and 45.3 KB from 4 KiB on).
constexpr uint32_t kPackedFrom = 16384;
// Pairs shorter than this together have their sums and digests taken by the build's own
// thread (2,000 new files of 4 KB: one thread fewer per file).
constexpr uint64_t kSumsBesideFrom = uint64_t{256} << 10;
} // namespace

int CFilePatch::MakeCompact(IBuildProgress* progress)
{
    compact = true;
    // Contents that CreatePatch released were equal: the record gives times only.
    const bool released = (newLength > 0 && newContent.empty()) || (oldLength > 0 && oldContent.empty());
    const bool same = !newFileFlag && oldLength == newLength &&
                      (released || newLength == 0 || std::memcmp(oldContent.data(), newContent.data(), newLength) == 0);
    if (same) {
        oldContent.clear();
        newContent.clear();
        return 1;
    }
    const unsigned char* oldData = oldContent.data();
    const unsigned char* newData = newContent.data();
    CCompactRaw raw;
    std::shared_ptr<CCompactTwins>& twins = core_.Image().compactTwins;
    const uint16_t index = static_cast<uint16_t>(core_.Image().fileCount);
    try {
        if (!twins)
            twins = std::make_shared<CCompactTwins>();
        // A packed frame may pay for a file not too long for one; its twin is chosen now.
        const bool packable = newLength >= kPackedFrom && newLength <= kMaxPackedLength && oldLength <= kMaxPackedLength;
        const CCompactTwins::Candidate* twin = packable ? twins->Find(name, newLength) : nullptr;
        // The strong checks, and the quick frame with the old content as its prefix, are
        // made beside the matching.
        CFrameChoice choice(oldData, oldLength, newFileFlag != 0, newData, newLength, *twins, twin);
        std::future<void> sums = RunBesideIf(packable || uint64_t{oldLength} + newLength >= kSumsBesideFrom, [&] {
            oldByteSum = ByteSum(oldData, oldLength);
            newByteSum = ByteSum(newData, newLength);
            oldSha = CSha256::Of(oldData, oldLength);
            newSha = CSha256::Of(newData, newLength);
            if (packable)
                choice.QuickAlone();
        });
        bool matched = true;
        if (newFileFlag)
            CompactFromObjects({}, oldData, newData, newLength, raw);
        else if (oldPatches.empty() && newPatches.empty())
            matched = CompactMatch(oldData, oldLength, newData, newLength, raw,
                                   BuildReport(core_, progress, kProgressScale));
        else
            CompactFromObjects(oldPatches, oldData, newData, newLength, raw); // a pair too large for the matcher
        if (sums.valid())
            sums.get();
        if (!matched) {
            FreeBuffers();
            return -1;
        }
        bool withTwin = false;
        if (packable && choice.Choose(raw.streams, compactDelta.frame, withTwin)) {
            compactDelta.packed = true;
            if (withTwin) {
                compactDelta.twin = static_cast<uint16_t>(twin->index + 1);
                twins->Used(index, *twin);
            }
        } else {
            twins->Streamed(raw.streams);
            for (int i = 0; i < kCompactStreams; ++i)
                compactDelta.rawBytes[i] = std::move(raw.streams[i]);
        }
        if (compactDelta.twin == 0 && !(newFileFlag && newLength == 0))
            twins->Note(index, name, newData, newLength);
    } catch (const std::bad_alloc&) {
        FreeBuffers();
        core_.Ask(PromptOwner::ProgressDialog,
                  "Unable to allocate enough memory to build Delvorin file.\n\nOperation cancelled!", "Delvorin Error",
                  PromptButtons::OK, PromptIcon::Stop);
        return 0;
    }
    oldPatches.clear();
    newPatches.clear();
    oldContent.clear();
    newContent.clear();
    // An empty new file replacing an old one still needs its (empty) delta; a new empty
    // file is made without one.
    compactDelta.present = !(newFileFlag && newLength == 0);
    if (progress)
        progress->SetFilePos(static_cast<int>(kProgressScale));
    return 1;
}
