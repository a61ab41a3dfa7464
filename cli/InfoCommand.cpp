// delvorin-cli info: what a patch file holds, from its header to every file record.
#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "cli/Commands.h"
#include "terminal/Terminal.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "engine/common/CFilePatch.h"
#include "engine/common/CompactLead.h"
#include "platform/FileSystem.h"

#include <climits>
#include <iostream>
#include <unistd.h>

namespace {

// Line breaks of a header text shown as "\n", so every field stays on one line; other
// control characters as \xHH.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return Printable(out);
}

int RunInfo(const std::vector<std::string>& args)
{
    if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
        PrintError("info needs PATCH_FILE (see --help)");
        return kExitUsage;
    }
    std::string patchFile = args[0];
    if (!patchFile.empty() && patchFile.front() != '/') {
        std::vector<char> buf(PATH_MAX + 1);
        if (getcwd(buf.data(), buf.size()))
            patchFile = fsys::Join(buf.data(), patchFile);
    }

    CTerminalPrompt prompt;
    CAppCore core(&prompt, fsys::ProgramFolder());
    CDirDiff dirDiff(core);
    CPatchDoc doc(core, dirDiff, patchFile);
    if (!doc.ReadPatchHeader()) {
        PrintError(doc.WithFailureCause("Error opening patch file"));
        return kExitFailure;
    }

    const CPatchHeader& h = doc.Header();
    std::cout << "Patch file:        " << patchFile << "\n"
              << "Format:            " << (core.image.format == CPatchFormat::Compact ? "compact" : "classic") << "\n"
              << "Date sum:          " << h.dateSum << "\n"
              << "Publisher:         " << OneLine(h.publisherName) << "\n"
              << "Organization:      " << OneLine(h.publisherOrganization) << "\n"
              << "Default folder:    " << OneLine(h.defaultFolder) << "\n"
              << "Dialog text:       " << OneLine(h.dialogText) << "\n"
              << "Records offset:    " << h.recordsOffset << "\n"
              << "Files to remove:   " << dirDiff.RemoveCount() << "\n";
    for (const auto& r : dirDiff.RemoveList())
        std::cout << "  remove " << Printable(r) << "\n";
    const unsigned count = core.image.fileCount;
    std::cout << "Strong checks:     "
              << (core.image.format == CPatchFormat::Compact ? "SHA-256 of the whole new tree"
                  : dirDiff.patchChecks.present              ? "SHA-256 of every file's old and new content"
                                                             : "none (byte sums only)")
              << "\n";
    // A compact patch's literals may be led by files it leaves alone.
    if (const std::shared_ptr<CCompactLead>& lead = core.image.compactLead;
        core.image.format == CPatchFormat::Compact && lead) {
        std::cout << "Lead files:        " << lead->names.size() << " (" << lead->Length() << " bytes)\n";
        for (size_t i = 0; i < lead->names.size(); ++i)
            std::cout << "  lead " << Printable(lead->names[i]) << "  " << lead->lengths[i] << " bytes\n";
    }
    std::cout << "File records:      " << count << "\n";

    int status = kExitOk;
    for (unsigned i = 0; i < count; ++i) {
        CFilePatch record(core);
        if (!record.ReadWrite(false)) {
            PrintError("file record " + std::to_string(i + 1) + " of " + std::to_string(count) + " cannot be read");
            status = kExitFailure;
            break;
        }
        std::cout << "  " << Printable(record.name) << "  new=" << record.newFileFlag << "  old " << record.oldLength << " bytes sum "
                  << record.oldByteSum << "  new " << record.newLength << " bytes sum " << record.newByteSum
                  << "  objects old-copy " << record.oldCopyCount << " new-data " << record.newDataCount;
        if (record.compactDelta.packed) {
            std::cout << "  packed delta " << record.compactDelta.frameLength << " bytes";
            if (record.compactDelta.twin != 0)
                std::cout << " twin " << record.compactDelta.twin;
        } else if (record.compactDelta.present) {
            const CCompactStream* s = record.compactDelta.streams;
            std::cout << "  delta controls " << s[kControls].raw << " differences " << s[kDifferences].raw
                      << " literals " << s[kLiterals].raw << " bytes";
        }
        std::cout << "\n";
    }
    std::cout << std::flush;
    doc.ClosePatchFile();
    return status;
}

CCommandRegistration g_info({
    "info",
    "  info PATCH_FILE\n"
    "        shows the header, the files to remove and every file record of a patch file\n"
    "        (plain, split into parts, or a self-extracting patch program)",
    RunInfo,
});

} // namespace
