#include "app/StringTable.h"

#include <map>

namespace {

const std::map<int, std::string>& Table()
{
    static const std::map<int, std::string> table = {
        {101, "&About Delvorin..."},
        {103, "Delvorin 1.2"},
        {104, "Building Patch File"},
        {105, "You must specify two folders to build a patch file."},
        {107, "You must specify different folder names for the old files folder\n"
              "and the new files folder to build a patch file."},
        {108, "The folder for the old files does not exist."},
        {109, "The folder for the new files does not exist."},
        {110, "An error occurred while building the list of files to patch.\n\n"
              "For more information check the online help file or contact Quenmark Technical Support."},
        {111, "An error occurred while building the patch file.\n\n"
              "For more information refer to the online help file or contact Quenmark Technical support."},
        {112, "Please specify a patch file name."},
        {114, "Applying Patch"},
        {115, "Please specify a folder name to apply the patch file to."},
        {120, "Delvorin Error"},
        {122, "Wizard"},
        {123, "Please specify the folder for the old files to be analyzed before continuing."},
        {124, "Please specify the folder for the new files to be analyzed before continuing."},
        {125, "To create a self-extracting patch program,\nthe file name extension must be \".exe\""},
        {126, "The Delvorin file you are applying is a self-extracting\nexecutable, do you want to execute it?"},
        {127, "Cannot find the file \"DvApply.exe\" in the Delvorin folder.\n"
              "This file is required for creating self-extracting patch files. \n"
              " You must either reinstall Delvorin or copy DvApply.exe to the\n"
              "Delvorin folder to create a self-extracting patch file."},
        {128, "The value you typed in must be numeric.  Please correct before choosing OK."},
        {129, "A folder name cannot contain any of the following characters:\n/:*?\\\"<>|"},
        {130, "A file name cannot contain any of the following characters:\n\\/:*?\\\"<>|"},
    };
    return table;
}

} // namespace

const std::string& LoadString(int id)
{
    static const std::string empty;
    auto it = Table().find(id);
    return it == Table().end() ? empty : it->second;
}
