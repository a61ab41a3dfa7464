// Page 1 of the Wizard: build a new patch file, or apply one to a folder. The choice
// is remembered by the application for the next run of the Wizard while the program
// keeps running.
#pragma once
#include "ui/CWizardPageBase.h"

class wxRadioButton;

class CDelvorinWizPage1 : public CWizardPageBase {
public:
    enum { kIdBuild = 1017, kIdApply = 1018, kIdPicture = 1038 };
    static constexpr int kPictureId = 135;
    static constexpr int kHelpContext = 6;

    explicit CDelvorinWizPage1(CDelvorinWiz* sheet);

    // 0 build, 1 apply; exchanged with the radio buttons by ReadControls and ShowFields.
    int choice = 0;
    void ReadControls();
    void ShowFields();

    wxRadioButton* BuildRadio() const { return build_; }
    wxRadioButton* ApplyRadio() const { return apply_; }

    // Build goes on to page 2, apply to page 5.
    wxWizardPage* GetNext() const override;

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    bool OnWizardNext() override;
    void OnCancel() override;
    // The radio button that is on.
    wxWindow* FirstField() const override;

private:
    wxRadioButton* build_ = nullptr;
    wxRadioButton* apply_ = nullptr;
};
