#include "stub/AdministratorOffer.h"

std::string AdministratorQuestion(const std::string& folder)
{
    return "You may not change files in the folder:\n" + folder +
           "\nStart the patch again as an administrator to update it?";
}

std::string RestartCommandLine(const CStubChoice& choice)
{
    std::string line;
    if (choice.backup)
        line = QuoteWindowsArgument("--backup=" + choice.backupExt) + " ";
    return line + "-- " + QuoteWindowsArgument(choice.folder);
}

std::string QuoteWindowsArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes in front of a quote are doubled, and the quote escaped by one more.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // Those in front of the closing quote are doubled so that it stays a closing quote.
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}
