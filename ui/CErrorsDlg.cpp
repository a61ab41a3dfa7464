#include "ui/CErrorsDlg.h"

#include "engine/common/CDirDiff.h"
#include "ui/CDelvorinApp.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/listbox.h>
#include <wx/stattext.h>

#include <algorithm>
#include <utility>

CErrorsDlg::CErrorsDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Delvorin Errors", wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(DluSize(this, 298, 177));
    AddWrappedText(this, wxID_ANY,
                   "Delvorin encountered the following errors when verifying if the update can be applied:", 7, 4,
                   284, 15);
    list_ = new wxListBox(this, kIdList, DluPoint(this, 7, 19), DluSize(this, 284, 83), 0, nullptr,
                          wxLB_SINGLE | wxLB_HSCROLL | wxLB_ALWAYS_SB);
    AddWrappedText(this, wxID_ANY,
                   "The Delvorin process was aborted, because of the previous errors.  The files that you were "
                   "updating have not been changed. You should contact the following company to resolve this problem:",
                   7, 108, 284, 27);
    // The contact line sits in a sunken frame: a text control of the toolkit draws no
    // border of its own, so the frame is a window around it.
    auto* contactFrame = new wxWindow(this, wxID_ANY, DluPoint(this, 26, 139), DluSize(this, 245, 11), wxBORDER_SUNKEN);
    contactLabel_ = new wxStaticText(contactFrame, kIdContact, "", wxPoint(0, 0), contactFrame->GetClientSize(),
                                     wxST_NO_AUTORESIZE | wxALIGN_CENTRE_HORIZONTAL);
    const int lineHeight = contactLabel_->GetBestSize().y;
    contactLabel_->SetSize(0, std::max(0, (contactFrame->GetClientSize().y - lineHeight) / 2),
                           contactFrame->GetClientSize().x, lineHeight);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, 124, 156), DluSize(this, 50, 14));
    ok->SetDefault();
    FitWrappedTexts(this);
    Bind(wxEVT_INIT_DIALOG, &CErrorsDlg::OnInitDialog, this);
}

void CErrorsDlg::SetErrors(std::vector<std::string> entries)
{
    entries_ = std::move(entries);
    entriesGiven_ = true;
}

std::vector<std::string> CErrorsDlg::SplitMessage(const char* field, size_t fieldSize)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < fieldSize; ++i) {
        char c = field[i];
        if (c == '\0' || c == '\n') {
            if (!line.empty())
                lines.push_back(line);
            line.clear();
            if (c == '\0')
                break;
        } else {
            line += c;
        }
    }
    return lines;
}

void CErrorsDlg::OnInitDialog(wxInitDialogEvent& event)
{
    event.Skip();
    contactLabel_->SetLabelText(ToWx(contact));

    wxRect screen = wxDisplay(wxDisplay::GetFromWindow(this) == wxNOT_FOUND ? 0u : unsigned(wxDisplay::GetFromWindow(this)))
                        .GetGeometry();
    wxSize size = GetSize();
    Move(screen.x + (screen.width - size.x) / 2, screen.y + (screen.height - size.y) / 2);

    const std::vector<std::string>* entries = &entries_;
    if (!entriesGiven_) {
        if (!TheApp().HasDirDiff())
            return;
        entries = &TheApp().GetDirDiff().ErrorEntries();
    }
    const size_t count = std::min(entries->size(), size_t(CDirDiff::kMaxErrors));
    list_->Clear();
    for (size_t i = 0; i < count; ++i) {
        const std::string& entry = (*entries)[i];
        for (const std::string& line : SplitMessage(entry.c_str(), entry.size() + 1))
            list_->Append(ToWx(line));
    }
}
