// The progress report of a matcher: moves the file bar and asks the cancel question
// when Cancel was pressed.
#pragma once
#include "app/EngineHost.h"
#include "platform/Progress.h"

#include <functional>

// Called with the share of the file done (0 to 1); false when a cancel was confirmed.
using CBuildReport = std::function<bool(double done)>;

inline CBuildReport BuildReport(IEngineHost& core, IBuildProgress* progress, double scale)
{
    return [&core, progress, scale](double done) {
        if (!progress)
            return true;
        if (progress->CheckCancelButton() &&
            core.Ask(PromptOwner::ProgressDialog,
                     "If you cancel the Delvorin build process, the patch\nfile will not be created!\n\n"
                     "Do you really want to cancel this process?",
                     "Delvorin Warning", PromptButtons::YesNo) == PromptAnswer::Yes)
            return false;
        progress->SetFilePos(static_cast<int>(done * scale));
        return true;
    };
}
