// One apply of a hand-made patch file to a target folder, as the front ends run it:
// the patch file is written from records and remove entries, opened, verified and
// applied, and what the user was told and the errors table are kept for the test.
#pragma once
#include "support/PatchImage.h"
#include "support/TestFolder.h"

#include "platform/Progress.h"
#include "platform/ScriptedPrompt.h"

#include <string>
#include <utility>
#include <vector>

class CApplyRun {
public:
    explicit CApplyRun(CTestFolder& root);

    // Writes the patch file from records and remove entries (stored form).
    void Craft(const std::vector<image::Record>& records, const std::vector<std::string>& removes = {});
    // Opens the patch file and applies it to target: the result of the apply, or 99
    // when the patch file could not be opened. The log goes to logFile when set.
    int Apply(int backup = 0, const std::string& ext = "bak", IApplyProgress* progress = nullptr);
    // The texts the user was shown.
    std::vector<std::string> Texts() const;

    CTestFolder& root;
    CScriptedPrompt prompt;
    std::string target, patchFile, logFile;
    // Names Windows cannot hold are refused, as by the program for Windows.
    bool windowsNames = false;
    std::vector<std::string> errors;
    int failure = 0;
    bool mismatchOnly = false;
    std::vector<std::pair<std::string, std::string>> backups;
};
