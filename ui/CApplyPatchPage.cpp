#include "ui/CApplyPatchPage.h"

#include "ui/DialogUnits.h"

CApplyPatchPage::CApplyPatchPage(wxWindow* parent) : wxPanel(parent, wxID_ANY)
{
    SetMinSize(DluSize(this, 255, 201));
    SetSize(GetMinSize());
}
