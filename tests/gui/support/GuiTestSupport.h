// Helpers for the GUI tests: a scratch profile for the application object, running a
// modal dialog with steps done inside its modal run, clicking buttons through the event
// system, and letting pending events happen.
#pragma once
#include "platform/ScriptedPrompt.h"

#include <wx/dialog.h>
#include <wx/window.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <type_traits>

class CDelvorinApp;
class wxCheckBox;
class wxTextCtrl;

// The application object of the test program.
CDelvorinApp& TestApp();
// A scratch folder that lives as long as the test program.
const std::string& TestScratchFolder();

// Scripted prompts for one test: installed on construction, removed on destruction.
class CPromptScript {
public:
    CPromptScript();
    ~CPromptScript();
    CScriptedPrompt prompts;
};

// The one message the action showed, the scripted answers given to its questions; a
// failure, and an empty record, when it showed none or several.
CPromptRecord OnlyPrompt(const std::function<void()>& action, std::initializer_list<PromptAnswer> answers = {});

// Runs the dialog modally; inside runs once the modal loop is up. When inside leaves
// the dialog open, it is ended with wxID_CANCEL. Returns the dialog's return code.
int RunModal(wxDialog& dialog, const std::function<void()>& inside);
// Sends a button click with the given id to the button (or, with none, the window)
// through the event system at once.
void Click(wxWindow* window, int id);
// Queues a button click: it is handled the next time pending events are processed.
void PostClick(wxWindow* window, int id);
// A real mouse click on the middle of a window, through the display server. Inside a
// yield (a timer that fires while the engine works) no events can be pumped: the click
// is then only sent.
void RealClick(wxWindow* window, bool pump = true);
// Processes the pending events for about the given time.
void Pump(int milliseconds = 50);
// Every static text among the window's children shows its whole text with the desktop's
// font: its height, and its width too when width is set.
void ExpectTextsFit(wxWindow* window, bool width = true);
// Every child of the window lies inside its client area and overlaps no other child.
void ExpectChildrenInsideAndApart(wxWindow* window);
// Types text into an edit: the edit gets it and sends its change notification.
void Type(wxTextCtrl* edit, const std::string& text);
// The text in an edit.
std::string Value(wxTextCtrl* edit);
// Sets a check box as the user's click does: the box changes and its command is sent.
void Tick(wxCheckBox* box, bool on);
// The text the static text with this id among the window's children shows (an "&" shown
// as such), or "<missing>".
wxString Label(wxWindow* window, int id);

// Several values as one tuple that compares and prints as a row, texts as strings: one
// EXPECT_EQ(Row(actual...), Row(expected...)) checks a group of fields and its failure
// shows every field of both rows plainly.
template <class T>
auto Plain(const T& value)
{
    if constexpr (std::is_convertible_v<const T&, const char*>)
        return std::string(value);
    else
        return value;
}
template <class... T>
auto Row(const T&... values)
{
    return std::make_tuple(Plain(values)...);
}
