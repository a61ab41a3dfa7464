#include "ui/BackupList.h"

#include "engine/apply/BackupReport.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/textctrl.h>

namespace {
constexpr int kHeadingHeight = 11;
}

wxTextCtrl* AddBackupList(wxWindow* dialog, const std::vector<std::string>& lines, int x, int y, int cx)
{
    AddWrappedText(dialog, wxID_ANY, kBackupHeading, x, y, cx, kHeadingHeight - 2);
    // Each line converted on its own, so one name in an older code page does not
    // change how the others read.
    wxString text;
    for (const std::string& line : lines) {
        if (!text.empty())
            text += '\n';
        text += ToWx(line);
    }
    return new wxTextCtrl(dialog, wxID_ANY, text, DluPoint(dialog, x, y + kHeadingHeight),
                          DluSize(dialog, cx, kBackupListHeight - kHeadingHeight),
                          wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxHSCROLL);
}
