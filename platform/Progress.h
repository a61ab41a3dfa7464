// The progress calls the engine makes while it builds or applies a patch. The progress
// dialogs implement them with real windows, the command-line program with a bar on the
// terminal, the tests by recording the calls.
#pragma once
#include <string>

// The question a Cancel during a build asks before the build stops.
inline constexpr char kBuildCancelQuestion[] = "If you cancel the Delvorin build process, the patch\nfile will not be "
                                               "created!\n\nDo you really want to cancel this process?";

class IBuildProgress {
public:
    virtual ~IBuildProgress() = default;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetFileName(const std::string& text) = 0;
    virtual void SetOverallPos(int pos) = 0;
    virtual void SetFilePos(int pos) = 0;
    // True when Cancel was pressed since the last question; the request is then forgotten.
    virtual bool CheckCancelButton() = 0;
};

class IApplyProgress {
public:
    virtual ~IApplyProgress() = default;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetPos(int pos) = 0;
    virtual bool CheckCancelButton() = 0;
};

// The text of a percentage label beside a bar at position pos of the range lower..upper:
// a truncated percentage, taken modulo 100 unless it is exactly 100, followed by '%'.
std::string PercentLabel(int pos, int lower = 0, int upper = 100);
