#include "ui/CBuildPatchPage.h"

#include "ui/DialogUnits.h"

CBuildPatchPage::CBuildPatchPage(wxWindow* parent) : wxPanel(parent, wxID_ANY)
{
    SetMinSize(DluSize(this, 255, 201));
    SetSize(GetMinSize());
}
