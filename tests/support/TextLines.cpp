#include "TextLines.h"

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(pos) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

testing::AssertionResult Contains(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos) // the message shows when a test expects the part not to be there
        return testing::AssertionSuccess() << "\"" << part << "\" is in:\n" << text;
    return testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}
