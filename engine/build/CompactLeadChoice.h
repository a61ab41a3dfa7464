// The build's choice of the files left alone that lead a compact patch's literals
// (CompactLead.h): for every small new or changed file, the files of its folder that are
// the same in both trees and share the most of the text it brings, a few each.
#pragma once
#include "engine/common/CompactLead.h"

#include <functional>
#include <string>
#include <vector>

struct CLeadTrees {
    std::string oldFolder, newFolder;
    // Relative names ('/' between components) of the files of the new tree the build takes.
    std::vector<std::string> newFiles;
    // True for a relative name the patch removes.
    std::function<bool(const std::string&)> removed;
};

CCompactLead ChooseCompactLead(const CLeadTrees& trees);
