// The application icon (icon resource 128) for the windows' title bars.
#pragma once
#include <wx/iconbndl.h>

wxIconBundle AppIcons();
