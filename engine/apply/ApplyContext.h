// What the records of one apply share: the open handle of the target folder that every
// name is resolved beneath, the replacements waiting for one disk flush, the memory of
// in-memory rebuilds, and the list of where the backups went.
#pragma once
#include "engine/apply/RebuildFile.h"
#include "engine/apply/ReplaceQueue.h"
#include "platform/FolderHandle.h"

#include <string>
#include <utility>
#include <vector>

struct CApplyContext {
    CFolderHandle root;
    std::string rootPath; // the target folder as the user gave it, for messages
    CReplaceQueue* queue = nullptr;
    CRebuildBuffers buffers;
    std::vector<std::pair<std::string, std::string>>* backups = nullptr; // target, backup
};
