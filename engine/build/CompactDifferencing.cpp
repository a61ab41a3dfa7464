// The compact record of one file pair: byte sums, SHA-256 of both contents and the
// delta's three streams, made from the contents CreatePatch loaded. The record writer
// adds the streams to the patch's; they are packed when the patch file is made.
#include "app/EngineHost.h"
#include "engine/build/BuildReport.h"
#include "engine/build/CompactMatcher.h"
#include "engine/common/CFilePatch.h"
#include "platform/Progress.h"

#include <cstring>
#include <future>
#include <new>
#include <system_error>

namespace {
constexpr double kProgressScale = 90.0;
}

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
    try {
        // The strong checks are taken beside the matching.
        std::future<void> sums;
        auto takeSums = [&] {
            oldByteSum = ByteSum(oldData, oldLength);
            newByteSum = ByteSum(newData, newLength);
            oldSha = CSha256::Of(oldData, oldLength);
            newSha = CSha256::Of(newData, newLength);
        };
        try {
            sums = std::async(std::launch::async, takeSums);
        } catch (const std::system_error&) {
            takeSums();
        }
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
        for (int i = 0; i < kCompactStreams; ++i)
            compactDelta.rawBytes[i] = std::move(raw.streams[i]);
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
