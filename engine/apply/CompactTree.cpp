#include "engine/apply/CompactTree.h"

#include "app/EngineHost.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/CompactPacked.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"
#include "platform/OpenFiles.h"

#include <algorithm>

void StartCompactTree(CApplyContext& context, size_t count)
{
    context.wantsDigest.assign(count, false);
    context.newDigests.assign(count, std::nullopt);
}

void AtCompactRecord(CApplyContext& context, size_t index, const CFilePatch& record)
{
    context.current = index;
    if (index < context.wantsDigest.size())
        context.wantsDigest[index] = record.compact && record.compactDelta.present;
}

void NoteCompactDigest(const CFilePatch& record, const CSha256::Digest& digest)
{
    CApplyContext* context = record.applyContext;
    if (context && record.compact && context->current < context->newDigests.size())
        context->newDigests[context->current] = digest;
    ConfirmCompactTwin(record);
}

bool CompactTreeMatches(const CApplyContext& context, IEngineHost& core)
{
    CSha256 tree;
    for (size_t i = 0; i < context.wantsDigest.size(); ++i) {
        if (!context.wantsDigest[i])
            continue;
        if (!context.newDigests[i])
            return false;
        tree.Update(context.newDigests[i]->data(), context.newDigests[i]->size());
    }
    const CSha256::Digest digest = tree.Final();
    return std::equal(digest.begin(), digest.end(), core.Image().compactTree.begin());
}

bool RebuildForCompactTree(const CFilePatch& record, IEngineHost& core, CApplyContext& context)
{
    const size_t i = context.current;
    if (i >= context.wantsDigest.size() || !context.wantsDigest[i] || context.newDigests[i])
        return true;
    // A target to be patched, as the verification found it; a new file copies nothing.
    CFileRef oldFd;
    if (!record.newFileFlag)
        oldFd = context.root.OpenForReading(record.name);
    CSha256::Digest digest;
    const CCompactRebuild rebuilt = RebuildCompact(
        record, core.Image().file.Fd(), oldFd, [](const unsigned char*, size_t, uint64_t) { return true; }, &digest);
    if (oldFd.Valid())
        fsys::CloseFile(oldFd);
    if (rebuilt != CCompactRebuild::Ok)
        return false;
    context.newDigests[i] = digest;
    ConfirmCompactTwin(record);
    return true;
}
