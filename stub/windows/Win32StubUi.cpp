#include "stub/windows/Win32StubUi.h"

#include "engine/apply/BackupReport.h"
#include "platform/windows/WideText.h"
#include "stub/windows/Resources.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <algorithm>

namespace {

std::wstring ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

UINT MessageBoxFlags(PromptButtons buttons, PromptIcon icon)
{
    UINT flags = buttons == PromptButtons::OKCancel ? MB_OKCANCEL : buttons == PromptButtons::YesNo ? MB_YESNO : MB_OK;
    switch (icon) {
    case PromptIcon::Stop: flags |= MB_ICONSTOP; break;
    case PromptIcon::Question: flags |= MB_ICONQUESTION; break;
    case PromptIcon::Warning: flags |= MB_ICONWARNING; break;
    case PromptIcon::None: break;
    }
    return flags;
}

// Moves the keyboard focus in a dialog the way Tab does, so the default button follows.
void FocusControl(HWND dialog, int id)
{
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

// The result dialogs close with OK, Enter, Escape or their close box.
bool ClosesDialog(HWND dialog, UINT message, WPARAM w)
{
    if ((message == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) || message == WM_CLOSE) {
        EndDialog(dialog, IDOK);
        return true;
    }
    return false;
}

INT_PTR CALLBACK SuccessProc(HWND dialog, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_INITDIALOG) {
        const auto* result = reinterpret_cast<const CStubResult*>(l);
        SetDlgItemTextW(dialog, IDC_MESSAGE, Widen(result->message).c_str());
        SetDlgItemTextW(dialog, IDC_BACKUP_HEADING, Widen(kBackupHeading).c_str());
        std::string lines;
        for (const std::string& line : result->backups)
            lines += (lines.empty() ? "" : "\n") + line;
        SetDlgItemTextW(dialog, IDC_BACKUPS, WithCrLf(Widen(lines)).c_str());
        SendDlgItemMessageW(dialog, IDC_MESSAGE_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 0);
        FocusControl(dialog, IDOK); // Enter presses OK, not the text
        return FALSE;
    }
    return ClosesDialog(dialog, message, w);
}

INT_PTR CALLBACK ErrorsProc(HWND dialog, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_INITDIALOG) {
        const auto* result = reinterpret_cast<const CStubResult*>(l);
        HWND list = GetDlgItem(dialog, IDC_ERRORS_LIST);
        // The lines in the order the verification found them; the list scrolls sideways as
        // far as the longest line.
        HDC dc = GetDC(list);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
        int widest = 0;
        for (const std::string& line : result->lines) {
            const std::wstring wide = Widen(line);
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
            SIZE size{};
            GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
            widest = std::max(widest, static_cast<int>(size.cx));
        }
        SelectObject(dc, previous);
        ReleaseDC(list, dc);
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
        SetDlgItemTextW(dialog, IDC_CONTACT, Widen(result->contact).c_str());
        FocusControl(dialog, IDOK);
        return FALSE;
    }
    return ClosesDialog(dialog, message, w);
}

} // namespace

CWin32StubUi::CWin32StubUi()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    // The folder picker is a shell object.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    icon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
}

CWin32StubUi::~CWin32StubUi()
{
    progress_.Close();
    if (form_)
        DestroyWindow(form_);
    if (boldFont_)
        DeleteObject(boldFont_);
    for (HICON icon : {icon_, smallIcon_})
        if (icon)
            DestroyIcon(icon);
    CoUninitialize();
}

PromptAnswer CWin32StubUi::Ask(PromptOwner owner, const std::string& text, const std::string& title,
                               PromptButtons buttons, PromptIcon icon)
{
    HWND parent = owner == PromptOwner::ProgressDialog && progress_.Window() ? progress_.Window() : form_;
    switch (MessageBoxW(parent, Widen(text).c_str(), Widen(title).c_str(), MessageBoxFlags(buttons, icon))) {
    case IDOK: return PromptAnswer::OK;
    case IDCANCEL: return PromptAnswer::Cancel;
    case IDYES: return PromptAnswer::Yes;
    case IDNO: return PromptAnswer::No;
    default: return SafeAnswer(buttons); // no box could be shown
    }
}

void CWin32StubUi::CreateForm(const CStubIntro& intro, const CStubChoice& choice)
{
    form_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_APPLY), nullptr, &FormProc,
                               reinterpret_cast<LPARAM>(this));
    if (!form_)
        return;
    SendMessageW(form_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(form_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    // Who publishes the patch in bold, and the publisher's text as written; the text can be
    // selected and copied, and scrolls when it is long.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form_, WM_GETFONT, 0, 0)), sizeof font, &font);
    font.lfWeight = FW_BOLD;
    boldFont_ = CreateFontIndirectW(&font);
    SendDlgItemMessageW(form_, IDC_PUBLISHER, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_), FALSE);
    SetDlgItemTextW(form_, IDC_PUBLISHER, Widen(intro.publisher).c_str());
    SetDlgItemTextW(form_, IDC_TEXT, WithCrLf(Widen(intro.dialogText)).c_str());

    SetDlgItemTextW(form_, IDC_FOLDER, Widen(choice.folder).c_str());
    CheckDlgButton(form_, IDC_BACKUP, choice.backup ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(form_, IDC_EXT, Widen(choice.backupExt).c_str());
    EnableWindow(GetDlgItem(form_, IDC_EXT), choice.backup);
    EnableWindow(GetDlgItem(form_, IDC_EXT_LABEL), choice.backup);
    ShowWindow(form_, SW_SHOW);
    SetForegroundWindow(form_);
    FocusControl(form_, IDC_FOLDER);
}

bool CWin32StubUi::AskFolder(const CStubIntro& intro, CStubChoice& choice)
{
    if (!form_)
        CreateForm(intro, choice);
    if (!form_)
        return false;
    EnableWindow(form_, TRUE);
    answer_ = 0;
    MSG message;
    while (answer_ == 0) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) { // the session ends: leave the quit message for the outer loop
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (got < 0)
            return false;
        DispatchWindowMessage(message);
    }
    if (answer_ != IDOK)
        return false;
    // Blanks around the folder are slips of typing, not part of the name.
    const std::string typed = Narrow(ControlText(form_, IDC_FOLDER));
    const size_t first = typed.find_first_not_of(" \t");
    const size_t last = typed.find_last_not_of(" \t");
    choice.folder = first == std::string::npos ? std::string() : typed.substr(first, last - first + 1);
    choice.backup = IsDlgButtonChecked(form_, IDC_BACKUP) == BST_CHECKED;
    choice.backupExt = Narrow(ControlText(form_, IDC_EXT));
    return true;
}

INT_PTR CALLBACK CWin32StubUi::FormProc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, l);
        return FALSE; // the focus is set when the form is filled
    }
    auto* self = reinterpret_cast<CWin32StubUi*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;
    if (message == WM_CLOSE) {
        self->answer_ = IDCANCEL;
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(w)) {
    case IDOK:
    case IDCANCEL: self->answer_ = LOWORD(w); return TRUE;
    case IDC_BROWSE: self->Browse(); return TRUE;
    case IDC_BACKUP: {
        const bool on = IsDlgButtonChecked(window, IDC_BACKUP) == BST_CHECKED;
        EnableWindow(GetDlgItem(window, IDC_EXT), on);
        EnableWindow(GetDlgItem(window, IDC_EXT_LABEL), on);
        return TRUE;
    }
    default: return FALSE;
    }
}

void CWin32StubUi::Browse()
{
    IFileOpenDialog* picker = nullptr;
    if (FAILED(CoCreateInstance(__uuidof(FileOpenDialog), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&picker))))
        return;
    FILEOPENDIALOGOPTIONS options = 0;
    picker->GetOptions(&options);
    picker->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    picker->SetTitle(L"Choose folder to Apply Patch to...");
    const std::wstring current = ControlText(form_, IDC_FOLDER);
    IShellItem* start = nullptr;
    if (!current.empty() && SUCCEEDED(SHCreateItemFromParsingName(current.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
        picker->SetFolder(start);
        start->Release();
    }
    IShellItem* chosen = nullptr;
    if (SUCCEEDED(picker->Show(form_)) && SUCCEEDED(picker->GetResult(&chosen))) {
        PWSTR path = nullptr;
        if (SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            SetDlgItemTextW(form_, IDC_FOLDER, path);
            CoTaskMemFree(path);
        }
        chosen->Release();
    }
    picker->Release();
}

IApplyProgress& CWin32StubUi::BeginProgress()
{
    EnableWindow(form_, FALSE);
    progress_.Open(form_);
    return progress_;
}

void CWin32StubUi::EndProgress()
{
    progress_.Close();
    EnableWindow(form_, TRUE);
    SetForegroundWindow(form_);
}

void CWin32StubUi::ShowMessage(const std::string& text, const std::string& title, UINT icon)
{
    MessageBoxW(form_, Widen(text).c_str(), Widen(title).c_str(), MB_OK | icon);
}

void CWin32StubUi::ShowSuccess(const CStubResult& result)
{
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SUCCESS), form_, &SuccessProc,
                    reinterpret_cast<LPARAM>(&result));
}

void CWin32StubUi::ShowErrors(const CStubResult& result)
{
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ERRORS), form_, &ErrorsProc,
                    reinterpret_cast<LPARAM>(&result));
}

void CWin32StubUi::ShowResult(const CStubResult& result)
{
    switch (result.kind) {
    case CStubResult::Kind::Applied:
        // Where the backups went is listed below the message, in a text that scrolls.
        if (result.backups.empty())
            ShowMessage(result.message, "Delvorin Success!", MB_ICONINFORMATION);
        else
            ShowSuccess(result);
        break;
    case CStubResult::Kind::Failed:
    case CStubResult::Kind::Cancelled: ShowMessage(result.message, "Delvorin Whoops!", MB_ICONERROR); break;
    case CStubResult::Kind::NotMatching: ShowErrors(result); break;
    }
}
