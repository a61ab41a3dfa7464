#include "jobs/ApplyOutcome.h"

#include "jobs/ExitStatus.h"

std::vector<std::string> CApplyOutcome::ErrorLines() const
{
    std::vector<std::string> lines;
    for (const std::string& entry : errors) {
        size_t start = 0;
        while (start < entry.size()) {
            size_t end = entry.find('\n', start);
            if (end == std::string::npos)
                end = entry.size();
            if (end > start)
                lines.push_back(entry.substr(start, end - start));
            start = end + 1;
        }
    }
    return lines;
}

int ApplyExitStatus(const CApplyOutcome& outcome, int cancelledStatus)
{
    switch (outcome.kind) {
    case CApplyOutcome::Kind::Applied: return kExitOk;
    case CApplyOutcome::Kind::Cancelled: return cancelledStatus;
    // 3 only when the folder does not hold the files the patch was built against; a patch
    // that cannot be applied as it is (damaged, unsafe, a folder that cannot be written)
    // is a failure.
    case CApplyOutcome::Kind::NotMatching: return kExitNothingToDo;
    default: return kExitFailure;
    }
}

std::string UnfinishedApplyText(int filesUpdated, const std::string& again)
{
    if (filesUpdated <= 0)
        return "No file was updated: nothing was changed.";
    const std::string count = filesUpdated == 1 ? "1 file was" : std::to_string(filesUpdated) + " files were";
    return count + " updated; every other file is as it was.\n" + again + " finishes the job.";
}

std::string StoppedApplyText(const CApplyOutcome& outcome, const std::string& again, const std::string& failedText)
{
    const std::string first = outcome.kind == CApplyOutcome::Kind::Cancelled ? kApplyCancelledText : failedText;
    return first + "\n" + UnfinishedApplyText(outcome.filesUpdated, again);
}
