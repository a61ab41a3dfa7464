#include "support/GuiTestSupport.h"

#include "ui/CDelvorinApp.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/evtloop.h>
#include <wx/stattext.h>
#include <wx/stopwatch.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <gtest/gtest.h>

#include <vector>

CDelvorinApp& TestApp()
{
    return TheApp();
}

CPromptScript::CPromptScript()
{
    TestApp().SetPrompts(&prompts);
}

CPromptScript::~CPromptScript()
{
    TestApp().SetPrompts(nullptr);
}

CPromptRecord OnlyPrompt(const std::function<void()>& action, std::initializer_list<PromptAnswer> answers)
{
    CPromptScript script;
    for (PromptAnswer answer : answers)
        script.prompts.Script(answer);
    action();
    const std::vector<CPromptRecord>& shown = script.prompts.Shown();
    if (shown.size() == 1)
        return shown[0];
    ADD_FAILURE() << shown.size() << " messages shown, not one"
                  << (shown.empty() ? "" : "; the last: " + shown.back().text);
    return CPromptRecord{};
}

int RunModal(wxDialog& dialog, const std::function<void()>& inside)
{
    dialog.CallAfter([&dialog, inside] {
        inside();
        if (dialog.IsModal())
            dialog.EndModal(wxID_CANCEL);
    });
    return dialog.ShowModal();
}

namespace {
wxCommandEvent ClickEvent(wxWindow* window, int id)
{
    wxWindow* button = window->FindWindow(id);
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button ? button : window);
    return event;
}
} // namespace

void Click(wxWindow* window, int id)
{
    wxWindow* button = window->FindWindow(id);
    wxCommandEvent event = ClickEvent(window, id);
    (button ? button : window)->GetEventHandler()->ProcessEvent(event);
}

void PostClick(wxWindow* window, int id)
{
    wxWindow* button = window->FindWindow(id);
    wxPostEvent((button ? button : window)->GetEventHandler(), ClickEvent(window, id));
}

void RealClick(wxWindow* window, bool pump)
{
    if (pump)
        Pump(100);
    const wxRect r = window->GetScreenRect();
    wxUIActionSimulator sim;
    sim.MouseMove(r.x + r.width / 2 - 1, r.y + r.height / 2);
    sim.MouseMove(r.x + r.width / 2, r.y + r.height / 2);
    if (pump)
        Pump(50);
    sim.MouseClick();
    if (pump)
        Pump(150);
}

void Pump(int milliseconds)
{
    wxEventLoopGuarantor loop;
    wxStopWatch watch;
    do {
        wxEventLoopBase::GetActive()->YieldFor(wxEVT_CATEGORY_ALL);
        wxMilliSleep(5);
    } while (watch.Time() < milliseconds);
}

void ExpectTextsFit(wxWindow* window, bool width)
{
    for (wxWindow* child : window->GetChildren()) {
        auto* text = dynamic_cast<wxStaticText*>(child);
        if (!text)
            continue;
        wxClientDC dc(text);
        dc.SetFont(text->GetFont());
        wxSize needed = dc.GetMultiLineTextExtent(text->GetLabel());
        if (width) {
            EXPECT_LE(needed.x, text->GetSize().x) << window->GetLabel() << ": " << text->GetLabel();
        }
        EXPECT_LE(needed.y, text->GetSize().y) << window->GetLabel() << ": " << text->GetLabel();
    }
}

void ExpectChildrenInsideAndApart(wxWindow* window)
{
    const wxSize client = window->GetClientSize();
    std::vector<wxRect> rects;
    for (wxWindow* child : window->GetChildren()) {
        const wxRect r = child->GetRect();
        EXPECT_LE(r.GetRight(), client.x) << child->GetLabel();
        EXPECT_LE(r.GetBottom(), client.y) << child->GetLabel();
        for (const wxRect& other : rects)
            EXPECT_FALSE(r.Intersects(other)) << child->GetLabel();
        rects.push_back(r);
    }
}

void Type(wxTextCtrl* edit, const std::string& text)
{
    edit->SetValue(wxString::FromUTF8(text));
}

std::string Value(wxTextCtrl* edit)
{
    return std::string(edit->GetValue().utf8_str());
}

wxString Label(wxWindow* window, int id)
{
    auto* text = dynamic_cast<wxStaticText*>(window->FindWindow(id));
    return text ? text->GetLabelText() : "<missing>";
}

void Tick(wxCheckBox* box, bool on)
{
    box->SetValue(on);
    wxCommandEvent click(wxEVT_CHECKBOX, box->GetId());
    click.SetEventObject(box);
    click.SetInt(on ? 1 : 0);
    box->GetEventHandler()->ProcessEvent(click);
}
