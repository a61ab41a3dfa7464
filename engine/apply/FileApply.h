// Applying one file record to its target, as a sequence of steps that every kind of
// record goes through: find the target's folder, check the target, stage the new file
// beside it, rebuild into it, check the result, back up the old file, put the new one
// in place. Until the last step the target is only read; then a complete and checked
// file takes its name in one rename. A record without objects only gives the target
// its times.
//
// Each step either lets the record go on or ends it with the record's result: 1 to go
// on with the next record (the file is done, passed over, or was done already by an
// earlier apply of the same patch), 0 to abandon the apply (the user has been told).
#pragma once
#include "platform/FileHandle.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/CompactRebuild.h"
#include "engine/apply/RebuildFile.h"
#include "engine/apply/Verification.h"

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

class IEngineHost;
class CFilePatch;

class CFileApply {
public:
    CFileApply(CFilePatch& record, CApplyContext& context, bool backup, const std::string& backupExt);
    ~CFileApply();
    CFileApply(const CFileApply&) = delete;
    CFileApply& operator=(const CFileApply&) = delete;

    int Run();

private:
    // The steps.
    bool FindFolder();
    bool CheckTarget();
    bool Stage();
    bool Rebuild();
    bool RebuildObjectByObject();
    bool RebuildCompactFile(const CCompactWriter& write, const std::string& stagedPath);
    // A small new file with nothing at its name: rebuilt and checked in memory, and
    // handed to the apply's staging writer. The record's result.
    int StageBeside();
    bool CheckResult();
    // True when the staged file is the new file the record describes (length is given
    // by construction; its byte sum, rebuiltSum_).
    bool NewFileMatches() const;
    bool BackupTargetFile();
    bool ReplaceTargetFile();
    // A record without objects, once its target has passed the check.
    int GiveTimesOnly();

    // How a step ends a record.
    bool Done();                          // the target holds the new file already
    bool TargetModified();                // the question (a record without objects passes silently)
    bool Fail(const std::string& text);   // tells, and abandons the apply
    bool Damaged();                       // the patch is damaged: listed, and abandons the apply
    // Takes the outcome of the check beside the rebuild: true when the target is the
    // old file; otherwise ends the record as if the check had come first.
    bool TargetStillOld();
    void LogObject(size_t index, const CNewPatch& object);
    // Says where the target's backup went: in the apply's list and in the log.
    void NoteBackup(const std::string& backupLeaf);
    // The first backup name of the target, for messages.
    std::string BackupShown() const;

    CFilePatch& record_;
    CApplyContext& context_;
    IEngineHost& core_;
    const bool backup_;
    const std::string backupExt_;
    const std::string target_; // the full path, for messages
    int result_ = 0;

    std::shared_ptr<CFolderHandle> folder_;
    std::string folderPath_; // the target's folder, for messages
    std::string leaf_;
    bool existed_ = false; // something was at the target's name before
    bool inEmptyMadeFolder_ = false; // the folder was made empty by this apply
    CFileRef oldFd_;       // the old file, open for reading
    uint64_t oldSize_ = 0;
    std::future<std::optional<CContentSummary>> besideCheck_;

    bool inMemory_ = false;
    uint64_t spanFirst_ = 0;
    uint64_t spanEnd_ = 0;
    std::string staged_; // the staged file's name in the folder, until it is handed on
    bool modeGiven_ = false; // the staged file was made with a new file's permissions
    CRebuildFile out_;
    bool backupInCommit_ = false; // a staged apply backs the target up in its commit
    CContentSummary rebuilt_; // of the staged file, for the result check
    bool logging_ = false;
};
