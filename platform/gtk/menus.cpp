// Menu 103 and icon 101, built from the program's one definition of its resources. The
// menu's '&' becomes GTK's mnemonic, the text after '\t' is shown as the accelerator label,
// and choosing an item posts WM_COMMAND with its id to the window the menu belongs to.
#include <algorithm>
#include <string>

#include "platform/gtk/gtk_backend.h"
#include "resources/icon_drawing.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

namespace gtkb {
namespace {

std::vector<MenuRecord*> menus;

struct IconRecord {
    uint32_t Magic;
    GdkPixbuf* Pixbuf;
};
constexpr uint32_t IconMagic = 0x4B49434F;  // "KICO"

struct CursorRecord {
    uint32_t Magic;
};
CursorRecord arrowCursor = {0x4B435552};  // "KCUR": GTK's default pointer

// "&Go" -> "_Go"; "&&" is a literal '&'; a literal '_' is doubled.
std::string Mnemonic(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&' && i + 1 < text.size() && text[i + 1] == '&') {
            out += '&';
            ++i;
        } else if (c == '&') {
            out += '_';
        } else if (c == '_') {
            out += "__";
        } else {
            out += c;
        }
    }
    return out;
}

void OnItemActivate(GtkMenuItem*, gpointer data) {
    auto* menu = static_cast<MenuRecord*>(g_object_get_data(G_OBJECT(data), "kinaro-menu"));
    int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(data), "kinaro-id"));
    if (menu == nullptr || !menu->Alive || menu->Window == nullptr || !menu->Window->Alive) return;
    if (menu->Window->DisabledCount > 0 || menu->Window->Destroying) return;
    Post(menu->Window, WM_COMMAND, (WPARAM)(WORD)id, 0);
}

GtkWidget* NewItem(MenuRecord* menu, const MenuItemDefinition& item) {
    std::string text = item.Text;
    std::string accelerator;
    if (size_t tab = text.find('\t'); tab != std::string::npos) {
        accelerator = text.substr(tab + 1);
        text = text.substr(0, tab);
    }
    GtkWidget* widget = gtk_menu_item_new_with_mnemonic(Mnemonic(text).c_str());
    if (!accelerator.empty()) {
        // Shown only: the keys themselves reach the window as characters.
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
        guint key = accelerator.size() == 1 ? gdk_unicode_to_keyval((guchar)accelerator[0])
                                            : gdk_keyval_from_name(accelerator.c_str());
        if (GTK_IS_ACCEL_LABEL(label) && key != GDK_KEY_VoidSymbol)
            gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), key, (GdkModifierType)0);
    }
    g_object_set_data(G_OBJECT(widget), "kinaro-menu", menu);
    g_object_set_data(G_OBJECT(widget), "kinaro-id", GINT_TO_POINTER(item.Id));
    g_signal_connect(widget, "activate", G_CALLBACK(OnItemActivate), widget);
    return widget;
}

GtkWidget* BuildMenuBar(MenuRecord* menu) {
    GtkWidget* bar = gtk_menu_bar_new();
    for (int p = 0; p < KinaroMenuPopupCount; ++p) {
        const MenuPopupDefinition& popup = KinaroMenu[p];
        GtkWidget* top = gtk_menu_item_new_with_mnemonic(Mnemonic(popup.Text).c_str());
        GtkWidget* sub = gtk_menu_new();
        for (int i = 0; i < popup.ItemCount; ++i) {
            const MenuItemDefinition& item = popup.Items[i];
            GtkWidget* widget =
                item.Text == nullptr ? gtk_separator_menu_item_new() : NewItem(menu, item);
            gtk_menu_shell_append(GTK_MENU_SHELL(sub), widget);
        }
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

GdkPixbuf* DrawIcon() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, IconSize, IconSize);
    if (pixbuf == nullptr) return nullptr;
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    for (int row = 0; row < IconSize; ++row) {
        for (int column = 0; column < IconSize; ++column) {
            guchar* p = pixels + row * stride + column * 4;
            uint32_t color = IconPalette[IconPixel(column, row)];
            p[0] = (guchar)(color >> 16);
            p[1] = (guchar)(color >> 8);
            p[2] = (guchar)color;
            p[3] = IconTransparent(column, row) ? 0 : 255;
        }
    }
    return pixbuf;
}

}  // namespace

MenuRecord* FindMenu(HMENU handle) {
    for (MenuRecord* m : menus)
        if (reinterpret_cast<HMENU>(m) == handle) return m->Alive ? m : nullptr;
    return nullptr;
}

void DestroyMenuRecord(MenuRecord* menu) {
    if (!menu->Alive) return;
    menu->Alive = false;
    if (menu->Window != nullptr && menu->Window->Menu == menu) menu->Window->Menu = nullptr;
    if (menu->Bar != nullptr) {
        GtkWidget* parent = gtk_widget_get_parent(menu->Bar);
        if (parent != nullptr) gtk_container_remove(GTK_CONTAINER(parent), menu->Bar);
        gtk_widget_destroy(menu->Bar);
        g_object_unref(menu->Bar);
        menu->Bar = nullptr;
    }
    menu->Window = nullptr;
}

GdkPixbuf* IconPixbuf(HICON icon) {
    auto* record = reinterpret_cast<IconRecord*>(icon);
    if (record == nullptr || record->Magic != IconMagic) return nullptr;
    return record->Pixbuf;
}

}  // namespace gtkb

using namespace gtkb;

HMENU WINAPI LoadMenuA(HINSTANCE, LPCSTR name) {
    if (!IS_INTRESOURCE(name) || LOWORD(name) != IDM_KINARO || !EnsureDisplay()) return nullptr;
    auto* menu = new MenuRecord();
    menu->Magic = MenuMagic;
    menu->Bar = BuildMenuBar(menu);
    g_object_ref_sink(menu->Bar);
    menus.push_back(menu);
    return reinterpret_cast<HMENU>(menu);
}

// Attaching a menu keeps the window's size, so the client area gives up the menu's height,
// as on Windows.
BOOL WINAPI SetMenu(HWND window, HMENU handle) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || w->Kind != WindowKind::Frame) return FALSE;
    MenuRecord* menu = handle != nullptr ? FindMenu(handle) : nullptr;
    if (handle != nullptr && menu == nullptr) return FALSE;
    if (w->Menu != nullptr && w->Menu != menu) {
        gtk_container_remove(GTK_CONTAINER(w->Box), w->Menu->Bar);
        w->Menu->Window = nullptr;
        w->Menu = nullptr;
    }
    if (menu != nullptr && w->Menu != menu) {
        if (menu->Window != nullptr) return FALSE;  // a menu belongs to one window
        gtk_box_pack_start(GTK_BOX(w->Box), menu->Bar, FALSE, FALSE, 0);
        gtk_box_reorder_child(GTK_BOX(w->Box), menu->Bar, 0);
        menu->Window = w;
        w->Menu = menu;
    }
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU handle) {
    MenuRecord* menu = FindMenu(handle);
    if (menu == nullptr) return FALSE;
    DestroyMenuRecord(menu);
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance == nullptr || !IS_INTRESOURCE(name) || LOWORD(name) != IDI_KINARO) return nullptr;
    static IconRecord icon = {IconMagic, nullptr};
    if (icon.Pixbuf == nullptr && EnsureDisplay()) icon.Pixbuf = DrawIcon();
    return icon.Pixbuf != nullptr ? reinterpret_cast<HICON>(&icon) : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name != IDC_ARROW) return nullptr;
    return reinterpret_cast<HCURSOR>(&arrowCursor);
}
