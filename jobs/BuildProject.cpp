#include "jobs/BuildProject.h"

#include "engine/common/CDirDiff.h"

namespace {

void ClearLists(CDirDiff& dirDiff)
{
    dirDiff.ClearExcludeList();
    dirDiff.ClearRemoveList();
}

} // namespace

bool OpenProject(const std::string& path, CSettings& settings, CDirDiff& dirDiff, CProjectData& project)
{
    const bool loaded = ReadProjectFile(path, project);
    ProjectToSettings(project, settings);
    ClearLists(dirDiff);
    for (const std::string& name : project.removeList)
        dirDiff.AddRemoveFile(name);
    for (const std::string& name : project.excludeList)
        dirDiff.AddExcludeFile(name);
    return loaded;
}

CProjectData ProjectFromSettings(const CSettings& settings, const CDirDiff& dirDiff)
{
    CProjectData p = ProjectFromSettings(settings);
    p.removeList = dirDiff.RemoveList();
    p.excludeList = dirDiff.ExcludeList();
    return p;
}

void ClearBuildPageProject(CSettings& settings, CDirDiff& dirDiff)
{
    ClearLists(dirDiff);
    ClearBuildPageSettings(settings);
}

void ClearWizardProject(CSettings& settings, CDirDiff& dirDiff)
{
    ClearWizardSettings(settings);
    ClearLists(dirDiff);
}
