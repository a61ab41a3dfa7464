#include "engine/build/WindowsNameCheck.h"

#include "engine/common/WindowsNames.h"

namespace {

// Lines beyond these are counted, not listed, so that the message stays on the screen.
constexpr size_t kListedLines = 20;

template <typename Item, typename Line>
std::string ListOf(const std::vector<Item>& items, Line line)
{
    std::string text;
    for (size_t i = 0; i < items.size() && i < kListedLines; ++i)
        text += "    " + line(items[i]) + "\n";
    if (items.size() > kListedLines)
        text += "    and " + std::to_string(items.size() - kListedLines) + " more\n";
    return text;
}

} // namespace

bool CheckNamesForWindows(const std::vector<std::string>& relativeNames,
                          const std::function<void(const std::string& text)>& warn, std::string& refusal)
{
    const CWindowsNameReport report = FindWindowsNameProblems(relativeNames);
    if (!report.caseTwins.empty()) {
        refusal = "The new files folder holds names that differ only in letter case:\n" +
                  ListOf(report.caseTwins, [](const auto& twin) { return twin.first + "  and  " + twin.second; }) +
                  "Windows takes each pair for one name, so the Windows apply program cannot create both.\n"
                  "Rename or exclude one of each pair.\nNo Delvorin file was created.";
        return false;
    }
    if (!report.unfit.empty())
        warn("These names in the new files folder cannot be created on Windows:\n" +
             ListOf(report.unfit,
                    [](const auto& name) { return name.first + "  (" + WindowsNameProblemText(name.second) + ")"; }) +
             "The Windows apply program will refuse this patch until they are renamed or excluded.");
    return true;
}
