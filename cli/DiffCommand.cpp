// delvorin-cli diff: how the differencing describes one new file against one old file.
#include "app/AppCore.h"
#include "cli/Commands.h"
#include "terminal/Terminal.h"
#include "engine/common/CFilePatch.h"
#include "platform/FileSystem.h"

#include <cstdio>
#include <iostream>

namespace {

std::string Hex(unsigned char value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", value);
    return buf;
}

int RunDiff(const std::vector<std::string>& args)
{
    if (args.size() != 2 || (!args[0].empty() && args[0][0] == '-') || (!args[1].empty() && args[1][0] == '-') ||
        args[0].empty() || args[1].empty()) {
        PrintError("diff needs OLD_FILE NEW_FILE (see --help)");
        return kExitUsage;
    }
    const std::string& oldPath = args[0];
    const std::string& newPath = args[1];

    CTerminalPrompt prompt;
    CAppCore core(&prompt, fsys::ProgramFolder());
    CFilePatch record(core);
    int result = record.CreatePatch(oldPath, newPath, fsys::FolderOf(newPath), nullptr);
    if (result != 1) {
        PrintError(result < 0 ? "cancelled" : "cannot difference " + newPath + " against " + oldPath);
        return result < 0 ? CancelledStatus() : kExitFailure;
    }

    const bool oldPresent = record.newFileFlag == 0;
    const bool identical = record.oldPatches.empty() && record.newPatches.empty();
    std::cout << "old file:    " << oldPath;
    if (oldPresent)
        std::cout << "  (" << record.oldLength << " bytes, byte sum " << record.oldByteSum << ")\n";
    else
        std::cout << "  (absent: the whole new file is new data)\n";
    std::cout << "new file:    " << newPath << "  (" << record.newLength << " bytes, byte sum " << record.newByteSum
              << ")\n";
    if (identical) {
        std::cout << "identical content: no patch is required\n";
        return kExitOk;
    }
    if (oldPresent)
        std::cout << "separator:   " << Hex(record.separator) << "\n"
                  << "old blocks:  " << record.blockIndex.Size() << "\n";
    else
        std::cout << "separator:   none\n"
                  << "old blocks:  0\n";

    uint64_t copied = 0, literal = 0;
    std::cout << "old-copy objects: " << record.oldPatches.size() << "\n";
    for (const auto& o : record.oldPatches) {
        std::cout << "  old-copy  old " << o.oldOffset << "  new " << o.newOffset << "  length " << o.length << "\n";
        copied += o.length;
    }
    std::cout << "new-data objects: " << record.newPatches.size() << "\n";
    for (const auto& n : record.newPatches) {
        std::cout << "  new-data  new " << n.newOffset << "  length " << n.length << "\n";
        literal += n.length;
    }
    std::cout << "copied from the old file: " << copied << " bytes; carried as new data: " << literal << " bytes\n"
              << std::flush;
    return kExitOk;
}

CCommandRegistration g_diff({
    "diff",
    "  diff OLD_FILE NEW_FILE\n"
    "        shows how NEW_FILE is described against OLD_FILE: the separator byte, the number\n"
    "        of blocks of the old file, every old-copy object (old offset, new offset, length)\n"
    "        and every new-data object (new offset, length)",
    RunDiff,
});

} // namespace
