// What the six pages of the Wizard share: a page laid out from its template in dialog
// units with its picture in the left column, the title the sheet shows while the page
// is current, the page's help context, and its part in the page flow: opened once per
// run of the Wizard, made current, left with Back, Next or Finish, and cancelled.
#pragma once
#include <wx/wizard.h>

#include <string>

class CDelvorinWiz;
class CPictureCtrl;
class wxButton;
class wxCheckBox;
class wxStaticText;
class wxTextCtrl;

class CWizardPageBase : public wxWizardPageSimple {
public:
    // The wizard buttons a page enables when it becomes current.
    enum { kBack = 1, kNext = 2, kFinish = 4 };
    static constexpr const char* kErrorTitle = "Delvorin Error!";
    static constexpr const char* kWarningTitle = "Delvorin Warning!";

    // dluHeight: the height of the page's template (every page is 320 units wide).
    CWizardPageBase(CDelvorinWiz* sheet, const char* title, int helpContext, int dluHeight);

    const wxString& Title() const { return title_; }
    int HelpContext() const { return helpContext_; }
    // True once the page has been current during this run of the Wizard: only such a
    // page has run OnInitDialog and stores its fields when the Wizard is cancelled.
    bool IsOpened() const { return opened_; }
    CPictureCtrl* Picture() const { return picture_; }
    CDelvorinWiz& Sheet() const { return *sheet_; }

    // Help at the page's context number.
    void ShowHelp();

    // The page opens with the keyboard focus in its first field (never on its picture).
    void SetFocus() override;

protected:
    friend class CDelvorinWiz;

    // The page opens (once per run), before it first becomes current.
    virtual void OnInitDialog() {}
    // The page becomes current: it tells the sheet which wizard buttons to enable.
    virtual void OnSetActive() = 0;
    // Leaving the page; false keeps it current.
    virtual bool OnWizardBack() { return true; }
    virtual bool OnWizardNext() { return true; }
    virtual bool OnWizardFinish() { return true; }
    // The Wizard is being cancelled and the page has been opened: store its fields.
    virtual void OnCancel() {}
    // The control that takes the focus when the page is shown: the first edit.
    virtual wxWindow* FirstField() const { return firstEdit_; }

    // Controls at their template rectangles, in tab order.
    void AddText(const char* text, int x, int y, int cx, int cy);
    wxTextCtrl* AddEdit(int id, int x, int y, int cx, int cy, long style = 0);
    wxButton* AddButton(int id, const char* label, int x, int y, int cx, int cy);
    wxCheckBox* AddCheck(int id, const char* label, int x, int y, int cx, int cy);
    CPictureCtrl* AddPicture(int id, int x, int y, int cx, int cy);
    // Widens a check box or radio button whose label needs more room than its rectangle.
    static void FitToLabel(wxWindow* control);
    // After the last control: texts that need more lines in the desktop's font grow, the
    // controls below them move down, and the page's size follows.
    void FinishLayout();

    // Walks the folder and runs the file chooser in the given mode over what the walk
    // found, nothing when the folder does not exist; the chooser edits the engine's
    // remove list or exclude list itself.
    void ChooseFiles(const std::string& folder, int mode);
    // A message box with an OK button, asked through the application core.
    void Message(const std::string& text, const char* title);

private:
    void Activate();
    void OnBeforePageChanged(wxWizardEvent& event);
    void OnHelpEvent(wxWizardEvent& event);

    CDelvorinWiz* sheet_;
    wxString title_;
    int helpContext_;
    bool opened_ = false;
    CPictureCtrl* picture_ = nullptr;
    wxWindow* firstEdit_ = nullptr;
};
