#include "stub/GtkStubUi.h"

#include "engine/apply/BackupReport.h"
#include "platform/FileSystem.h"
#include "terminal/Terminal.h"

namespace {

constexpr int kApplyResponse = 1;
constexpr int kGroupSpacing = 12; // pixels between the parts of the apply window
constexpr int kSpacing = 6;  // pixels between the controls of a row
constexpr int kTextWidth = 64; // characters the publisher's text is wrapped to

int MessageType(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Stop: return gtk::kError;
    case PromptIcon::Question: return gtk::kQuestion;
    case PromptIcon::Warning: return gtk::kWarning;
    case PromptIcon::None: break;
    }
    return gtk::kOther;
}

// The button Enter presses: the first one, OK or Yes, as message boxes have it.
int DefaultResponse(PromptButtons buttons)
{
    return buttons == PromptButtons::YesNo ? gtk::kYes : gtk::kOk;
}

int ButtonsType(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OK: return gtk::kButtonsOk;
    case PromptButtons::OKCancel: return gtk::kButtonsOkCancel;
    case PromptButtons::YesNo: return gtk::kButtonsYesNo;
    }
    return gtk::kButtonsOk;
}

} // namespace

CGtkStubUi::~CGtkStubUi()
{
    if (progress_)
        progress_->Close();
    if (form_)
        gtk_->gtk_widget_destroy(form_);
}

bool CGtkStubUi::Start(const char* programName, std::string& why)
{
    gtk_ = LoadGtk(why);
    if (!gtk_)
        return false;
    // The toolkit sees only the program's name: the folder and options are ours.
    static char* argvStore[] = {const_cast<char*>(programName), nullptr};
    static int argc = 1;
    static char** argv = argvStore;
    if (!gtk_->gtk_init_check(&argc, &argv)) {
        why = "the display cannot be opened";
        gtk_ = nullptr;
        return false;
    }
    progress_ = std::make_unique<CGtkApplyProgress>(*gtk_);
    gtk_->g_timeout_add(200, &CGtkStubUi::OnTick, this);
    return true;
}

gboolean CGtkStubUi::OnTick(gpointer self)
{
    // Asked to end (SIGTERM, SIGHUP, Ctrl-C): the dialog in front closes as if the user
    // had closed it, each in turn, so the session unwinds and the temporary files go.
    auto* ui = static_cast<CGtkStubUi*>(self);
    if (TerminationRequested() && !ui->running_.empty())
        ui->gtk_->gtk_dialog_response(ui->running_.back(), gtk::kDeleteEvent);
    return 1;
}

int CGtkStubUi::Run(GtkWidget* dialog)
{
    running_.push_back(dialog);
    const int response = gtk_->gtk_dialog_run(dialog);
    running_.pop_back();
    return response;
}

std::string CGtkStubUi::Shown(const std::string& text) const
{
    if (gtk_->g_utf8_validate(text.data(), static_cast<long>(text.size()), nullptr))
        return text;
    std::string utf8;
    for (unsigned char c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

GtkWidget* CGtkStubUi::NewLabel(const std::string& text, bool wrap)
{
    GtkWidget* label = gtk_->gtk_label_new(Shown(text).c_str());
    gtk_->gtk_label_set_xalign(label, 0);
    if (wrap) {
        // As wide as the text allows at once, so that the window does not take the
        // height the text would need at its narrowest.
        gtk_->gtk_label_set_line_wrap(label, 1);
        gtk_->gtk_label_set_width_chars(label, kTextWidth);
        gtk_->gtk_label_set_max_width_chars(label, kTextWidth);
    }
    return label;
}

PromptAnswer CGtkStubUi::Ask(PromptOwner owner, const std::string& text, const std::string& title,
                             PromptButtons buttons, PromptIcon icon)
{
    GtkWidget* parent = owner == PromptOwner::ProgressDialog && progress_->Window() ? progress_->Window() : form_;
    GtkWidget* box = gtk_->gtk_message_dialog_new(parent, gtk::kModal | gtk::kDestroyWithParent, MessageType(icon),
                                                  ButtonsType(buttons), "%s", Shown(text).c_str());
    gtk_->gtk_window_set_title(box, title.c_str());
    if (!parent)
        gtk_->gtk_window_set_position(box, gtk::kCenter);
    gtk_->gtk_dialog_set_default_response(box, DefaultResponse(buttons));
    if (GtkWidget* button = gtk_->gtk_dialog_get_widget_for_response(box, DefaultResponse(buttons)))
        gtk_->gtk_widget_grab_focus(button);
    const int response = Run(box);
    gtk_->gtk_widget_destroy(box);
    switch (response) {
    case gtk::kOk: return PromptAnswer::OK;
    case gtk::kCancel: return PromptAnswer::Cancel;
    case gtk::kYes: return PromptAnswer::Yes;
    case gtk::kNo: return PromptAnswer::No;
    default: return SafeAnswer(buttons); // closed without an answer
    }
}

void CGtkStubUi::BuildForm(const CStubIntro& intro, const CStubChoice& choice)
{
    const CGtk& g = *gtk_;
    form_ = g.gtk_dialog_new();
    g.gtk_window_set_title(form_, "Delvorin Apply");
    g.gtk_window_set_icon_name(form_, "system-software-update");
    g.gtk_window_set_resizable(form_, 0);
    g.gtk_window_set_position(form_, gtk::kCenter);
    g.gtk_container_set_border_width(form_, kSpacing);
    GtkWidget* box = g.gtk_box_new(gtk::kVertical, kGroupSpacing);
    g.gtk_container_set_border_width(box, kSpacing);

    // Who publishes the patch, and what the publisher has to say about it, as written
    // (no markup, no mnemonics); the text can be selected and copied.
    if (!intro.publisher.empty()) {
        GtkWidget* publisher = NewLabel("", true);
        char* escaped = g.g_markup_escape_text(Shown(intro.publisher).c_str(), -1);
        g.gtk_label_set_markup(publisher, (std::string("<b>") + escaped + "</b>").c_str());
        g.g_free(escaped);
        g.gtk_box_pack_start(box, publisher, 0, 0, 0);
    }
    if (!intro.dialogText.empty()) {
        GtkWidget* text = NewLabel(intro.dialogText, true);
        g.gtk_label_set_selectable(text, 1);
        g.gtk_box_pack_start(box, text, 0, 0, 0);
    }

    GtkWidget* folderRow = g.gtk_box_new(gtk::kHorizontal, kSpacing);
    GtkWidget* folderLabel = g.gtk_label_new_with_mnemonic("_Folder to update:");
    folder_ = g.gtk_entry_new();
    g.gtk_entry_set_width_chars(folder_, 40);
    g.gtk_entry_set_text(folder_, Shown(choice.folder).c_str());
    g.gtk_entry_set_activates_default(folder_, 1);
    g.gtk_label_set_mnemonic_widget(folderLabel, folder_);
    GtkWidget* browse = g.gtk_button_new_with_mnemonic("B_rowse ...");
    Connect(g, browse, "clicked", &CGtkStubUi::OnBrowse, this);
    g.gtk_box_pack_start(folderRow, folderLabel, 0, 0, 0);
    g.gtk_box_pack_start(folderRow, folder_, 1, 1, 0);
    g.gtk_box_pack_start(folderRow, browse, 0, 0, 0);
    g.gtk_box_pack_start(box, folderRow, 0, 0, 0);

    GtkWidget* backupRow = g.gtk_box_new(gtk::kHorizontal, kSpacing);
    backup_ = g.gtk_check_button_new_with_mnemonic("Create _backup of old files");
    g.gtk_toggle_button_set_active(backup_, choice.backup);
    Connect(g, backup_, "toggled", &CGtkStubUi::OnBackupToggled, this);
    GtkWidget* extLabel = g.gtk_label_new_with_mnemonic("Backup file _extension:");
    backupExt_ = g.gtk_entry_new();
    g.gtk_entry_set_width_chars(backupExt_, 8);
    g.gtk_entry_set_text(backupExt_, Shown(choice.backupExt).c_str());
    g.gtk_entry_set_activates_default(backupExt_, 1);
    g.gtk_widget_set_sensitive(backupExt_, choice.backup);
    g.gtk_label_set_mnemonic_widget(extLabel, backupExt_);
    g.gtk_box_pack_start(backupRow, backup_, 1, 1, 0);
    g.gtk_box_pack_start(backupRow, extLabel, 0, 0, 0);
    g.gtk_box_pack_start(backupRow, backupExt_, 0, 0, 0);
    g.gtk_box_pack_start(box, backupRow, 0, 0, 0);

    g.gtk_container_add(g.gtk_dialog_get_content_area(form_), box);
    g.gtk_dialog_add_button(form_, "_Cancel", gtk::kCancel);
    g.gtk_dialog_add_button(form_, "_Apply", kApplyResponse);
    g.gtk_dialog_set_default_response(form_, kApplyResponse);
    g.gtk_widget_show_all(form_);
    g.gtk_widget_grab_focus(folder_);
}

bool CGtkStubUi::AskFolder(const CStubIntro& intro, CStubChoice& choice)
{
    if (!form_)
        BuildForm(intro, choice);
    if (Run(form_) != kApplyResponse)
        return false;
    // Blanks around the folder are slips of typing, not part of the name.
    const std::string typed = gtk_->gtk_entry_get_text(folder_);
    const size_t first = typed.find_first_not_of(" \t");
    const size_t last = typed.find_last_not_of(" \t");
    choice.folder = first == std::string::npos ? std::string() : typed.substr(first, last - first + 1);
    choice.backup = gtk_->gtk_toggle_button_get_active(backup_) != 0;
    choice.backupExt = gtk_->gtk_entry_get_text(backupExt_);
    return true;
}

void CGtkStubUi::OnBrowse(GtkWidget*, gpointer self)
{
    auto* ui = static_cast<CGtkStubUi*>(self);
    const CGtk& g = *ui->gtk_;
    GtkWidget* chooser = g.gtk_file_chooser_dialog_new("Choose folder to Apply Patch to...", ui->form_,
                                                       gtk::kSelectFolder, "_Cancel", gtk::kCancel, "_Select",
                                                       gtk::kAccept, static_cast<char*>(nullptr));
    const std::string current = g.gtk_entry_get_text(ui->folder_);
    if (!current.empty() && fsys::FolderExists(current))
        g.gtk_file_chooser_set_current_folder(chooser, current.c_str());
    if (ui->Run(chooser) == gtk::kAccept) {
        if (char* chosen = g.gtk_file_chooser_get_filename(chooser)) {
            g.gtk_entry_set_text(ui->folder_, ui->Shown(chosen).c_str());
            g.g_free(chosen);
        }
    }
    g.gtk_widget_destroy(chooser);
}

void CGtkStubUi::OnBackupToggled(GtkWidget* check, gpointer self)
{
    auto* ui = static_cast<CGtkStubUi*>(self);
    ui->gtk_->gtk_widget_set_sensitive(ui->backupExt_, ui->gtk_->gtk_toggle_button_get_active(check));
}

IApplyProgress& CGtkStubUi::BeginProgress()
{
    gtk_->gtk_widget_set_sensitive(form_, 0);
    progress_->Open(form_);
    return *progress_;
}

void CGtkStubUi::EndProgress()
{
    progress_->Close();
    gtk_->gtk_widget_set_sensitive(form_, 1);
}

void CGtkStubUi::ShowMessage(const std::string& text, const std::string& title, int type,
                             const std::vector<std::string>& backups)
{
    const CGtk& g = *gtk_;
    GtkWidget* box =
        g.gtk_message_dialog_new(form_, gtk::kModal | gtk::kDestroyWithParent, type, gtk::kButtonsOk, "%s", text.c_str());
    g.gtk_window_set_title(box, title.c_str());
    if (!backups.empty()) {
        // Below the message, where each backup went: one line each, in a text that
        // scrolls, so that thousands of them keep the box on the screen.
        GtkWidget* area = g.gtk_message_dialog_get_message_area(box);
        g.gtk_box_pack_start(area, NewLabel(kBackupHeading, false), 0, 0, 0);
        GtkWidget* view = g.gtk_text_view_new();
        g.gtk_text_view_set_editable(view, 0);
        g.gtk_text_view_set_cursor_visible(view, 0);
        std::string lines;
        for (const std::string& line : backups)
            lines += (lines.empty() ? "" : "\n") + Shown(line);
        g.gtk_text_buffer_set_text(g.gtk_text_view_get_buffer(view), lines.c_str(), -1);
        GtkWidget* scroller = Scrolled(view);
        g.gtk_widget_set_size_request(scroller, 480, -1);
        g.gtk_box_pack_start(area, scroller, 1, 1, 0);
        g.gtk_widget_show_all(area);
    }
    // Enter presses OK, not the text.
    g.gtk_dialog_set_default_response(box, gtk::kOk);
    if (GtkWidget* ok = g.gtk_dialog_get_widget_for_response(box, gtk::kOk))
        g.gtk_widget_grab_focus(ok);
    Run(box);
    g.gtk_widget_destroy(box);
}

GtkWidget* CGtkStubUi::Scrolled(GtkWidget* content)
{
    const CGtk& g = *gtk_;
    GtkWidget* scroller = g.gtk_scrolled_window_new(nullptr, nullptr);
    g.gtk_scrolled_window_set_policy(scroller, gtk::kPolicyAutomatic, gtk::kPolicyAutomatic);
    g.gtk_scrolled_window_set_shadow_type(scroller, gtk::kShadowIn);
    g.gtk_scrolled_window_set_min_content_height(scroller, 160);
    g.gtk_container_add(scroller, content);
    return scroller;
}

void CGtkStubUi::ShowResult(const CStubResult& result)
{
    switch (result.kind) {
    case CStubResult::Kind::Applied:
        ShowMessage(result.message, "Delvorin Success!", gtk::kInfo, result.backups);
        break;
    case CStubResult::Kind::Failed:
    case CStubResult::Kind::Cancelled: ShowMessage(result.message, "Delvorin Whoops!", gtk::kError); break;
    case CStubResult::Kind::NotMatching: ShowErrors(result); break;
    }
}

void CGtkStubUi::ShowErrors(const CStubResult& result)
{
    const CGtk& g = *gtk_;
    GtkWidget* dialog = g.gtk_dialog_new();
    g.gtk_window_set_title(dialog, "Delvorin Errors");
    g.gtk_window_set_transient_for(dialog, form_);
    g.gtk_window_set_modal(dialog, 1);
    g.gtk_window_set_position(dialog, gtk::kCenter);
    g.gtk_container_set_border_width(dialog, kSpacing);
    GtkWidget* box = g.gtk_box_new(gtk::kVertical, kSpacing);
    g.gtk_container_set_border_width(box, kSpacing);
    g.gtk_box_pack_start(
        box, NewLabel("Delvorin encountered the following errors when verifying if the update can be applied:", true),
        0, 0, 0);

    // The lines in the order the verification found them, as a list.
    GtkWidget* list = g.gtk_list_box_new();
    g.gtk_list_box_set_selection_mode(list, gtk::kSelectNone);
    for (const std::string& line : result.lines)
        g.gtk_list_box_insert(list, NewLabel(line, false), -1);
    g.gtk_box_pack_start(box, Scrolled(list), 1, 1, 0);

    g.gtk_box_pack_start(box,
                         NewLabel("The Delvorin process was aborted, because of the previous errors.  The files that "
                                  "you were updating have not been changed. You should contact the following company "
                                  "to resolve this problem:",
                                  true),
                         0, 0, 0);
    // Whom to contact, centred in a sunken frame.
    GtkWidget* frame = g.gtk_frame_new(nullptr);
    g.gtk_frame_set_shadow_type(frame, gtk::kShadowIn);
    GtkWidget* contact = g.gtk_label_new(Shown(result.contact).c_str());
    g.gtk_label_set_selectable(contact, 1);
    g.gtk_widget_set_size_request(contact, -1, 24);
    g.gtk_container_add(frame, contact);
    g.gtk_box_pack_start(box, frame, 0, 0, 0);

    g.gtk_container_add(g.gtk_dialog_get_content_area(dialog), box);
    GtkWidget* ok = g.gtk_dialog_add_button(dialog, "_OK", gtk::kOk);
    g.gtk_dialog_set_default_response(dialog, gtk::kOk);
    g.gtk_widget_show_all(dialog);
    g.gtk_widget_grab_focus(ok);
    Run(dialog);
    g.gtk_widget_destroy(dialog);
}
