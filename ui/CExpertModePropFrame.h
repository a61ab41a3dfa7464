// Expert mode: a top-level window holding the property sheet with the Build page and
// the Apply page. Closing it ends the program.
#pragma once
#include <wx/frame.h>
#include <wx/panel.h>

class CApplyPatchPage;
class CBuildPatchPage;
class wxButton;
class wxNotebook;

class CExpertModePropSheet : public wxPanel {
public:
    CExpertModePropSheet(wxWindow* parent, const wxString& caption);

    const wxString& Caption() const { return caption_; }
    wxNotebook* Notebook() const { return notebook_; }
    CBuildPatchPage* BuildPage() const { return buildPage_; }
    CApplyPatchPage* ApplyPage() const { return applyPage_; }
    // The sheet's own buttons: OK is hidden and Cancel reads "Exit" in Expert mode.
    wxButton* OkButton() const { return ok_; }
    wxButton* CancelButton() const { return cancel_; }
    // The help context of the page on show.
    int CurrentHelpContext() const;

private:
    void OnExit(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);

    wxString caption_;
    wxNotebook* notebook_ = nullptr;
    CBuildPatchPage* buildPage_ = nullptr;
    CApplyPatchPage* applyPage_ = nullptr;
    wxButton* ok_ = nullptr;
    wxButton* cancel_ = nullptr;
};

class CExpertModePropFrame : public wxFrame {
public:
    CExpertModePropFrame();

    // Creates the window with its sheet, sized to hold exactly the sheet, centred and
    // shown. False when the sheet could not be made.
    bool CreateFrame(const wxString& title);
    CExpertModePropSheet* Sheet() const { return sheet_; }

private:
    void OnClose(wxCloseEvent& event);
    void OnActivate(wxActivateEvent& event);
    void OnHelp(wxCommandEvent& event);

    CExpertModePropSheet* sheet_ = nullptr;
};
