#include "ui/BuildChoices.h"

#include <wx/radiobut.h>

#include <algorithm>

const char kPatchFormatLabel[] = "Patch format:";
const char kClassicFormatText[] = "Cl&assic (read by every reader of the format)";
// Two lines, so that it fits the width of the Build page and of the Wizard.
const char kCompactFormatText[] = "Co&mpact (smallest patches; applied by this program\n"
                                  "and its self-extracting programs)";
const char kForLinuxText[] = "for &Linux";
const char kForWindowsText[] = "for &Windows";

namespace {

wxRadioButton* MakeRadio(wxWindow* parent, int id, const char* text, wxPoint at, long style)
{
    auto* radio = new wxRadioButton(parent, id, text, at, wxDefaultSize, style);
    const wxSize best = radio->GetBestSize();
    radio->SetSize(std::max(best.x, radio->GetSize().x), std::max(best.y, radio->GetSize().y));
    return radio;
}

} // namespace

void CRadioPair::Create(wxWindow* parent, int firstId, const char* firstText, wxPoint firstAt, int secondId,
                        const char* secondText, wxPoint secondAt)
{
    first_ = MakeRadio(parent, firstId, firstText, firstAt, wxRB_GROUP);
    second_ = MakeRadio(parent, secondId, secondText, secondAt, 0);
}

int CRadioPair::Value() const
{
    return second_->GetValue() ? 1 : 0;
}

void CRadioPair::Show(int value)
{
    (value ? second_ : first_)->SetValue(true);
}

void CRadioPair::Enable(bool enable)
{
    first_->Enable(enable);
    second_->Enable(enable);
}
