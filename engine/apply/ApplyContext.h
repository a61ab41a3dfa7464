// What the records of one apply share: the open handle of the target folder that every
// name is resolved beneath, the replacements waiting for one disk flush, the memory of
// in-memory rebuilds, and the list of where the backups went.
#pragma once
#include "engine/apply/RebuildFile.h"
#include "engine/apply/ReplaceQueue.h"
#include "engine/common/CDirDiff.h"
#include "platform/FolderHandle.h"

#include <memory>
#include <string>

class CCompactReaders;

struct CApplyContext {
    CFolderHandle root;
    std::string rootPath; // the target folder as the user gave it, for messages
    CReplaceQueue* queue = nullptr;
    CRebuildBuffers buffers;
    BackupList* backups = nullptr;
    // The folder of the last record (relative name and handle): the records of one
    // folder follow each other, and opening it once for all of them saves two system
    // calls a file.
    std::string lastFolderName;
    std::shared_ptr<CFolderHandle> lastFolder;
    // A compact patch: its three streams, unpacked as the records go by (CompactRebuild.h).
    std::shared_ptr<CCompactReaders> compact;
};
