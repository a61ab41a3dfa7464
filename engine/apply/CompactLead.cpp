#include "engine/apply/CompactLead.h"

#include "engine/apply/SafeNames.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/OpenFiles.h"

CLeadFound LoadCompactLead(CCompactLead& lead, const CFolderHandle& root, std::string& problem)
{
    lead.content.clear();
    lead.loaded = false;
    problem.clear();
    if (lead.Empty()) {
        lead.loaded = true;
        return CLeadFound::Read;
    }
    if (lead.Length() > kMaxCompactLead || !root.Valid())
        return CLeadFound::Missing;
    lead.content.reserve(static_cast<size_t>(lead.Length()));
    for (size_t i = 0; i < lead.names.size(); ++i) {
        const std::string& name = lead.names[i];
        problem = name;
        if (!IsSafeRelativeName(name))
            return CLeadFound::NotAllowed;
        // The folders of the name refuse links; the file itself must be a regular file.
        std::string folder, leaf;
        SplitRelativeName(name, folder, leaf);
        CFolderHandle parent = folder.empty() ? CFolderHandle() : root.Folder(folder);
        const CFolderHandle& at = folder.empty() ? root : parent;
        CEntryStatus st;
        if (!at.Valid() || !at.Status(leaf, st) || !st.IsFile())
            return CLeadFound::Missing;
        CFileRef fd = at.OpenForReading(leaf);
        if (!fd.Valid())
            return CLeadFound::Missing;
        CEntryStatus opened;
        const size_t start = lead.content.size();
        bool alike = fsys::OpenFileStatus(fd, opened) && opened.IsFile() && opened.size == lead.lengths[i];
        if (alike) {
            lead.content.resize(start + lead.lengths[i]);
            alike = fsys::ReadAt(fd, lead.content.data() + start, lead.lengths[i], 0);
        }
        fsys::CloseFile(fd);
        if (!alike)
            return CLeadFound::Different;
    }
    // One digest for them all: it names the file only where there is one.
    problem = lead.names.size() == 1 ? lead.names[0] : std::string();
    if (CSha256::Of(lead.content.data(), lead.content.size()) != lead.digest) {
        lead.content.clear();
        return CLeadFound::Different;
    }
    problem.clear();
    lead.loaded = true;
    return CLeadFound::Read;
}
