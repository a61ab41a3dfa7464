// Project files (".dvj"): the parameters of one build saved in the INI layout so that
// the same patch can be built again later. The Build page, the Wizard and the
// command-line program share this logic; the windows only ask for the file name and
// show the fields.
//
// Layout, in the order a save writes it:
//   [Delvorin]
//   DefaultEqualsNew=true|false    PatchFile=...     SelfExtract=true|false
//   DialogText=...                 OldFolder=...     NewFolder=...
//   DefaultFolder=...              NumberOfNamesToExclude=N
//   NumberOfNamesToDelete=N        SplitSize=KB
//   Thorough=true                  (only when on: a file without it builds as always)
//   PatchFormat=compact            (only when chosen: a file without it builds classic patches)
//   SelfExtractFor=windows         (only when chosen: a file without it makes the Linux program)
//   [DelvorinFilesToDelete]    FileNameToDelete0=... (the remove list; no section when empty)
//   [DelvorinFilesToExclude]   FileNameToExclude0=... (the exclude list; no section when empty)
// A dialog text holding line breaks does not survive: only its first line is read back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct CSettings;

inline constexpr const char* kProjectExtension = "dvj";
inline constexpr const char* kProjectSection = "Delvorin";
inline constexpr const char* kProjectDeleteSection = "DelvorinFilesToDelete";
inline constexpr const char* kProjectExcludeSection = "DelvorinFilesToExclude";

struct CProjectData {
    std::string patchFile;
    uint16_t splitSize = 0;        // KB, 0 for no splitting
    bool thorough = false;         // thorough matching: on only when the value is exactly "true"
    bool compact = false;          // the compact patch format: only when the value is exactly "compact"
    bool forWindows = false;       // the Windows apply program: only when the value is exactly "windows"
    bool selfExtract = true;
    bool defaultEqualsNew = true;  // the default apply folder follows the old files folder
    std::string dialogText;
    std::string oldFolder;
    std::string newFolder;
    std::string defaultFolder;
    std::vector<std::string> removeList;  // full paths of old-folder files the patch deletes
    std::vector<std::string> excludeList; // full paths of new-folder files left out

    // Filled by reading: the keys whose path was longer than a value read can hold.
    // Such a path is taken as empty rather than cut short, since a cut path names some
    // other file or folder (a remove entry cut short would delete the wrong file).
    std::vector<std::string> overlongKeys;
};

// Reads a project. A flag is on unless its value is exactly "false" (so a missing key
// turns it on); the split size keeps the low 16 bits of its number. The counts say how
// many entries each list has: an entry whose key is missing adds an empty name, and a
// name is kept once per list. A path value longer than 254 characters reads as empty
// and its key is listed in overlongKeys (the dialog text is simply cut, as any value
// is). A file that cannot be read gives the values of a file
// with every key missing and returns false.
bool ReadProjectFile(const std::string& path, CProjectData& project);

// Writes a project, replacing the file. False when the file could not be written.
bool WriteProjectFile(const std::string& path, const CProjectData& project);

// The path a project is saved under: ".dvj" is appended only when the chosen path holds
// no "." at all ("/proj/build1" -> "/proj/build1.dvj", "/proj.old/build1" unchanged).
std::string ProjectPathWithExtension(const std::string& path);

// Open Project, the settings part: "PatchFile", "SplitSize", "Self-Extract", "Thorough",
// "DefaultEqualsNew", "DialogText", "NewFolder" and "DefaultFolder" take the project's
// values, "OldFolder" does not (the old folder goes to the window's field only).
void ProjectToSettings(const CProjectData& project, CSettings& settings);

// The project as the settings record holds it, without the two lists: the window puts its
// own field values over the fields it shows.
CProjectData ProjectFromSettings(const CSettings& settings);

// Clear Project of the Build page, the settings part: "LogFile" 0, old and new folder,
// patch file and default folder empty, "Self-Extract" and "DefaultEqualsNew" 1,
// "Thorough" 0; "DialogText" and "SplitSize" keep their values.
void ClearBuildPageSettings(CSettings& settings);

// Clear Project of the Wizard, the settings part: as the Build page's, but "DialogText" is
// emptied too, "SplitSize" becomes 0 and "LogFile" is left alone.
void ClearWizardSettings(CSettings& settings);
