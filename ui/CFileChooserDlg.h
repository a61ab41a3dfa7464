// The file chooser: picks files of a folder tree into one of the engine's two lists.
// In remove mode it edits the remove list (old-folder files that the patch deletes on
// the end user's computer), in exclude mode the exclude list (new-folder files that the
// build leaves out). It offers the files the engine's last folder walk found (the diff
// array) beside the entries already chosen; OK replaces the engine's list with the
// chosen entries, Cancel changes nothing.
#pragma once
#include <wx/dialog.h>

#include <string>
#include <vector>

class CDirDiff;
class wxButton;
class wxListBox;
class wxMouseEvent;
class wxStaticText;

class CFileChooserDlg : public wxDialog {
public:
    enum Mode { kRemoveMode = 0, kExcludeMode = 1 };
    enum {
        kIdExistingList = 1047,
        kIdChosenList = 1048,
        kIdMoveDown = 1049,
        kIdChosenLabel = 1050,
        kIdExistingLabel = 1051,
        kIdMoveUp = 243,
        kIdHelp = 1013,
    };
    static constexpr int kRemoveHelpContext = 100;
    static constexpr int kExcludeHelpContext = 106;

    // dirDiff: the engine object whose diff array is offered and whose list is edited;
    // by default the application's.
    CFileChooserDlg(wxWindow* parent, int mode, CDirDiff* dirDiff = nullptr);

    int GetMode() const { return mode_; }
    wxListBox* ExistingList() const { return existingList_; }
    wxListBox* ChosenList() const { return chosenList_; }
    wxButton* MoveDownButton() const { return moveDown_; }
    wxButton* MoveUpButton() const { return moveUp_; }
    wxStaticText* ExistingLabel() const { return existingLabel_; }
    wxStaticText* ChosenLabel() const { return chosenLabel_; }

    // The entries of each list, top to bottom, exactly as the engine holds them.
    std::vector<std::string> ExistingEntries() const { return Texts(existing_); }
    std::vector<std::string> ChosenEntries() const { return Texts(chosen_); }

    // Handlers, public so that tests can drive the dialog.
    void OnInitDialog(wxInitDialogEvent& event);
    void OnMoveDown(wxCommandEvent& event);
    void OnMoveUp(wxCommandEvent& event);
    void OnOK(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);

private:
    // One list box entry: the text as the engine holds it, and its sort key (the text
    // in lower case), so the lists sort and search without regard to letter case.
    struct Entry {
        std::string text;
        std::string key;
    };
    struct SortedList {
        wxListBox* box = nullptr;
        std::vector<Entry> entries; // the box's entries, in its order
    };

    static std::vector<std::string> Texts(const SortedList& list);
    static std::string SortKey(const std::string& text);
    // Shows the list's entries in its box, with nothing selected.
    static void Show(SortedList& list);
    // True when the list holds the whole text, letter case ignored.
    static bool Contains(const SortedList& list, const std::string& text);
    // Moves the selected entries of one list into the other.
    static void MoveSelected(SortedList& from, SortedList& to);
    // A mouse click on a list toggles the selection of the entry under it.
    void OnListClick(wxMouseEvent& event);

    CDirDiff& dirDiff_;
    int mode_;
    wxStaticText* existingLabel_ = nullptr;
    wxStaticText* chosenLabel_ = nullptr;
    wxButton* moveDown_ = nullptr;
    wxButton* moveUp_ = nullptr;
    wxListBox* existingList_ = nullptr;
    wxListBox* chosenList_ = nullptr;
    SortedList existing_;
    SortedList chosen_;
};
