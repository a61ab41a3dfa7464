#include "engine/apply/CompactTree.h"

#include "app/EngineHost.h"
#include "engine/apply/ApplyContext.h"
#include "engine/apply/CompactRebuild.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/OpenPatch.h"
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

bool RebuildCompactTree(IOpenPatch& doc, IEngineHost& core, CApplyContext& context)
{
    if (!doc.RewindToFileRecords())
        return false;
    const CFileRef imageFd = core.Image().file.Fd();
    for (size_t i = 0; i < context.wantsDigest.size(); ++i) {
        CFilePatch record(core);
        record.applyContext = &context;
        if (!record.ReadWrite(false))
            return false;
        if (!context.wantsDigest[i] || context.newDigests[i])
            continue;
        context.current = i;
        // A target to be patched, as the verification found it; a new file copies nothing.
        CFileRef oldFd;
        if (!record.newFileFlag)
            oldFd = context.root.OpenForReading(record.name);
        CSha256::Digest digest;
        const CCompactRebuild rebuilt = RebuildCompact(
            record, imageFd, oldFd, [](const unsigned char*, size_t, uint64_t) { return true; }, &digest);
        if (oldFd.Valid())
            fsys::CloseFile(oldFd);
        if (rebuilt != CCompactRebuild::Ok)
            return false;
        context.newDigests[i] = digest;
    }
    return CompactTreeMatches(context, core);
}
