// The progress of the last steps of a build (compressing the patch image, writing or
// splitting the patch file, composing the self-extracting program): the bytes done of
// the total in the status line and on the file bar, and Cancel with the question of the
// file phase. Without a progress object every step goes on to its end.
#pragma once
#include "platform/Progress.h"

#include <cstdint>
#include <string>

class IEngineHost;

class CPackagingProgress {
public:
    // step is the status text ("Compressing Delvorin File..."); total the bytes it handles.
    CPackagingProgress(IEngineHost& core, IBuildProgress* progress, const std::string& step, const std::string& fileName,
                       uint64_t total);
    // Shows that done bytes of the total are handled and takes a cancel request: false
    // once the user confirmed that the build is to be cancelled, and from then on (a
    // cancel confirmed when the step began is kept for its first check).
    bool Reached(uint64_t done);
    bool Advance(uint64_t count) { return Reached(done_ + count); }

private:
    IEngineHost& core_;
    IBuildProgress* progress_;
    std::string step_;
    uint64_t total_;
    uint64_t done_ = 0;
    bool cancelled_ = false;
};

// "12.5 MB", "300 KB", "12 bytes": an amount of bytes as the status line shows it.
std::string ByteAmountText(uint64_t bytes);
