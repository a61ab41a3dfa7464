// The picture dialogs that report how a build or an apply ended: "Delvorin Success!"
// (picture 139) and "Delvorin Whoops!" (picture 140), each a picture, one message and OK.
#pragma once
#include <wx/dialog.h>

#include <string>

class CPictureCtrl;
class wxStaticText;

class CPictureMessageDlg : public wxDialog {
public:
    enum { kIdMessage = 1037, kIdPicture = 1039 };

    // Set by the caller before the run.
    std::string message;

    CPictureCtrl* Picture() const { return picture_; }
    wxStaticText* MessageLabel() const { return messageLabel_; }
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
    int resourceId_;
    CPictureCtrl* picture_ = nullptr;
    wxStaticText* messageLabel_ = nullptr;
};

class CSuccessDlg : public CPictureMessageDlg {
public:
    explicit CSuccessDlg(wxWindow* parent = nullptr);
};

class CWhoopsDlg : public CPictureMessageDlg {
public:
    explicit CWhoopsDlg(wxWindow* parent = nullptr);
};
