// File differencing by the thorough matcher: the objects of a changed file found at
// byte granularity, laid out for the smallest compressed record, and one log line that
// names the matcher and counts the objects.
#include "app/EngineHost.h"
#include "engine/build/BuildReport.h"
#include "engine/build/NewDataOrder.h"
#include "engine/build/ThoroughMatcher.h"
#include "engine/common/CFilePatch.h"
#include "platform/Progress.h"

namespace {

constexpr double kProgressScale = 90.0;

} // namespace

int CFilePatch::MatchThoroughly(const std::string& oldFilePath, IBuildProgress* progress)
{
    const unsigned char* oldData = oldContent.data();
    const unsigned char* newData = newContent.data();
    oldByteSum = ByteSum(oldData, oldLength);
    newByteSum = ByteSum(newData, newLength);

    const CBuildReport report = BuildReport(core_, progress, kProgressScale);

    std::vector<COldPatch> matches;
    {
        const CThoroughMatcher matcher(oldData, oldLength);
        if (!matcher.Match(newData, newLength, matches, report))
            return -1;
    }
    CThoroughMatcher::LayOut(matches, newLength, oldPatches, newPatches);
    OrderNewData(newPatches, newData);

    if (core_.LogEnabled()) {
        uint64_t copied = 0, carried = 0;
        for (const COldPatch& o : oldPatches)
            copied += o.length;
        for (const CNewPatch& n : newPatches)
            carried += n.length;
        core_.AppendToLogFile("Thorough matching ( " + oldFilePath + " -> " + name + " ): " +
                              std::to_string(oldPatches.size()) + " old patches, " + std::to_string(copied) +
                              " bytes; " + std::to_string(newPatches.size()) + " new patches, " +
                              std::to_string(carried) + " bytes");
    }
    return 1;
}
