// The keys every top-level window of the program takes, as other desktop programs do:
// F1 for help, Ctrl+W to close the window (as its close box or Cancel would) and Ctrl+Q
// to quit the program (as closing the main window would, the settings saved as usual).
#pragma once

class wxWindow;

// Gives window the accelerator table of these keys: F1 sends the menu command wxID_HELP,
// Ctrl+W wxID_CLOSE and Ctrl+Q wxID_EXIT, for the window to bind.
void SetWindowKeys(wxWindow* window);
