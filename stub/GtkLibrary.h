// GTK 3, loaded when the apply program opens its window rather than linked, so that the
// program starts on machines without it. Only the few functions the window uses are
// looked up, once; every widget (and a text view's buffer) is handled as an opaque
// GtkWidget pointer (the toolkit's own casts between widget types are plain pointer
// conversions).
#pragma once
#include <string>

struct GtkWidget;
using gboolean = int;
using gpointer = void*;

// The values of the toolkit's enumerations that the window passes.
namespace gtk {
enum Orientation { kHorizontal = 0, kVertical = 1 };
enum Align { kAlignFill = 0, kAlignStart = 1, kAlignEnd = 2, kAlignCenter = 3 };
enum Shadow { kShadowIn = 1 };
enum Policy { kPolicyAutomatic = 1 };
enum WindowPosition { kCenter = 1, kCenterOnParent = 4 };
enum DialogFlags { kModal = 1, kDestroyWithParent = 2 };
enum MessageType { kInfo = 0, kWarning = 1, kQuestion = 2, kError = 3, kOther = 4 };
enum Buttons { kButtonsOk = 1, kButtonsYesNo = 4, kButtonsOkCancel = 5 };
enum Response { kAccept = -3, kDeleteEvent = -4, kOk = -5, kCancel = -6, kYes = -8, kNo = -9 };
enum FileChooserAction { kSelectFolder = 2 };
enum SelectionMode { kSelectNone = 0 };
enum Ellipsize { kEllipsizeMiddle = 2 };
} // namespace gtk

// Return type, name, parameters of every function looked up.
#define DELVORIN_GTK_FUNCTIONS(F)                                                                                    \
    F(gboolean, gtk_init_check, (int*, char***))                                                                     \
    F(gboolean, gtk_events_pending, ())                                                                              \
    F(gboolean, gtk_main_iteration_do, (gboolean))                                                                   \
    F(unsigned, g_timeout_add, (unsigned, gboolean (*)(gpointer), gpointer))                                         \
    F(unsigned long, g_signal_connect_data, (gpointer, const char*, void (*)(), gpointer, void*, int))              \
    F(void, g_free, (gpointer))                                                                                      \
    F(char*, g_markup_escape_text, (const char*, long))                                                              \
    F(gboolean, g_utf8_validate, (const char*, long, const char**))                                                  \
    F(GtkWidget*, gtk_dialog_new, ())                                                                                \
    F(GtkWidget*, gtk_dialog_add_button, (GtkWidget*, const char*, int))                                             \
    F(void, gtk_dialog_set_default_response, (GtkWidget*, int))                                                      \
    F(GtkWidget*, gtk_dialog_get_content_area, (GtkWidget*))                                                         \
    F(GtkWidget*, gtk_dialog_get_widget_for_response, (GtkWidget*, int))                                             \
    F(int, gtk_dialog_run, (GtkWidget*))                                                                             \
    F(void, gtk_dialog_response, (GtkWidget*, int))                                                                  \
    F(GtkWidget*, gtk_message_dialog_new, (GtkWidget*, int, int, int, const char*, ...))                             \
    F(GtkWidget*, gtk_message_dialog_get_message_area, (GtkWidget*))                                                 \
    F(GtkWidget*, gtk_file_chooser_dialog_new, (const char*, GtkWidget*, int, const char*, ...))                     \
    F(char*, gtk_file_chooser_get_filename, (GtkWidget*))                                                            \
    F(gboolean, gtk_file_chooser_set_current_folder, (GtkWidget*, const char*))                                      \
    F(void, gtk_window_set_title, (GtkWidget*, const char*))                                                         \
    F(void, gtk_window_set_resizable, (GtkWidget*, gboolean))                                                        \
    F(void, gtk_window_set_position, (GtkWidget*, int))                                                              \
    F(void, gtk_window_set_transient_for, (GtkWidget*, GtkWidget*))                                                  \
    F(void, gtk_window_set_modal, (GtkWidget*, gboolean))                                                            \
    F(void, gtk_window_set_default_size, (GtkWidget*, int, int))                                                     \
    F(void, gtk_window_set_icon_name, (GtkWidget*, const char*))                                                     \
    F(void, gtk_widget_show_all, (GtkWidget*))                                                                       \
    F(void, gtk_widget_destroy, (GtkWidget*))                                                                        \
    F(void, gtk_widget_grab_focus, (GtkWidget*))                                                                     \
    F(void, gtk_widget_set_sensitive, (GtkWidget*, gboolean))                                                        \
    F(void, gtk_widget_set_halign, (GtkWidget*, int))                                                                \
    F(void, gtk_widget_set_size_request, (GtkWidget*, int, int))                                                     \
    F(GtkWidget*, gtk_box_new, (int, int))                                                                           \
    F(void, gtk_box_pack_start, (GtkWidget*, GtkWidget*, gboolean, gboolean, unsigned))                              \
    F(void, gtk_container_add, (GtkWidget*, GtkWidget*))                                                             \
    F(void, gtk_container_set_border_width, (GtkWidget*, unsigned))                                                  \
    F(GtkWidget*, gtk_label_new, (const char*))                                                                      \
    F(GtkWidget*, gtk_label_new_with_mnemonic, (const char*))                                                        \
    F(void, gtk_label_set_text, (GtkWidget*, const char*))                                                           \
    F(void, gtk_label_set_markup, (GtkWidget*, const char*))                                                         \
    F(void, gtk_label_set_line_wrap, (GtkWidget*, gboolean))                                                         \
    F(void, gtk_label_set_max_width_chars, (GtkWidget*, int))                                                        \
    F(void, gtk_label_set_width_chars, (GtkWidget*, int))                                                            \
    F(void, gtk_label_set_ellipsize, (GtkWidget*, int))                                                              \
    F(void, gtk_label_set_xalign, (GtkWidget*, float))                                                               \
    F(void, gtk_label_set_selectable, (GtkWidget*, gboolean))                                                        \
    F(void, gtk_label_set_mnemonic_widget, (GtkWidget*, GtkWidget*))                                                 \
    F(GtkWidget*, gtk_entry_new, ())                                                                                 \
    F(void, gtk_entry_set_text, (GtkWidget*, const char*))                                                           \
    F(const char*, gtk_entry_get_text, (GtkWidget*))                                                                 \
    F(void, gtk_entry_set_activates_default, (GtkWidget*, gboolean))                                                 \
    F(void, gtk_entry_set_width_chars, (GtkWidget*, int))                                                            \
    F(GtkWidget*, gtk_button_new_with_mnemonic, (const char*))                                                       \
    F(GtkWidget*, gtk_check_button_new_with_mnemonic, (const char*))                                                 \
    F(gboolean, gtk_toggle_button_get_active, (GtkWidget*))                                                          \
    F(void, gtk_toggle_button_set_active, (GtkWidget*, gboolean))                                                    \
    F(GtkWidget*, gtk_progress_bar_new, ())                                                                          \
    F(void, gtk_progress_bar_set_fraction, (GtkWidget*, double))                                                     \
    F(void, gtk_progress_bar_set_text, (GtkWidget*, const char*))                                                    \
    F(void, gtk_progress_bar_set_show_text, (GtkWidget*, gboolean))                                                  \
    F(GtkWidget*, gtk_scrolled_window_new, (void*, void*))                                                           \
    F(void, gtk_scrolled_window_set_policy, (GtkWidget*, int, int))                                                  \
    F(void, gtk_scrolled_window_set_shadow_type, (GtkWidget*, int))                                                  \
    F(void, gtk_scrolled_window_set_min_content_height, (GtkWidget*, int))                                           \
    F(GtkWidget*, gtk_list_box_new, ())                                                                              \
    F(void, gtk_list_box_insert, (GtkWidget*, GtkWidget*, int))                                                      \
    F(void, gtk_list_box_set_selection_mode, (GtkWidget*, int))                                                      \
    F(GtkWidget*, gtk_text_view_new, ())                                                                             \
    F(GtkWidget*, gtk_text_view_get_buffer, (GtkWidget*))                                                            \
    F(void, gtk_text_view_set_editable, (GtkWidget*, gboolean))                                                      \
    F(void, gtk_text_view_set_cursor_visible, (GtkWidget*, gboolean))                                                \
    F(void, gtk_text_buffer_set_text, (GtkWidget*, const char*, int))                                                \
    F(GtkWidget*, gtk_frame_new, (const char*))                                                                      \
    F(void, gtk_frame_set_shadow_type, (GtkWidget*, int))                                                            \
    F(GtkWidget*, gtk_separator_new, (int))

struct CGtk {
#define DELVORIN_GTK_POINTER(ret, name, params) ret(*name) params = nullptr;
    DELVORIN_GTK_FUNCTIONS(DELVORIN_GTK_POINTER)
#undef DELVORIN_GTK_POINTER
};

// Connects a handler to a widget's signal (the toolkit calls it with the widget, the
// signal's own arguments and data).
template <typename Handler>
void Connect(const CGtk& gtk, GtkWidget* widget, const char* signal, Handler handler, void* data)
{
    gtk.g_signal_connect_data(widget, signal, reinterpret_cast<void (*)()>(handler), data, nullptr, 0);
}

// Loads the toolkit and looks its functions up; null, with why set, when it is not
// there or lacks one of them. The library stays loaded for the life of the process.
const CGtk* LoadGtk(std::string& why);
