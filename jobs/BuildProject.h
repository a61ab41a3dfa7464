// Open, Save and Clear Project as the Build page and the Wizard run them: the project
// file's values go to the settings record and to the engine's exclude and remove lists,
// and come back from both for a save.
#pragma once
#include "app/ProjectFile.h"

#include <string>

class CDirDiff;

// Open Project: reads the file and hands its values to the settings record (see
// ProjectToSettings) and the engine's lists; both lists are cleared and refilled. The
// values for the window's fields are returned in project. Returns what ReadProjectFile
// returns.
bool OpenProject(const std::string& path, CSettings& settings, CDirDiff& dirDiff, CProjectData& project);

// The project as the settings record and the engine's lists hold it, for Save Project.
CProjectData ProjectFromSettings(const CSettings& settings, const CDirDiff& dirDiff);

// Clear Project of the Build page and of the Wizard: both lists emptied, the settings as
// ClearBuildPageSettings and ClearWizardSettings leave them.
void ClearBuildPageProject(CSettings& settings, CDirDiff& dirDiff);
void ClearWizardProject(CSettings& settings, CDirDiff& dirDiff);
