#include "ui/CFileChooserDlg.h"

#include "engine/common/CDirDiff.h"
#include "ui/CDelvorinApp.h"
#include "ui/DialogUnits.h"
#include "ui/WxText.h"

#include <wx/arrstr.h>
#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/stattext.h>

#include <algorithm>

namespace {

const char kRemoveTitle[] = "Choose files to remove from the user's file system";
const char kExcludeTitle[] = "Choose Files To Exclude From Patching";

} // namespace

CFileChooserDlg::CFileChooserDlg(wxWindow* parent, int mode, CDirDiff* dirDiff)
    : wxDialog(parent, wxID_ANY, kRemoveTitle, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      dirDiff_(dirDiff ? *dirDiff : TheApp().GetDirDiff()), mode_(mode)
{
    SetClientSize(DluSize(this, 415, 213));
    // Each click toggles one entry's selection; no range selection with Shift.
    const long listStyle = wxLB_MULTIPLE | wxLB_HSCROLL | wxLB_NEEDED_SB;

    existingLabel_ = new wxStaticText(this, kIdExistingLabel, "Existing Files:", DluPoint(this, 7, 7),
                                      DluSize(this, 119, 8), wxST_NO_AUTORESIZE);
    existingList_ = new wxListBox(this, kIdExistingList, DluPoint(this, 7, 18), DluSize(this, 401, 58), 0, nullptr,
                                  listStyle);
    moveDown_ = new wxButton(this, kIdMoveDown, "&Move selected files to Files To Remove list", DluPoint(this, 23, 90),
                             DluSize(this, 179, 14));
    moveUp_ = new wxButton(this, kIdMoveUp, "&Remove selected files from the Files To Remove list",
                           DluPoint(this, 212, 90), DluSize(this, 179, 14));
    chosenLabel_ = new wxStaticText(this, kIdChosenLabel, "Files to Remove:", DluPoint(this, 7, 116),
                                    DluSize(this, 119, 8), wxST_NO_AUTORESIZE);
    chosenList_ = new wxListBox(this, kIdChosenList, DluPoint(this, 7, 127), DluSize(this, 401, 58), 0, nullptr,
                                listStyle);
    auto* ok = new wxButton(this, wxID_OK, "OK", DluPoint(this, 116, 192), DluSize(this, 50, 14));
    new wxButton(this, wxID_CANCEL, "Cancel", DluPoint(this, 182, 192), DluSize(this, 50, 14));
    new wxButton(this, kIdHelp, "&Help", DluPoint(this, 248, 192), DluSize(this, 50, 14));
    ok->SetDefault();
    existing_.box = existingList_;
    chosen_.box = chosenList_;

    existingList_->Bind(wxEVT_LEFT_DOWN, &CFileChooserDlg::OnListClick, this);
    chosenList_->Bind(wxEVT_LEFT_DOWN, &CFileChooserDlg::OnListClick, this);
    Bind(wxEVT_INIT_DIALOG, &CFileChooserDlg::OnInitDialog, this);
    Bind(wxEVT_BUTTON, &CFileChooserDlg::OnMoveDown, this, kIdMoveDown);
    Bind(wxEVT_BUTTON, &CFileChooserDlg::OnMoveUp, this, kIdMoveUp);
    Bind(wxEVT_BUTTON, &CFileChooserDlg::OnOK, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CFileChooserDlg::OnHelp, this, kIdHelp);
    CentreOnParent();
}

std::vector<std::string> CFileChooserDlg::Texts(const SortedList& list)
{
    std::vector<std::string> texts;
    texts.reserve(list.entries.size());
    for (const Entry& e : list.entries)
        texts.push_back(e.text);
    return texts;
}

std::string CFileChooserDlg::SortKey(const std::string& text)
{
    return FromWx(ToWx(text).Lower());
}

bool CFileChooserDlg::Contains(const SortedList& list, const std::string& text)
{
    const std::string key = SortKey(text);
    auto at = std::lower_bound(list.entries.begin(), list.entries.end(), key,
                               [](const Entry& a, const std::string& k) { return a.key < k; });
    return at != list.entries.end() && at->key == key;
}

void CFileChooserDlg::MoveSelected(SortedList& from, SortedList& to)
{
    // The selected rows are collected before anything changes: deleting a selected row
    // moves the list box's selection on to the next row, so asking the box again while
    // deleting would take rows the user never chose.
    wxArrayInt rows;
    from.box->GetSelections(rows);
    if (rows.empty())
        return;
    std::vector<bool> moving(from.entries.size(), false);
    for (int row : rows)
        if (row >= 0 && static_cast<size_t>(row) < moving.size())
            moving[static_cast<size_t>(row)] = true;

    std::vector<Entry> kept;
    for (size_t i = 0; i < from.entries.size(); ++i)
        (moving[i] ? to.entries : kept).push_back(from.entries[i]);
    from.entries = std::move(kept);
    // A moved entry goes after the entries of an equal key already there.
    std::stable_sort(to.entries.begin(), to.entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    Show(from);
    Show(to);
}

void CFileChooserDlg::Show(SortedList& list)
{
    wxArrayString items;
    items.reserve(list.entries.size());
    for (const Entry& e : list.entries)
        items.push_back(ToWx(e.text));
    list.box->Set(items); // one go, and no selection left over
}

void CFileChooserDlg::OnListClick(wxMouseEvent& event)
{
    // Each click toggles the one entry under the pointer, without Ctrl; a click below
    // the last entry does nothing.
    auto* box = dynamic_cast<wxListBox*>(event.GetEventObject());
    const int row = box ? box->HitTest(event.GetPosition()) : wxNOT_FOUND;
    if (row == wxNOT_FOUND) {
        event.Skip();
        return;
    }
    box->SetFocus();
    if (box->IsSelected(row))
        box->Deselect(row);
    else
        box->SetSelection(row);
}

void CFileChooserDlg::OnInitDialog(wxInitDialogEvent& event)
{
    event.Skip();
    std::vector<std::string> chosen;
    if (mode_ == kExcludeMode) {
        SetTitle(kExcludeTitle);
        existingLabel_->SetLabel("Files in New Files folder:");
        chosenLabel_->SetLabel("Files to Exclude:");
        moveDown_->SetLabel("&Move selected files to Files To Exclude list");
        moveUp_->SetLabel("&Remove selected files from the Files To Exclude list");
        chosen = dirDiff_.ExcludeList();
    } else {
        chosen = dirDiff_.RemoveList();
    }

    // The lists are filled in one go: a folder may hold many thousands of files.
    auto fill = [](SortedList& list, const std::vector<std::string>& texts) {
        list.entries.clear();
        for (const std::string& t : texts)
            list.entries.push_back({t, SortKey(t)});
        std::stable_sort(list.entries.begin(), list.entries.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
        Show(list);
    };
    fill(chosen_, chosen);

    // A found file is offered unless the chosen list already holds it, letter case
    // ignored, so no entry can be in both lists.
    std::vector<std::string> offered;
    for (size_t i = 0; i < dirDiff_.DiffCount(); ++i) {
        std::string path = dirDiff_.DiffItem(i);
        if (!Contains(chosen_, path))
            offered.push_back(path);
    }
    fill(existing_, offered);
}

void CFileChooserDlg::OnMoveDown(wxCommandEvent&)
{
    MoveSelected(existing_, chosen_);
}

void CFileChooserDlg::OnMoveUp(wxCommandEvent&)
{
    MoveSelected(chosen_, existing_);
}

void CFileChooserDlg::OnOK(wxCommandEvent&)
{
    // The engine's list takes the chosen entries in the chosen list's order.
    if (mode_ == kExcludeMode) {
        dirDiff_.ClearExcludeList();
        for (const Entry& e : chosen_.entries)
            dirDiff_.AddExcludeFile(e.text);
    } else {
        dirDiff_.ClearRemoveList();
        for (const Entry& e : chosen_.entries)
            dirDiff_.AddRemoveFile(e.text);
    }
    EndModal(wxID_OK);
}

void CFileChooserDlg::OnHelp(wxCommandEvent&)
{
    TheApp().ShowHelp(mode_ == kExcludeMode ? kExcludeHelpContext : kRemoveHelpContext);
}
