// The digest of the new tree of a compact patch. A compact record carries no digest of
// its own (but where its old and new content agree in length and byte sum), so the
// apply gathers the SHA-256 of every record's new content, from a target that holds it
// already or from the rebuild, and checks that together they give the patch's digest
// before any target changes: a target of the wrong content, or damaged streams, make a
// rebuild, and so the digest, come out wrong.
#pragma once
#include "engine/common/Sha256.h"

#include <cstddef>

struct CApplyContext;
class CFilePatch;
class IEngineHost;
class IOpenPatch;

// Makes room for the digests of a patch of count records.
void StartCompactTree(CApplyContext& context, size_t count);
// The record of this index is at hand: its digest is wanted when it has a delta.
void AtCompactRecord(CApplyContext& context, size_t index, const CFilePatch& record);
// Notes the digest of the new content of the record at hand.
void NoteCompactDigest(const CFilePatch& record, const CSha256::Digest& digest);
// True when every record with a delta has its digest and together they give the
// patch's digest of the new tree.
bool CompactTreeMatches(const CApplyContext& context, IEngineHost& core);
// For an apply that replaces files as it goes, and for a verification, before anything
// changes: rebuilds the record at hand without writing anything when its digest is not
// known yet, and notes the digest. False when it cannot be rebuilt.
bool RebuildForCompactTree(const CFilePatch& record, IEngineHost& core, CApplyContext& context);
