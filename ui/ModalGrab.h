// GTK takes the input grab from a modal window while it is disabled (so that a progress
// dialog beside it gets the clicks) and does not give it back when it is enabled again:
// the modal window underneath then holds the grab and the enabled one takes no input.
#pragma once

class wxWindow;

// Gives the grab back to window when it is a modal dialog that is shown and enabled.
void RestoreModalGrab(wxWindow* window);
