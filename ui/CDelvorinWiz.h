// The Wizard: the step-by-step front end, a wizard sheet titled "Wizard" (string 122)
// run modally from the main dialog. Its pages are added in AddPages.
#pragma once
#include <wx/wizard.h>

#include <vector>

class CDelvorinWiz : public wxWizard {
public:
    explicit CDelvorinWiz(wxWindow* parent);

    // Runs the Wizard from its first page; wxID_CANCEL without showing anything while
    // it holds no page.
    int Run();
    const std::vector<wxWizardPage*>& Pages() const { return pages_; }

private:
    void AddPages();

    std::vector<wxWizardPage*> pages_;
};
