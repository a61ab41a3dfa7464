// The Windows apply program carries no zstd decoder, so it reads classic patches only: a
// compact patch is refused plainly when it is opened, and nothing of it is ever rebuilt.
// These stand in for the compact reader and rebuild of the Linux programs.
#include "container/CPatchDoc.h"
#include "engine/apply/CompactRebuild.h"

namespace {

constexpr const char* kClassicOnly =
    "\nis a compact patch, which this program for Windows cannot read: the publisher must build it in the "
    "classic format. Nothing has been changed.";

} // namespace

bool CPatchDoc::UnpackCompactImage()
{
    ShowError("The Delvorin file:\n" + pathName_ + kClassicOnly, PromptOwner::MainWindow);
    return false;
}

bool CPatchDoc::ReadCompactHeader()
{
    failureCause_ = pathName_ + kClassicOnly;
    return false;
}

// No compact stream is ever open in this program.
void CPatchDoc::RemoveCompactStreams() {}

bool CompactControlsValid(const CFilePatch&, CFileRef)
{
    return false;
}

CCompactRebuild RebuildCompact(const CFilePatch&, CFileRef, CFileRef, const CCompactWriter&)
{
    return CCompactRebuild::Damaged;
}
