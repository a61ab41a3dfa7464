#include "jobs/ApplyJob.h"

#include "app/AppCore.h"
#include "container/CPatchDoc.h"
#include "engine/apply/BackupReport.h"
#include "engine/common/CDirDiff.h"

CApplyJob::CApplyJob(CAppCore& core, CDirDiff& dirDiff, std::string patchFile)
    : core_(core), dirDiff_(dirDiff), patchFile_(std::move(patchFile))
{
    openFailure_.kind = CApplyOutcome::Kind::Damaged;
}

CApplyJob::~CApplyJob()
{
    Close();
}

void CApplyJob::AllowFileByFile(bool allowed)
{
    dirDiff_.fileByFile = allowed ? CDirDiff::FileByFile::Allowed : CDirDiff::FileByFile::Refused;
}

void CApplyJob::SetOwner(PromptOwner owner)
{
    if (doc_)
        doc_->SetOwner(owner);
}

bool CApplyJob::Open()
{
    Close();
    doc_ = std::make_unique<CPatchDoc>(core_, dirDiff_, patchFile_);
    doc_->SetSelfExtract(selfExtract_);
    if (doc_->ReadPatchHeader())
        return true;
    doc_->ClosePatchFile();
    openFailure_.message = doc_->WithFailureCause("Error opening patch file");
    openFailure_.reported = doc_->Reported();
    doc_.reset();
    return false;
}

const CPatchHeader& CApplyJob::Header() const
{
    static const CPatchHeader empty;
    return doc_ ? doc_->Header() : empty;
}

bool CApplyJob::StartPass(const std::string& folder)
{
    if (!doc_)
        return false;
    dirDiff_.ClearErrors();
    // A pass that refused an earlier folder has read records: start again at the first.
    if (recordsRead_ && !doc_->RewindToFileRecords())
        return false;
    recordsRead_ = true;
    dirDiff_.TargetFolder() = folder;
    core_.image.filesUpdated = 0;
    return true;
}

CApplyOutcome CApplyJob::Apply(const std::string& folder, int& backup, const std::string& backupExt,
                               IApplyProgress* progress)
{
    if (!StartPass(folder))
        return Outcome(0);
    return Outcome(dirDiff_.ApplyPatch(*doc_, backup, backupExt, progress));
}

CApplyOutcome CApplyJob::Verify(const std::string& folder, IApplyProgress* progress)
{
    if (!StartPass(folder))
        return Outcome(0);
    return Outcome(dirDiff_.VerifyPatch(*doc_, progress));
}

CApplyOutcome CApplyJob::Outcome(int result) const
{
    using Kind = CApplyOutcome::Kind;
    CApplyOutcome outcome;
    if (result > 0)
        outcome.kind = Kind::Applied;
    else if (result < 0)
        outcome.kind = Kind::Cancelled;
    else if (dirDiff_.failure)
        outcome.kind = dirDiff_.TargetDoesNotMatch() ? Kind::NotMatching : Kind::Refused;
    else
        outcome.kind = Kind::Failed;
    if (outcome.VerificationFailed())
        outcome.errors = dirDiff_.ErrorEntries();
    outcome.backupLines = BackupLines(dirDiff_.TargetFolder(), dirDiff_.backups);
    outcome.filesUpdated = core_.image.filesUpdated;
    outcome.changedNothing = dirDiff_.changedNothing;
    outcome.needsFileByFile = dirDiff_.needsFileByFile;
    return outcome;
}

void CApplyJob::Close()
{
    if (doc_) {
        doc_->ClosePatchFile();
        doc_.reset();
    }
    recordsRead_ = false;
}
