// The picture dialogs that report how a build or an apply ended: "Delvorin Success!"
// (picture 139) and "Delvorin Whoops!" (picture 140), each a picture, one message and OK;
// after an apply that kept backups, where they went below the message.
#pragma once
#include <wx/dialog.h>

#include <string>
#include <vector>

class CPictureCtrl;
class wxStaticText;
class wxTextCtrl;

class CPictureMessageDlg : public wxDialog {
public:
    enum { kIdMessage = 1037, kIdPicture = 1039 };

    // Set by the caller before the run.
    std::string message;

    // Lists where the backups went (BackupLines) below the message; the dialog grows to
    // hold them. Nothing when there are none.
    void ShowBackups(const std::vector<std::string>& lines);

    CPictureCtrl* Picture() const { return picture_; }
    wxStaticText* MessageLabel() const { return messageLabel_; }
    wxTextCtrl* BackupText() const { return backupText_; }
    void OnInitDialog(wxInitDialogEvent& event);

protected:
    struct Layout {
        const char* title;
        int resourceId;
        int width, height;
        int pictureX, pictureY, pictureW, pictureH;
        int messageX, messageY, messageW, messageH;
        int okX, okY;
    };
    CPictureMessageDlg(wxWindow* parent, const Layout& layout);

private:
    Layout layout_;
    CPictureCtrl* picture_ = nullptr;
    wxStaticText* messageLabel_ = nullptr;
    wxTextCtrl* backupText_ = nullptr;
};

class CSuccessDlg : public CPictureMessageDlg {
public:
    explicit CSuccessDlg(wxWindow* parent = nullptr);
};

class CWhoopsDlg : public CPictureMessageDlg {
public:
    explicit CWhoopsDlg(wxWindow* parent = nullptr);
};
