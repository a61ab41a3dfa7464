// Where the backups of an apply went, in the words every front end shows after a
// successful apply: the apply's own message first, then the heading and one line per
// backup, "sub/app.cfg: /home/user/app/sub/app.bak" (the target below the folder the
// patch was applied to, the backup by its full path so that it can be found).
#pragma once
#include "engine/common/CDirDiff.h"

#include <string>
#include <vector>

inline constexpr const char* kBackupHeading = "Backups of the replaced files:";

// One line per backup, in the order they were made; empty when no backup was made.
std::vector<std::string> BackupLines(const std::string& folder, const BackupList& backups);

// The heading and the lines, each ended by a line feed, for a terminal; "" when there
// are no lines.
std::string BackupParagraph(const std::vector<std::string>& lines);
