// The apply's reading of the files a compact patch leaves alone that lead its literals
// (CompactLead.h in engine/common): each beneath the target folder, one name at a time,
// a link or anything but a regular file refused, and all of them checked against their
// lengths and the digest of their contents before anything changes.
#pragma once
#include "engine/common/CompactLead.h"

#include <string>

class CFolderHandle;

enum class CLeadFound { Read, NotAllowed, Missing, Different };

// Reads the lead's files below root into lead.content (loaded once they all match);
// problem receives the relative name of a file not allowed (a name that climbs out or is
// absolute), missing or different, or is left empty when the digest of several differs.
CLeadFound LoadCompactLead(CCompactLead& lead, const CFolderHandle& root, std::string& problem);
