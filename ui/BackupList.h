// Where the backups of an apply went, as the report dialogs show it below their message:
// the heading and one line per backup in a read-only text that scrolls, so that
// thousands of backups keep the dialog on the screen.
#pragma once
#include <string>
#include <vector>

class wxTextCtrl;
class wxWindow;

// Height of the heading and the text together, in dialog units.
constexpr int kBackupListHeight = 70;

// Adds the heading and the lines (BackupLines) to dialog at x, y, cx wide (dialog
// units); returns the text control.
wxTextCtrl* AddBackupList(wxWindow* dialog, const std::vector<std::string>& lines, int x, int y, int cx);
