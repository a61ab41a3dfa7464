// Applying one file record to its target (the steps are those of CFileApply).
#include "engine/apply/ApplyContext.h"
#include "engine/apply/FileApply.h"
#include "engine/apply/SafeNames.h"
#include "engine/common/CFilePatch.h"

int CFilePatch::ApplyFileRecord(int& backup, const std::string& backupExt, IApplyProgress* /*progress*/)
{
    if (applyContext)
        return CFileApply(*this, *applyContext, backup != 0, backupExt).Run();
    // A record applied on its own shares nothing: the folder its target path names is
    // opened for it, and its replacement is put in place at once.
    CApplyContext context;
    CReplaceQueue queue(core_);
    context.queue = &queue;
    if (!TargetFolderOf(oldPath, name, context.rootPath) || !context.root.Open(context.rootPath))
        return 0;
    int result = CFileApply(*this, context, backup != 0, backupExt).Run();
    return queue.Flush() ? result : 0;
}
