#include "ui/CWxPrompt.h"

#include "app/AppCore.h"
#include "ui/CDelvorinApp.h"
#include "ui/WxText.h"

#include <wx/msgdlg.h>
// after msgdlg.h, which it builds on
#include <wx/generic/msgdlgg.h>

long MessageBoxStyle(PromptButtons buttons, PromptIcon icon)
{
    long style = 0;
    switch (buttons) {
    case PromptButtons::OK: style = wxOK; break;
    case PromptButtons::OKCancel: style = wxOK | wxCANCEL; break;
    case PromptButtons::YesNo: style = wxYES_NO; break;
    }
    switch (icon) {
    case PromptIcon::None: style |= wxICON_NONE; break;
    case PromptIcon::Stop: style |= wxICON_ERROR; break;
    case PromptIcon::Question: style |= wxICON_QUESTION; break;
    case PromptIcon::Warning: style |= wxICON_WARNING; break;
    }
    return style;
}

PromptAnswer AnswerFromReturnCode(int code)
{
    switch (code) {
    case wxID_YES: return PromptAnswer::Yes;
    case wxID_NO: return PromptAnswer::No;
    case wxID_CANCEL: return PromptAnswer::Cancel;
    default: return PromptAnswer::OK;
    }
}

PromptAnswer CWxPrompt::Ask(PromptOwner, const std::string& text, const std::string& title,
                            PromptButtons buttons, PromptIcon icon)
{
    // While a build or an apply runs, its progress dialog is the only window that takes
    // input, so it owns every message; otherwise the main window does.
    wxWindow* parent = nullptr;
    if (wxApp::GetInstance()) {
        CDelvorinApp& app = TheApp();
        parent = app.ActiveProgressDialog();
        if (!parent) {
            // A dialog the user is working in (the Split dialog, say) owns the message.
            wxWindow* active = wxGetActiveWindow();
            parent = active ? wxGetTopLevelParent(active) : app.MainWindowForMessages();
        }
    }
    // The toolkit's own message box on GTK 3 shows no icon; this one shows the stop,
    // question and warning icons of the desktop's icon theme.
    wxGenericMessageDialog box(parent, ToWx(text), ToWx(title), MessageBoxStyle(buttons, icon));
    return AnswerFromReturnCode(box.ShowModal());
}

void ShowAppMessage(const std::string& text)
{
    if (wxApp::GetInstance())
        TheApp().Core().Ask(PromptOwner::MainWindow, text, kAppName, PromptButtons::OK, PromptIcon::None);
}
