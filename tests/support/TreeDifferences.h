// Folder trees compared in tests by the names of the files that differ, so a failure
// names them instead of printing binary contents.
#pragma once
#include <map>
#include <string>

// " missing:NAME", " differs:NAME" and " extra:NAME" for every file in which actual
// (relative path -> content, as SnapshotTree gives it) differs from expected; empty
// when the two are equal.
std::string TreeDifferences(const std::map<std::string, std::string>& actual,
                            const std::map<std::string, std::string>& expected);
