// Backups of an apply. The old file is kept beside its target under a name that nothing
// had: the target's name with its extension replaced (app.cfg -> app.bak), or, where
// that is taken, with a number before the extension (app.1.bak, app.2.bak, ...). An
// existing file is never replaced, so two targets that map to one backup name both
// keep theirs.
#pragma once
#include "platform/FileHandle.h"
#include "engine/common/CDirDiff.h"
#include "platform/FolderHandle.h"

#include <set>
#include <string>

class IEngineHost;

// The backup name of leaf with the extension: number 0 is the plain one.
std::string BackupName(const std::string& leaf, const std::string& ext, int number);

// Keeps the entry leaf of the folder under the first free backup name, which is put in
// backupLeaf. The backup is a second link to the old file where the file system allows
// it (no bytes are copied; the old file keeps its bytes, times and permissions, and the
// rename that puts the new file in place replaces only the target's name); with copy,
// or where no second link can be made, it is a copy read from oldFd, staged under a
// rebuild name and renamed to the free name. False when no backup could be made.
bool BackUpEntry(const CFolderHandle& folder, const std::string& leaf, CFileRef oldFd, bool copy, const std::string& ext,
                 std::string& backupLeaf);

// The backup name the entry leaf of the folder would take now: the first that no entry
// of the folder has and that is not in taken (names other backups of the same apply
// take first).
std::string FreeBackupName(const CFolderHandle& folder, const std::string& leaf, const std::string& ext,
                           const std::set<std::string>& taken);

// Says where the backup of target went: in the apply's list (when there is one) and in
// the log.
void NoteBackup(IEngineHost& core, BackupList* list, const std::string& target, const std::string& backupPath);
