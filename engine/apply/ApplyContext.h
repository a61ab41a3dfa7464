// What the records of one apply share: the open handle of the target folder that every
// name is resolved beneath, the replacements waiting for one disk flush, the memory of
// in-memory rebuilds, and the list of where the backups went.
#pragma once
#include "engine/apply/FolderCache.h"
#include "engine/apply/RebuildFile.h"
#include "engine/apply/ReplaceQueue.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/Sha256.h"
#include "platform/FolderHandle.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CCompactReaders;
class CStagingWriter;

struct CApplyContext {
    CFolderHandle root;
    std::string rootPath; // the target folder as the user gave it, for messages
    // The folders of the records as the verification looks at them, each once.
    CFolderCache folders{root, rootPath};
    CReplaceQueue* queue = nullptr;
    // A staged apply: writes small new files beside the rebuild (StagingWriter.h).
    CStagingWriter* writer = nullptr;
    CRebuildBuffers buffers;
    BackupList* backups = nullptr;
    // The folders of the records (relative name and handle), each opened once for all
    // its records: that saves two system calls a file. A staged apply keeps every one
    // until its commit; otherwise only the last one is kept.
    std::unordered_map<std::string, std::shared_ptr<CFolderHandle>> openFolders;

    // Staged: every file is rebuilt and checked under its staged name first, and the
    // targets change only in the commit (renames, backups, times). Otherwise each file
    // is put in place as it is done, as far as the queue's limits let it wait.
    bool staged = false;
    // The folders the apply made for new files (relative, outermost first), removed
    // again when it stops before its commit.
    std::vector<std::string> madeFolders;
    // Those of them that hold nothing but what this apply puts there: a new file's name in
    // one needs no look before it is staged (what another program may put there meanwhile
    // could as well come after such a look; the commit's rename meets it either way).
    std::unordered_set<std::string> emptyMadeFolders;
    // Found while staging, reported together before anything changes: targets whose
    // rebuilt file does not come out as the patch says (the patch is damaged), and
    // targets another program has open for writing.
    std::vector<std::string> damaged;
    std::vector<std::string> inUse;
    // A compact patch: its three streams, unpacked as the records go by (CompactRebuild.h).
    std::shared_ptr<CCompactReaders> compact;
    // A compact patch: for every record with a delta (by record index), the SHA-256 of
    // its new content, as the verification found it in a target done already or a
    // rebuild made it. Together they must give the patch's digest of the new tree before
    // any target changes (CompactTree.h).
    std::vector<bool> wantsDigest;
    std::vector<std::optional<CSha256::Digest>> newDigests;
    size_t current = 0; // index of the record at hand
};
