// Modal message boxes. gtk_dialog_run would freeze the animation, since it does not pump
// our queue; our own modal loop does, so timer ticks and paints go on while a box is open.
// Without a display the box is written to stderr as "Title: text" and answered with OK, so
// that no message is ever lost.
#include <cstdio>

#include "platform/gtk/gtk_backend.h"

#define MB_OKCANCEL 0x00000001u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u

namespace {

const char* IconName(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return "dialog-error";
        case MB_ICONQUESTION: return "dialog-question";
        case MB_ICONWARNING: return "dialog-warning";
        case MB_ICONINFORMATION: return "dialog-information";
        default: return nullptr;
    }
}

struct BoxState {
    int Response = 0;  // 0 while open
};

void OnResponse(GtkDialog*, gint response, gpointer data) {
    auto* state = static_cast<BoxState*>(data);
    // Escape and the close box answer like the only (or the cancelling) button.
    state->Response = response == GTK_RESPONSE_OK ? IDOK : IDCANCEL;
}

}  // namespace

using namespace gtkb;

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
    if (const char* icon = IconName(type)) {
        if (gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), icon)) {
            GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
            gtk_widget_set_valign(image, GTK_ALIGN_START);
            gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
        }
    }
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_box_pack_start(GTK_BOX(row), label, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE,
                       0);

    GtkWidget* ok = gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", GTK_RESPONSE_OK);
    if ((type & MB_TYPEMASK) == MB_OKCANCEL)
        gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

    BoxState state;
    g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), &state);
    // The close box answers through "response"; the window itself stays ours to destroy.
    g_signal_connect(dialog, "delete-event", G_CALLBACK(gtk_true), nullptr);
    HWND box = core::BeginDialog(owner, caption);
    if (box != nullptr) AdoptDialog(box, dialog);
    gtk_window_set_position(GTK_WINDOW(dialog), GetParent(box) != nullptr
                                                    ? GTK_WIN_POS_CENTER_ON_PARENT
                                                    : GTK_WIN_POS_CENTER);
    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(ok);
    gtk_window_present(GTK_WINDOW(dialog));

    // The box also ends when its owner is destroyed under it.
    core::RunModalLoop([&] { return state.Response != 0 || core::LiveWindow(box) == nullptr; });
    int result = state.Response != 0 ? state.Response : IDCANCEL;
    if ((type & MB_TYPEMASK) != MB_OKCANCEL) result = IDOK;  // an OK-only box answers OK

    g_signal_handlers_disconnect_by_data(dialog, &state);
    if (box != nullptr) {
        ReleaseDialog(box);
        core::EndDialog(box);
    }
    gtk_widget_destroy(dialog);
    gdk_display_flush(gdk_display_get_default());
    return result;
}
