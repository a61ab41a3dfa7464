// One apply of a hand-made patch file to a target folder, as the front ends run it:
// the patch file is written from records and remove entries, opened, verified and
// applied, and what the user was told and the errors table are kept for the test.
#pragma once
#include "support/PatchImage.h"
#include "support/TestFolder.h"

#include "platform/Progress.h"
#include "platform/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CAppCore;

class CApplyRun {
public:
    explicit CApplyRun(CTestFolder& root);

    // Writes the patch file from records and remove entries (stored form), and the
    // trailer of strong checks when given.
    void Craft(const std::vector<image::Record>& records, const std::vector<std::string>& removes = {},
               const std::string& checks = "");
    // Opens the patch file and applies it to target (verifyOnly: only verifies it): the
    // result, or 99 when the patch file could not be opened. The log goes to logFile when
    // set; setup may change the application core first.
    int Apply(int backup = 0, const std::string& ext = "bak", IApplyProgress* progress = nullptr,
              const std::function<void(CAppCore&)>& setup = nullptr, bool verifyOnly = false);
    // Applies (verifyOnly: only verifies) and expects the apply refused with exactly these
    // errors, nothing told and the target folder as it was.
    void ExpectRefused(const std::vector<std::string>& wantedErrors, bool verifyOnly = false);
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

// Opens patchFile with core and applies it to target without backups: the result, or 99
// when the patch file could not be opened; errors (when given) receives the errors table.
int ApplyPatchFile(CAppCore& core, const std::string& patchFile, const std::string& target,
                   IApplyProgress* progress = nullptr, std::vector<std::string>* errors = nullptr);

// A test with its own scratch folder and an apply run on it.
class CApplyRunTest : public testing::Test {
protected:
    CTestFolder root;
    CApplyRun run{root};
};
