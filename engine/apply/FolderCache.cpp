#include "engine/apply/FolderCache.h"

#include "engine/common/NameComponents.h"
#include "platform/EntryStatus.h"
#include "platform/FileSystem.h"

#include <vector>

const CFolderHandle& CFolderCache::Folder(const std::string& relative)
{
    if (auto known = open_.find(relative); known != open_.end())
        return known->second;
    if (open_.size() >= kMaxOpen)
        open_.clear();
    return open_.emplace(relative, root_.Folder(relative)).first->second;
}

CFolderCache::Way CFolderCache::Walk(const std::string& path, Way outer)
{
    if (outer != Way::Folder)
        return outer; // behind a link to a folder, or below nothing
    CEntryStatus lst;
    if (!fsys::EntryStatus(path, lst, false))
        return Way::Nothing; // nothing exists from here on
    if (lst.IsLink()) {
        CEntryStatus st;
        // A link to a file or a broken link: nothing can lie below it.
        return fsys::EntryStatus(path, st, true) && st.IsFolder() ? Way::LinkedFolder : Way::Nothing;
    }
    return lst.IsFolder() ? Way::Folder : Way::Nothing;
}

bool CFolderCache::PassesLinkedFolder(const std::string& name)
{
    const std::vector<std::string> parts = NameComponents(name);
    std::string path = fsys::WithoutTrailingSlash(rootPath_);
    std::string relative;
    Way way = Way::Folder;
    for (size_t i = 0; i < parts.size(); ++i) {
        path = fsys::Join(path, parts[i]);
        if (i + 1 == parts.size())
            return Walk(path, way) == Way::LinkedFolder; // the file itself: looked at every time
        relative = relative.empty() ? parts[i] : relative + "/" + parts[i];
        auto known = ways_.find(relative);
        if (known == ways_.end())
            known = ways_.emplace(relative, Walk(path, way)).first;
        way = known->second;
        if (way != Way::Folder)
            return way == Way::LinkedFolder;
    }
    return false;
}

void CFolderCache::Clear()
{
    open_.clear();
    ways_.clear();
}
