// The Wizard: the step-by-step front end, a wizard sheet captioned "Wizard" (string 122)
// run modally from the main dialog. Its six pages, always in this order: page 1 chooses
// build or apply; pages 2 to 4 build a patch file; pages 5 and 6 apply one. Each page's
// title is the window title while it is current. The sheet carries the values that later
// pages and the build need; the values that outlive the Wizard are kept in the settings
// record and the engine's two lists.
#pragma once
#include <wx/wizard.h>

#include <string>
#include <vector>

class CWizardPageBase;
class CDelvorinWizPage1;
class CDelvorinWizPage2;
class CDelvorinWizPage3;
class CDelvorinWizPage4;
class CDelvorinWizPage5;
class CDelvorinWizPage6;
class wxButton;

class CDelvorinWiz : public wxWizard {
public:
    static constexpr int kCaptionId = 122;
    // Page indexes.
    enum { kChoosePage = 0, kOldFolderPage, kNewFolderPage, kPatchFilePage, kApplyFolderPage, kApplyPatchPage };

    explicit CDelvorinWiz(wxWindow* parent);

    // Runs the Wizard modally from its first page: wxID_OK when Finish closed it,
    // wxID_CANCEL when it was cancelled.
    int Run();
    const std::vector<wxWizardPage*>& Pages() const { return pages_; }
    CWizardPageBase* Page(size_t index) const;
    CDelvorinWizPage1* Page1() const;
    CDelvorinWizPage2* Page2() const;
    CDelvorinWizPage3* Page3() const;
    CDelvorinWizPage4* Page4() const;
    CDelvorinWizPage5* Page5() const;
    CDelvorinWizPage6* Page6() const;
    // The page that is current (none before the run and after it ends).
    CWizardPageBase* CurrentPage() const;

    const wxString& Caption() const { return caption_; }

    // The sheet's fields, in this order.
    std::string defaultFolder;  // page 3 Next, project Open, Clear Project
    int defaultEqualsNew = 1;   // project Open, Clear Project; starts as the settings record's
    std::string oldFolder;      // page 2 Next, project Open, Clear Project
    std::string applyFolder;    // page 5 Next
    std::string newFolder;      // page 3 Next, project Open, Clear Project

    // The wizard buttons the current page enables: CWizardPageBase::kBack, kNext and
    // kFinish. Next and Finish share one button, labelled by which of them is enabled.
    void SetWizardButtons(int buttons);
    int WizardButtons() const { return buttons_; }
    wxButton* BackButton() const;
    wxButton* NextButton() const;
    wxButton* CancelButton() const;
    wxButton* HelpButton() const;
    // Whether the Wizard was cancelled by Ctrl+Q, which quits the program.
    bool QuitRequested() const { return quitRequested_; }

private:
    void AddPages();
    void OnPageChanged(wxWizardEvent& event);
    void OnWizardCancel(wxWizardEvent& event);
    void OnHelpKey(wxCommandEvent& event);
    void OnCloseKey(wxCommandEvent& event);
    void OnQuitKey(wxCommandEvent& event);

    wxString caption_;
    std::vector<wxWizardPage*> pages_;
    int buttons_ = 0;
    bool quitRequested_ = false;
};
