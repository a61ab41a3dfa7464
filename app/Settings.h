// The Settings record: the persisted parameters of the last build and the last apply.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class CProfile;

struct CSettings {
    int logFile = 0;              // "LogFile"
    std::string backupExt = "bak"; // "BackupExt"
    std::string newFolder;        // "NewFolder"
    std::string oldFolder;        // "OldFolder"
    std::string applyFolder;      // "ApplyFolder"
    std::string patchFile;        // "PatchFile"
    std::string applyPatchFile;   // "ApplyPatchFile"
    int backup = 0;               // "Backup"
    int selfExtract = 0;          // "Self-Extract"
    int defaultEqualsNew = 1;     // "DefaultEqualsNew"
    uint16_t splitSize = 0;       // "SplitSize", in units of 1,000 bytes
    std::string defaultFolder;    // "DefaultFolder"
    std::string dialogText;       // "DialogText", may hold line breaks
    int thorough = 0;             // "Thorough": byte-granular matching and the strongest compression
    int compact = 0;              // "PatchFormat": 1 the compact patch format, 0 the classic one (the
                                  // profile holds the key only once compact was chosen)
    int forWindows = 0;           // "SelfExtractFor": 1 when "windows", the program a self-extracting
                                  // patch is made for (the profile holds the key only once Windows
                                  // was chosen)
    // The build's lists, kept like the folders: "RemoveCount" and "Remove1".."RemoveN",
    // "ExcludeCount" and "Exclude1".."ExcludeN". A profile without them has empty lists.
    std::vector<std::string> removeList;
    std::vector<std::string> excludeList;

    // Reads every field from section "Settings" in the start-up order; a missing key
    // gives the field's default.
    void Load(const CProfile& profile);
    // Writes every field back in the shut-down order (empty strings as empty strings).
    void Save(CProfile& profile) const;
};
