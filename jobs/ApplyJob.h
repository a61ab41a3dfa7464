// One apply of a patch file to a folder, whichever front end asked for it: opening the
// patch (joining its parts, decompressing, reading the header), the verification and
// the apply, and a typed outcome that the front end shows in its own way. The job owns
// its patch document; the patch stays open between applies, so a front end may try
// another folder after one that did not match.
#pragma once
#include "jobs/ApplyOutcome.h"
#include "platform/UserPrompt.h"

#include <memory>
#include <string>

class CAppCore;
class CDirDiff;
class CPatchDoc;
class IApplyProgress;
struct CPatchHeader;

class CApplyJob {
public:
    CApplyJob(CAppCore& core, CDirDiff& dirDiff, std::string patchFile);
    ~CApplyJob();
    CApplyJob(const CApplyJob&) = delete;
    CApplyJob& operator=(const CApplyJob&) = delete;

    // Reads the patch as a self-extracting patch program whatever the file is called.
    void SetSelfExtract(bool flag) { selfExtract_ = flag; }
    // Where the disk lacks room to stage every file first, the files are replaced one by
    // one only when allowed (else the apply is refused).
    void AllowFileByFile(bool allowed);
    // Whom the messages of the apply itself belong to (the progress dialog's owner).
    void SetOwner(PromptOwner owner);

    // Opens the patch file. False when it cannot be read: OpenFailure() says why.
    bool Open();
    const CApplyOutcome& OpenFailure() const { return openFailure_; }
    bool IsOpen() const { return doc_ != nullptr; }
    // The header of the open patch (an empty one when none is open).
    const CPatchHeader& Header() const;

    // Verifies folder against the patch and, when every file matches, applies it.
    CApplyOutcome Apply(const std::string& folder, int& backup, const std::string& backupExt,
                        IApplyProgress* progress);
    // The verification alone: changes nothing. Applied means the patch can be applied.
    CApplyOutcome Verify(const std::string& folder, IApplyProgress* progress);

    // Closes the patch image and removes the temporary files.
    void Close();

private:
    bool StartPass(const std::string& folder);
    CApplyOutcome Outcome(int result) const;

    CAppCore& core_;
    CDirDiff& dirDiff_;
    std::string patchFile_;
    bool selfExtract_ = false;
    std::unique_ptr<CPatchDoc> doc_;
    bool recordsRead_ = false;
    CApplyOutcome openFailure_;
};
