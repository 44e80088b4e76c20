// The file chooser under the core's open-file dialog: GTK's chooser with the caller's title
// and filter pairs, and the controls that the caller's template adds to the standard dialog
// (here the "Display Options" box with its two check boxes and the Help button) as the
// chooser's extra widget. It runs in our modal loop, so an animation behind it keeps running.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/gtk/gtk_backend.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

#define BS_TYPEMASK 0x0000000Fu
#define BS_AUTOCHECKBOX 0x00000003u
#define BS_CHECKBOX 0x00000002u
#define BS_GROUPBOX 0x00000007u
#define MB_ICONWARNING 0x00000030u

namespace {

// Controls of the standard open-file dialog (which GTK's chooser replaces with its own):
// the file and directory lists, the name box, the type and drive lists, OK, Cancel, Help and
// Read Only. Everything else in a template is the caller's own addition.
bool IsStandardControl(const DialogControlDefinition& control) {
    static const int standard[] = {1,    2,    1038, 1040, 1088, 1089, 1090,
                                   1091, 1120, 1121, 1136, 1137, 1152};
    for (int id : standard)
        if (control.Id == id) return true;
    return strcasecmp(control.ClassName, "button") != 0;
}

// "*.rm" matches "X.RM" too: file names are compared without regard to case on Windows.
std::string CaseInsensitivePattern(const std::string& pattern) {
    if (pattern == "*.*") return "*";
    std::string out;
    for (char c : pattern) {
        if (g_ascii_isalpha(c)) {
            out += '[';
            out += g_ascii_tolower(c);
            out += g_ascii_toupper(c);
            out += ']';
        } else {
            out += c;
        }
    }
    return out;
}

struct DialogRun {
    HWND Dialog = nullptr;
    int Response = 0;  // 0 while open
};

void OnControlClicked(GtkButton* button, gpointer data) {
    auto* run = static_cast<DialogRun*>(data);
    core::WindowRecord* w = core::LiveWindow(run->Dialog);
    if (w == nullptr || gtkb::Parts(*w).SettingCheck) return;
    core::ClickDialogItem(run->Dialog,
                          GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kinaro-id")));
}

void OnResponse(GtkDialog*, gint response, gpointer data) {
    static_cast<DialogRun*>(data)->Response = response == GTK_RESPONSE_ACCEPT ? 1 : 2;
}

void OnShow(GtkWidget*, gpointer data) {
    core::CallDialogHook(static_cast<DialogRun*>(data)->Dialog, WM_SHOWWINDOW, TRUE, 0);
}

GtkWidget* NewControl(DialogRun* run, const DialogControlDefinition& control) {
    GtkWidget* widget;
    uint32_t kind = control.Style & BS_TYPEMASK;
    if (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX) {
        widget = gtk_check_button_new_with_mnemonic(gtkb::Mnemonic(control.Text, true).c_str());
    } else {
        widget = gtk_button_new_with_mnemonic(gtkb::Mnemonic(control.Text, true).c_str());
    }
    g_object_set_data(G_OBJECT(widget), "kinaro-id", GINT_TO_POINTER(control.Id));
    core::WindowRecord* w = core::AnyWindow(run->Dialog);
    gtkb::Parts(*w).Controls.push_back({control.Id, widget});
    // What the hook has already set is shown.
    if (auto check = w->Checks.find(control.Id);
        check != w->Checks.end() && GTK_IS_TOGGLE_BUTTON(widget))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), check->second == BST_CHECKED);
    g_signal_connect(widget, "clicked", G_CALLBACK(OnControlClicked), run);
    return widget;
}

bool Inside(const DialogControlDefinition& inner, const DialogControlDefinition& outer) {
    return inner.X >= outer.X && inner.Y >= outer.Y &&
           inner.X + inner.Width <= outer.X + outer.Width &&
           inner.Y + inner.Height <= outer.Y + outer.Height;
}

// The template's own controls, laid out in a row: each group box holds the controls that
// lie inside it, in template order; the other buttons follow.
GtkWidget* BuildExtraWidget(DialogRun* run, const DialogDefinition& dialog) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    std::vector<const DialogControlDefinition*> own;
    for (int i = 0; i < dialog.ControlCount; ++i)
        if (!IsStandardControl(dialog.Controls[i])) own.push_back(&dialog.Controls[i]);
    std::vector<const DialogControlDefinition*> placed;
    for (const DialogControlDefinition* group : own) {
        if ((group->Style & BS_TYPEMASK) != BS_GROUPBOX) continue;
        GtkWidget* frame = gtk_frame_new(gtkb::Mnemonic(group->Text, false).c_str());
        GtkWidget* inner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 18);
        gtk_container_set_border_width(GTK_CONTAINER(inner), 6);
        gtk_container_add(GTK_CONTAINER(frame), inner);
        for (const DialogControlDefinition* control : own) {
            if (control == group || (control->Style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            if (!Inside(*control, *group)) continue;
            gtk_box_pack_start(GTK_BOX(inner), NewControl(run, *control), FALSE, FALSE, 0);
            placed.push_back(control);
        }
        gtk_box_pack_start(GTK_BOX(row), frame, FALSE, FALSE, 0);
        placed.push_back(group);
    }
    for (const DialogControlDefinition* control : own) {
        if (std::find(placed.begin(), placed.end(), control) != placed.end()) continue;
        GtkWidget* widget = NewControl(run, *control);
        gtk_widget_set_valign(widget, GTK_ALIGN_END);
        gtk_box_pack_end(GTK_BOX(row), widget, FALSE, FALSE, 0);
    }
    gtk_widget_show_all(row);
    return row;
}

void AddFilters(GtkFileChooser* chooser, const char* pairs, DWORD index) {
    if (pairs == nullptr) return;
    GtkFileFilter* selected = nullptr;
    DWORD number = 0;
    for (const char* p = pairs; *p != '\0';) {
        const char* name = p;
        const char* patterns = name + strlen(name) + 1;
        if (*patterns == '\0') break;
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, name);
        std::string list = patterns;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            std::string one = list.substr(start, end - start);
            if (!one.empty())
                gtk_file_filter_add_pattern(filter, CaseInsensitivePattern(one).c_str());
            start = end + 1;
        }
        gtk_file_chooser_add_filter(chooser, filter);
        if (++number == std::max<DWORD>(index, 1)) selected = filter;
        p = patterns + strlen(patterns) + 1;
    }
    if (selected != nullptr) gtk_file_chooser_set_filter(chooser, selected);
}

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// A name typed without an extension gets the default one when only that form exists.
std::string WithDefaultExtension(std::string path, const char* extension) {
    if (extension == nullptr || *extension == '\0' || FileExists(path)) return path;
    size_t slash = path.rfind('/');
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.find('.') != std::string::npos) return path;
    std::string candidate = path + "." + extension;
    return FileExists(candidate) ? candidate : path;
}

// Keeps the dialog within the work area: without a window manager nothing else would.
void LimitSize(GtkWidget* dialog, bool shown) {
    GdkDisplay* display = gtk_widget_get_display(dialog);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    GdkRectangle area = {0, 0, 1024, 768};
    if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
    GdkGeometry hints = {};
    hints.max_width = std::max(area.width, 320);
    hints.max_height = std::max(area.height, 240);
    gtk_window_set_geometry_hints(GTK_WINDOW(dialog), nullptr, &hints, GDK_HINT_MAX_SIZE);
    // The chooser picks a size of its own when it is shown; ours is set again after that.
    int width = std::min(780, hints.max_width), height = std::min(540, hints.max_height);
    if (shown)
        gtk_window_resize(GTK_WINDOW(dialog), width, height);
    else
        gtk_window_set_default_size(GTK_WINDOW(dialog), width, height);
}

void StoreFilterIndex(OPENFILENAMEA* request, GtkFileChooser* chooser) {
    GSList* filters = gtk_file_chooser_list_filters(chooser);
    int position = g_slist_index(filters, gtk_file_chooser_get_filter(chooser));
    g_slist_free(filters);
    if (position >= 0) request->nFilterIndex = (DWORD)position + 1;
}

}  // namespace

using namespace gtkb;

DWORD native::ChooseFile(HWND dialogHandle, OPENFILENAMEA* request, std::string* chosen) {
    constexpr DWORD DialogFailure = 0x8000FFFFu;
    if (!EnsureDisplay()) return DialogFailure;
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(request->lpstrTitle != nullptr ? request->lpstrTitle : "Open",
                                    nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                    GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    AddFilters(chooser, request->lpstrFilter, request->nFilterIndex);
    if (request->lpstrInitialDir != nullptr)
        gtk_file_chooser_set_current_folder(chooser, request->lpstrInitialDir);
    else if (gchar* cwd = g_get_current_dir()) {
        gtk_file_chooser_set_current_folder(chooser, cwd);
        g_free(cwd);
    }
    LimitSize(dialog, false);

    DialogRun run;
    run.Dialog = dialogHandle;
    AdoptDialog(dialogHandle, dialog);
    if (request->Flags & OFN_ENABLETEMPLATE)
        gtk_file_chooser_set_extra_widget(chooser, BuildExtraWidget(&run, OpenFileTemplate));
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), &run);
    g_signal_connect(dialog, "delete-event", G_CALLBACK(gtk_true), nullptr);
    g_signal_connect(dialog, "show", G_CALLBACK(OnShow), &run);
    gtk_widget_show(dialog);
    LimitSize(dialog, true);
    gtk_window_present(GTK_WINDOW(dialog));

    DWORD result = 0;
    for (;;) {
        run.Response = 0;
        core::RunModalLoop(
            [&] { return run.Response != 0 || core::LiveWindow(dialogHandle) == nullptr; });
        if (run.Response != 1) break;
        gchar* name = gtk_file_chooser_get_filename(chooser);
        std::string path = name != nullptr ? name : "";
        g_free(name);
        path = WithDefaultExtension(path, request->lpstrDefExt);
        if (path.empty()) continue;
        // A name that does not exist keeps the dialog open, as OFN_FILEMUSTEXIST asks.
        if ((request->Flags & OFN_FILEMUSTEXIST) && !FileExists(path)) {
            std::string text =
                path + "\nFile not found.\nPlease verify the correct file name was given.";
            MessageBoxA(dialogHandle, text.c_str(),
                        request->lpstrTitle != nullptr ? request->lpstrTitle : "Open",
                        MB_OK | MB_ICONWARNING);
            continue;
        }
        *chosen = path;
        StoreFilterIndex(request, chooser);
        result = 1;
        break;
    }
    g_signal_handlers_disconnect_by_data(dialog, &run);
    if (core::WindowRecord* w = core::AnyWindow(dialogHandle)) {
        for (auto& control : Parts(*w).Controls)
            g_signal_handlers_disconnect_by_data(control.second, &run);
        Parts(*w).Controls.clear();
    }
    ReleaseDialog(dialogHandle);
    gtk_widget_destroy(dialog);
    gdk_display_flush(gdk_display_get_default());
    return result;
}

void native::SetCheck(core::WindowRecord& dialog, int id, int state) {
    GtkParts& p = Parts(dialog);
    for (auto& [controlId, widget] : p.Controls) {
        if (controlId != id || !GTK_IS_TOGGLE_BUTTON(widget)) continue;
        // Setting the check is no click: the hook hears nothing of it.
        p.SettingCheck = true;
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), state == BST_CHECKED);
        p.SettingCheck = false;
    }
}
