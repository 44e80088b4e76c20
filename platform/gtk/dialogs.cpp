// The modal dialogs under the core's dialog records: message boxes, and GTK's file chooser
// with the caller's title, filter pairs and the controls that the caller's template adds to
// the standard dialog (the "Display Options" box with its two check boxes, and the Help
// button). gtk_dialog_run would freeze the animation, since it does not pump our queue; our
// own modal loop does, so timer ticks and paints go on while a dialog is open.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gtk/gtk_backend.h"
#include "resources/resource_tables.h"

// Button styles and message box types as Win32 numbers them.
constexpr uint32_t BsTypeMask = 0xF, BsCheckBox = 2, BsAutoCheckBox = 3, BsGroupBox = 7;
constexpr UINT MbOkCancel = 1, MbTypeMask = 0xF, MbIconMask = 0xF0, MbIconWarning = 0x30;

using namespace gtkb;

namespace {

// The record `dialog` (null when the core could make none) gets the GtkDialog: transient for
// its owner, activation followed.
void AdoptDialog(HWND dialog, GtkWidget* toplevel) {
    // The close box answers through "response"; the window itself stays ours to destroy.
    g_signal_connect(toplevel, "delete-event", G_CALLBACK(gtk_true), nullptr);
    core::WindowRecord* w = core::AnyWindow(dialog);
    if (w == nullptr) return;
    Parts(*w).Toplevel = toplevel;
    g_signal_connect(toplevel, "notify::is-active", G_CALLBACK(OnActiveChanged), dialog);
    if (core::WindowRecord* owner = core::AnyWindow(w->Parent); owner != nullptr && owner->Alive) {
        gtk_window_set_transient_for(GTK_WINDOW(toplevel), GTK_WINDOW(Parts(*owner).Toplevel));
        // A dialog owner (the file dialog under its help box) has GTK's own widgets, which
        // take input unless made insensitive.
        if (owner->Type == core::WindowKind::Dialog)
            gtk_widget_set_sensitive(Parts(*owner).Toplevel, FALSE);
    }
}

// Our modal loop until the dialog answers (its response) or its record dies (0), which
// happens when the owner is destroyed under it.
gint RunDialog(HWND dialog, GtkWidget* toplevel) {
    gint response = 0;
    auto answer = +[](GtkDialog*, gint r, gpointer to) { *static_cast<gint*>(to) = r; };
    gulong handler = g_signal_connect(toplevel, "response", G_CALLBACK(answer), &response);
    core::RunModalLoop([&] { return response != 0 || core::LiveWindow(dialog) == nullptr; });
    g_signal_handler_disconnect(toplevel, handler);
    return response;
}

void DropDialog(HWND dialog, GtkWidget* toplevel) {
    if (core::WindowRecord* w = core::AnyWindow(dialog)) {
        g_signal_handlers_disconnect_by_data(toplevel, dialog);
        Parts(*w).Toplevel = nullptr;
        Parts(*w).Controls.clear();
        core::WindowRecord* owner = core::AnyWindow(w->Parent);
        if (owner != nullptr && owner->Alive && owner->Type == core::WindowKind::Dialog &&
            owner->DisabledCount <= 1 && Parts(*owner).Toplevel != nullptr)
            gtk_widget_set_sensitive(Parts(*owner).Toplevel, TRUE);
    }
    gtk_widget_destroy(toplevel);
    gdk_display_flush(gdk_display_get_default());
}

// "*.rm" matches "X.RM" too: file names are compared without regard to case on Windows.
std::string CaseInsensitivePattern(const char* pattern) {
    if (strcmp(pattern, "*.*") == 0) return "*";
    std::string out;
    for (const char* c = pattern; *c != '\0'; ++c)
        out += g_ascii_isalpha(*c) ? std::string{'[', g_ascii_tolower(*c), g_ascii_toupper(*c), ']'}
                                   : std::string(1, *c);
    return out;
}

void OnControlClicked(GtkButton* button, gpointer dialog) {
    core::ClickDialogItem(static_cast<HWND>(dialog),
                          GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kinaro-id")));
}

GtkWidget* NewControl(HWND dialog, const DialogControlDefinition& control, bool check) {
    std::string text = Mnemonic(control.Text);
    GtkWidget* widget = check ? gtk_check_button_new_with_mnemonic(text.c_str())
                              : gtk_button_new_with_mnemonic(text.c_str());
    g_object_set_data(G_OBJECT(widget), "kinaro-id", GINT_TO_POINTER(control.Id));
    core::WindowRecord* w = core::AnyWindow(dialog);
    Parts(*w).Controls[control.Id] = widget;
    // What the hook has already set is shown.
    if (auto state = w->Checks.find(control.Id); check && state != w->Checks.end())
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), state->second == BST_CHECKED);
    g_signal_connect(widget, "clicked", G_CALLBACK(OnControlClicked), dialog);
    return widget;
}

// The template's own controls in a row: a group box frames the check boxes after it; the
// other buttons follow at the end of the row. GTK's chooser has its own file lists, name box,
// type list, OK and Cancel: of the buttons only those that the standard dialog lacks (all but
// OK, Cancel, Help and Read Only) are the caller's own.
GtkWidget* BuildExtraWidget(HWND dialog, const DialogDefinition& definition) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget* group = row;
    for (int i = 0; i < definition.ControlCount; ++i) {
        const DialogControlDefinition& control = definition.Controls[i];
        uint32_t kind = control.Style & BsTypeMask;
        if (strcmp(control.ClassName, "button") != 0 || control.Id == IDOK ||
            control.Id == IDCANCEL || control.Id == 1038 || control.Id == 1040)
            continue;
        if (kind == BsGroupBox) {
            GtkWidget* frame = gtk_frame_new(Mnemonic(control.Text, false).c_str());
            group = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 18);
            gtk_container_set_border_width(GTK_CONTAINER(group), 6);
            gtk_container_add(GTK_CONTAINER(frame), group);
            gtk_box_pack_start(GTK_BOX(row), frame, FALSE, FALSE, 0);
        } else if (kind == BsAutoCheckBox || kind == BsCheckBox) {
            gtk_box_pack_start(GTK_BOX(group), NewControl(dialog, control, true), FALSE, FALSE, 0);
        } else {
            GtkWidget* button = NewControl(dialog, control, false);
            gtk_widget_set_valign(button, GTK_ALIGN_END);
            gtk_box_pack_end(GTK_BOX(row), button, FALSE, FALSE, 0);
        }
    }
    gtk_widget_show_all(row);
    return row;
}

void AddFilters(GtkFileChooser* chooser, const char* pairs, DWORD index) {
    DWORD number = 0;
    for (const char* name = pairs; name != nullptr && *name != '\0';) {
        const char* patterns = name + strlen(name) + 1;
        if (*patterns == '\0') break;
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, name);
        g_auto(GStrv) list = g_strsplit(patterns, ";", -1);
        for (gchar** one = list; *one != nullptr; ++one)
            if (**one != '\0')
                gtk_file_filter_add_pattern(filter, CaseInsensitivePattern(*one).c_str());
        gtk_file_chooser_add_filter(chooser, filter);
        if (++number == std::max<DWORD>(index, 1)) gtk_file_chooser_set_filter(chooser, filter);
        name = patterns + strlen(patterns) + 1;
    }
}

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// A long text (a long file name has no spaces) is broken into lines within the screen's
// width, so the box stays on screen with its text and its button; shorter lines keep their
// own breaks. The breaks are laid out once here: a label that wraps by itself lays its text
// out again and again while it looks for its size, which takes GTK minutes for such a text.
std::string WrappedToScreen(GtkWidget* label, const char* text) {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return text;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    // Room for the icon, the borders and the window manager's frame.
    constexpr int Margins = 160;
    PangoLayout* layout = gtk_widget_create_pango_layout(label, text);
    pango_layout_set_width(layout, std::max(200, area.width - Margins) * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    std::vector<int> breaks;
    for (GSList* l = pango_layout_get_lines_readonly(layout); l != nullptr; l = l->next) {
        const PangoLayoutLine* line = static_cast<const PangoLayoutLine*>(l->data);
        if (line->start_index > 0 && !line->is_paragraph_start) breaks.push_back(line->start_index);
    }
    g_object_unref(layout);
    std::string wrapped;
    size_t from = 0;
    for (int at : breaks) {
        wrapped.append(text + from, static_cast<size_t>(at) - from);
        wrapped.push_back('\n');
        from = static_cast<size_t>(at);
    }
    return wrapped.append(text + from);
}

}  // namespace

// Without a display the box is written to stderr as "Title: text" and answered with OK, so
// that no message is ever lost.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "Error";
    if (!EnsureDisplay()) {
        fprintf(stderr, "%s: %s\n", caption, text);
        fflush(stderr);
        return IDOK;
    }
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_icon_name(GTK_WINDOW(dialog), nullptr);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    gtk_container_set_border_width(GTK_CONTAINER(row), 12);
    // MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION: 0x10 to 0x40
    static const char* const icons[] = {nullptr, "dialog-error", "dialog-question",
                                        "dialog-warning", "dialog-information"};
    UINT icon = (type & MbIconMask) >> 4;
    if (icon < 5 && icons[icon] != nullptr &&
        gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), icons[icon])) {
        GtkWidget* image = gtk_image_new_from_icon_name(icons[icon], GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    }
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_text(GTK_LABEL(label), WrappedToScreen(label, text).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE,
                       0);

    GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
    bool okCancel = (type & MbTypeMask) == MbOkCancel;
    if (okCancel) gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

    HWND box = core::BeginDialog(owner, caption);
    AdoptDialog(box, dialog);
    gtk_window_set_position(GTK_WINDOW(dialog), GetParent(box) != nullptr
                                                    ? GTK_WIN_POS_CENTER_ON_PARENT
                                                    : GTK_WIN_POS_CENTER);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(ok);
    gtk_window_present(GTK_WINDOW(dialog));
    // Escape and the close box answer like the only (or the cancelling) button.
    bool accepted = RunDialog(box, dialog) == GTK_RESPONSE_OK || !okCancel;
    DropDialog(box, dialog);
    if (box != nullptr) core::EndDialog(box);
    return accepted ? IDOK : IDCANCEL;
}

// Only reached with a display: without one the core can make no dialog record.
DWORD native::ChooseFile(HWND dialogHandle, OPENFILENAMEA* request, std::string* chosen) {
    const char* title = request->lpstrTitle != nullptr ? request->lpstrTitle : "Open";
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(title, nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    AddFilters(chooser, request->lpstrFilter, request->nFilterIndex);
    g_autofree gchar* cwd = g_get_current_dir();
    gtk_file_chooser_set_current_folder(
        chooser, request->lpstrInitialDir != nullptr ? request->lpstrInitialDir : cwd);
    // Kept within the work area: without a window manager nothing else would.
    GdkRectangle area = WorkArea(dialog, {0, 0, 1024, 768});
    GdkGeometry hints = {};
    hints.max_width = std::max(area.width, 320);
    hints.max_height = std::max(area.height, 240);
    gtk_window_set_geometry_hints(GTK_WINDOW(dialog), nullptr, &hints, GDK_HINT_MAX_SIZE);
    int width = std::min(780, hints.max_width), height = std::min(540, hints.max_height);
    gtk_window_set_default_size(GTK_WINDOW(dialog), width, height);

    AdoptDialog(dialogHandle, dialog);
    if (request->Flags & OFN_ENABLETEMPLATE)
        gtk_file_chooser_set_extra_widget(chooser,
                                          BuildExtraWidget(dialogHandle, OpenFileTemplate));
    // As on Windows, the hook hears WM_SHOWWINDOW as the dialog is about to be shown.
    core::CallDialogHook(dialogHandle, WM_SHOWWINDOW, TRUE, 0);
    gtk_widget_show(dialog);
    // The chooser picks a size of its own when it is shown; ours is set again after that.
    gtk_window_resize(GTK_WINDOW(dialog), width, height);
    gtk_window_present(GTK_WINDOW(dialog));

    DWORD result = 0;
    while (result == 0 && RunDialog(dialogHandle, dialog) == GTK_RESPONSE_ACCEPT) {
        g_autofree gchar* name = gtk_file_chooser_get_filename(chooser);
        std::string path = name != nullptr ? name : "";
        // A name typed without an extension gets the default one when only that form exists.
        const char* extension = request->lpstrDefExt;
        std::string extended = path + "." + (extension != nullptr ? extension : "");
        if (extension != nullptr && *extension != '\0' && !FileExists(path) &&
            path.find('.', path.rfind('/') + 1) == std::string::npos && FileExists(extended))
            path = extended;
        if (path.empty()) continue;
        // A name that does not exist keeps the dialog open, as OFN_FILEMUSTEXIST asks.
        if ((request->Flags & OFN_FILEMUSTEXIST) && !FileExists(path)) {
            std::string text =
                path + "\nFile not found.\nPlease verify the correct file name was given.";
            MessageBoxA(dialogHandle, text.c_str(), title, MB_OK | MbIconWarning);
            continue;
        }
        *chosen = path;
        g_autoptr(GSList) filters = gtk_file_chooser_list_filters(chooser);
        int position = g_slist_index(filters, gtk_file_chooser_get_filter(chooser));
        if (position >= 0) request->nFilterIndex = (DWORD)position + 1;
        result = 1;
    }
    DropDialog(dialogHandle, dialog);
    return result;
}

void native::SetCheck(core::WindowRecord& dialog, int id, int state) {
    auto control = Parts(dialog).Controls.find(id);
    if (control == Parts(dialog).Controls.end() || !GTK_IS_TOGGLE_BUTTON(control->second)) return;
    // Setting the check is no click: the hook hears nothing of it.
    g_signal_handlers_block_by_func(control->second, (gpointer)OnControlClicked, dialog.Handle);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->second), state == BST_CHECKED);
    g_signal_handlers_unblock_by_func(control->second, (gpointer)OnControlClicked, dialog.Handle);
}
