// The two build choices that the Build page and the Wizard's last build page offer
// alike, each as a pair of radio buttons: the patch format (classic or compact) and the
// system the self-extracting patch program runs on (Linux or Windows).
#pragma once
#include <wx/gdicmn.h>
#include <wx/radiobut.h>

extern const char kPatchFormatLabel[];
extern const char kClassicFormatText[];
extern const char kCompactFormatText[];
extern const char kForLinuxText[];
extern const char kForWindowsText[];

// Two radio buttons of a group of their own; the value is 0 for the first, 1 for the second.
class CRadioPair {
public:
    // Makes the pair on parent at the given places, each as wide as its text needs.
    void Create(wxWindow* parent, int firstId, const char* firstText, wxPoint firstAt, int secondId,
                const char* secondText, wxPoint secondAt);
    int Value() const;
    void Show(int value);
    void Enable(bool enable);
    wxRadioButton* First() const { return first_; }
    wxRadioButton* Second() const { return second_; }

private:
    wxRadioButton* first_ = nullptr;
    wxRadioButton* second_ = nullptr;
};
