// One build of a patch file, whichever front end asked for it: the checks of its inputs
// before anything is written, then the header, the build over the two folders and the
// finishing (compression, parts or the self-extracting form), with a typed outcome that
// the front end shows in its own way.
#pragma once
#include <string>

class CAppCore;
class CDirDiff;
class IBuildProgress;

// What a build is made from. The exclude and remove lists, the split size, the dialog
// text and the publisher stay where the front ends keep them: the engine object and the
// settings record of the core.
struct CBuildInputs {
    std::string oldFolder;
    std::string newFolder;
    std::string patchFile;
    std::string defaultFolder; // checked only when given
    bool selfExtract = false;
    // The windows refuse folder and file names that hold any of ? " < > * | \ (names the
    // patch's readers on other systems cannot use); the command line takes every name
    // the file system takes, as scripts have always given it.
    bool checkNameCharacters = true;
};

// Why a build was refused before it began, and which input the user should correct.
struct CBuildRefusal {
    enum class Reason {
        None,
        FoldersMissing,       // an old or new folder name is empty
        BadFolderName,        // a folder name holds a character a name cannot hold
        SameFolders,
        PatchNameMissing,
        BadPatchName,
        NotProgramName,       // a self-extracting program whose name does not end in "exe"
        PatchInsideNewFolder, // the work file would be taken for one of the new files
        SelfExtractSplit,     // the apply program is missing or cannot be split as asked
        ClassicOnlyForWindows, // a compact self-extracting program for Windows, which reads classic ones only
    };
    enum class Field { None, OldFolder, NewFolder, PatchFile, DefaultFolder };

    Reason reason = Reason::None;
    Field field = Field::None;
    std::string text; // the message the user sees

    explicit operator bool() const { return reason != Reason::None; }
};

struct CBuildOutcome {
    enum class Kind { Built, Identical, Refused, Failed, Cancelled };
    Kind kind = Kind::Failed;
    CBuildRefusal refusal; // Refused
    std::string message;   // Failed: what went wrong (empty when the failing step said it)
    bool reported = false; // Failed: the failing step has told the user already
};

class CBuildJob {
public:
    CBuildJob(CAppCore& core, CDirDiff& dirDiff, CBuildInputs inputs);

    // The checks of the inputs, in the order the Build page shows its fields. A patch
    // file name without a folder is taken as a file in the home folder (see Inputs()).
    CBuildRefusal Check();
    // The inputs as the build uses them.
    const CBuildInputs& Inputs() const { return inputs_; }

    // Checks the inputs, writes the header, builds and finishes the patch file, showing
    // progress where one is given. Whatever does not end in a patch file leaves no work
    // file behind.
    CBuildOutcome Run(IBuildProgress* progress);

private:
    CAppCore& core_;
    CDirDiff& dirDiff_;
    CBuildInputs inputs_;
};
