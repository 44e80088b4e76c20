// Menu bars and icon 101, built from the program's one definition of its resources. The
// menu's '&' becomes GTK's mnemonic, the text after '\t' is shown as the accelerator label,
// and choosing an item posts WM_COMMAND with its id to the window the menu belongs to.
#include <cstring>
#include <string>

#include "platform/gtk/gtk_backend.h"
#include "resources/icon_drawing.h"
#include "resources/resource_tables.h"

namespace gtkb {

// "&Go" -> "_Go"; "&&" is a literal '&'; a literal '_' is doubled. Without mnemonics the
// marks are dropped.
std::string Mnemonic(const char* text, bool mnemonic) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '&' && p[1] == '&')
            out += *p++;
        else if (*p == '&' || *p == '_')
            out += mnemonic ? (*p == '&' ? "_" : "__") : (*p == '&' ? "" : "_");
        else
            out += *p;
    }
    return out;
}

namespace {

void OnItemActivate(GtkMenuItem* widget, gpointer menu) {
    int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "kinaro-id"));
    core::MenuRecord* m = core::Find<core::MenuRecord>(menu);
    core::WindowRecord* w = m != nullptr ? core::AnyWindow(m->AttachedTo) : nullptr;
    if (w != nullptr && core::AcceptsInput(*w)) core::Post(w->Handle, WM_COMMAND, (WORD)id, 0);
}

GtkWidget* NewItem(gpointer menu, const MenuItemDefinition& item) {
    const char* tab = strchr(item.Text, '\t');
    std::string text(item.Text, tab != nullptr ? tab - item.Text : strlen(item.Text));
    GtkWidget* widget = gtk_menu_item_new_with_mnemonic(Mnemonic(text.c_str()).c_str());
    if (tab != nullptr && tab[1] != '\0') {
        // Shown only: the keys themselves reach the window as characters.
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
        guint key =
            tab[2] == '\0' ? gdk_unicode_to_keyval((guchar)tab[1]) : gdk_keyval_from_name(tab + 1);
        if (GTK_IS_ACCEL_LABEL(label) && key != GDK_KEY_VoidSymbol)
            gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), key, (GdkModifierType)0);
    }
    g_object_set_data(G_OBJECT(widget), "kinaro-id", GINT_TO_POINTER(item.Id));
    g_signal_connect(widget, "activate", G_CALLBACK(OnItemActivate), menu);
    return widget;
}

GtkWidget* BuildMenuBar(gpointer menu) {
    GtkWidget* bar = gtk_menu_bar_new();
    for (int p = 0; p < KinaroMenuPopupCount; ++p) {
        const MenuPopupDefinition& popup = KinaroMenu[p];
        GtkWidget* top = gtk_menu_item_new_with_mnemonic(Mnemonic(popup.Text).c_str());
        GtkWidget* sub = gtk_menu_new();
        for (int i = 0; i < popup.ItemCount; ++i)
            gtk_menu_shell_append(GTK_MENU_SHELL(sub), popup.Items[i].Text == nullptr
                                                           ? gtk_separator_menu_item_new()
                                                           : NewItem(menu, popup.Items[i]));
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), sub);
        if (popup.IsHelpPopup) {
            // The help popup sits at the right end of the bar. GTK 3's menu bar knows this
            // only through the right-justified flag (it ignores expand and align).
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            gtk_menu_item_set_right_justified(GTK_MENU_ITEM(top), TRUE);
            G_GNUC_END_IGNORE_DEPRECATIONS
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    }
    gtk_widget_show_all(bar);
    return bar;
}

}  // namespace

int MenuBarHeight() {
    static const int height = [] {
        if (!EnsureDisplay()) return 0;
        GtkWidget* bar = g_object_ref_sink(BuildMenuBar(nullptr));
        int natural = 0;
        gtk_widget_get_preferred_height(bar, nullptr, &natural);
        gtk_widget_destroy(bar);
        g_object_unref(bar);
        return natural;
    }();
    return height;
}

GdkPixbuf* IconPixbuf() {
    static GdkPixbuf* icon = []() -> GdkPixbuf* {
        GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, IconSize, IconSize);
        if (pixbuf == nullptr) return nullptr;
        int stride = gdk_pixbuf_get_rowstride(pixbuf);
        guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
        for (int row = 0; row < IconSize; ++row) {
            for (int column = 0; column < IconSize; ++column) {
                uint32_t color = IconPalette[IconPixel(column, row)];
                guchar rgba[4] = {(guchar)(color >> 16), (guchar)(color >> 8), (guchar)color,
                                  (guchar)(IconTransparent(column, row) ? 0 : 255)};
                memcpy(pixels + row * stride + column * 4, rgba, 4);
            }
        }
        return pixbuf;
    }();
    return icon;
}

}  // namespace gtkb

namespace native {

// Destroying the bar takes it out of its window as well.
void CreateMenu(core::MenuRecord& m) {
    m.Native =
        std::shared_ptr<void>(g_object_ref_sink(gtkb::BuildMenuBar(m.Handle)), [](void* bar) {
            gtk_widget_destroy(GTK_WIDGET(bar));
            g_object_unref(bar);
        });
}

void DestroyMenu(core::MenuRecord& m) {
    m.Native.reset();
}

}  // namespace native
