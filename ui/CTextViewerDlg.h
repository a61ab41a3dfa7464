// The program's own text window: shows a text file (the log file) read-only, for when
// the desktop has no text viewer that can be started. It is modeless, so the user can
// keep it open beside the window that opened it, and it goes when it is closed.
#pragma once
#include <wx/dialog.h>

#include <string>

class wxTextCtrl;

class CTextViewerDlg : public wxDialog {
public:
    enum { kIdText = 1100 };

    CTextViewerDlg(wxWindow* parent, const std::string& path);

    wxTextCtrl* TextControl() const { return text_; }

private:
    void OnClose(wxCloseEvent& event);

    wxTextCtrl* text_ = nullptr;
};
