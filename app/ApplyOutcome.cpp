#include "app/ApplyOutcome.h"

std::string UnfinishedApplyText(int filesUpdated, const std::string& again)
{
    if (filesUpdated <= 0)
        return "No file was updated: nothing was changed.";
    const std::string count = filesUpdated == 1 ? "1 file was" : std::to_string(filesUpdated) + " files were";
    return count + " updated; every other file is as it was.\n" + again + " finishes the job.";
}
