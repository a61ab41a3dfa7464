#include "ui/CDelvorinWiz.h"

#include "app/StringTable.h"
#include "ui/WxText.h"

CDelvorinWiz::CDelvorinWiz(wxWindow* parent) : wxWizard(parent, wxID_ANY, ToWx(LoadString(122)))
{
    AddPages();
}

void CDelvorinWiz::AddPages()
{
    // The six pages (build or apply, three build pages, two apply pages) are added here.
}

int CDelvorinWiz::Run()
{
    if (pages_.empty())
        return wxID_CANCEL;
    return RunWizard(pages_.front()) ? wxID_OK : wxID_CANCEL;
}
