// "Split Patch File": the largest size of one part of a split patch file, in KB, kept
// in the settings record's "SplitSize"; "Don't Split Patch File" means 0.
#pragma once
#include <wx/dialog.h>

#include <cstdint>
#include <string>

class wxComboBox;

class CSplitDlg : public wxDialog {
public:
    enum { kIdSize = 1058 };
    static constexpr const char* kNoSplit = "Don't Split Patch File";

    explicit CSplitDlg(wxWindow* parent);

    wxComboBox* SizeCombo() const { return combo_; }
    // The typed text as a split size: true for the exact first entry (0) or a non-empty
    // run of decimal digits (its value modulo 65536).
    static bool ParseSplitSize(const std::string& text, uint16_t& size);

    // Selects the entry for "SplitSize", adding it when it is not one of the three.
    void OnInitDialog(wxInitDialogEvent& event);
    // Stores the typed size, or shows message 128 and stays open.
    void OnOK(wxCommandEvent& event);

private:
    wxComboBox* combo_ = nullptr;
};
