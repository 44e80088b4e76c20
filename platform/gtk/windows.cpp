// Native windows: a top-level GtkWindow holding the menu bar and a drawing area that is the
// client area. GTK's signals become the core's messages: key presses are posted as
// WM_KEYDOWN with the character TranslateMessage makes of them, buttons as the six button
// messages; size changes, activation and closing are sent at once, as Windows does.
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>

#include <algorithm>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

constexpr WPARAM MkLButton = 0x0001, MkRButton = 0x0002, MkShift = 0x0004, MkControl = 0x0008,
                 MkMButton = 0x0010;

core::WindowRecord* Accepting(gpointer data) {
    core::WindowRecord* w = core::AnyWindow(HandleOf(data));
    return (w != nullptr && core::AcceptsInput(*w)) ? w : nullptr;
}

core::WindowRecord* Live(gpointer data) {
    core::WindowRecord* w = core::AnyWindow(HandleOf(data));
    return (w != nullptr && w->Alive && !w->Destroying) ? w : nullptr;
}

// Windows' virtual-key code for the keys that have one in common with a character; other
// keys keep GDK's key value, which nothing but DefWindowProcA sees.
WPARAM VirtualKeyOf(guint keyval, uint32_t character) {
    if (character >= 'a' && character <= 'z') return character - 'a' + 'A';
    if ((character >= 'A' && character <= 'Z') || (character >= '0' && character <= '9'))
        return character;
    switch (keyval) {
        case GDK_KEY_Escape: return 0x1B;
        case GDK_KEY_space: return 0x20;
        case GDK_KEY_Return: return 0x0D;
        case GDK_KEY_BackSpace: return 0x08;
        case GDK_KEY_Tab: return 0x09;
        default: return keyval;
    }
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    // Alt combinations belong to the menu mnemonics.
    if (event->state & GDK_MOD1_MASK) return FALSE;
    if (Accepting(data) == nullptr) return TRUE;
    uint32_t character = gdk_keyval_to_unicode(event->keyval);
    if ((event->state & GDK_CONTROL_MASK) && character >= 0x40 && character < 0x80)
        character &= 0x1F;  // Ctrl+letter gives the control character, as on Windows
    if (character > 0xFF) character = '?';  // an ANSI window gets '?' for what it cannot hold
    core::Post(HandleOf(data), WM_KEYDOWN, VirtualKeyOf(event->keyval, character), 1, character);
    // Keys without a character (F10, arrows) keep GTK's own handling as well.
    return character != 0 ? TRUE : FALSE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer data) {
    // No double-click style: the second click of a double click is an ordinary press, which
    // GDK has already delivered; its extra double and triple events are dropped.
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
    if (Accepting(data) == nullptr || event->button < 1 || event->button > 3) return TRUE;
    bool press = event->type == GDK_BUTTON_PRESS;
    static const UINT messages[3][2] = {{WM_LBUTTONUP, WM_LBUTTONDOWN},
                                        {WM_MBUTTONUP, WM_MBUTTONDOWN},
                                        {WM_RBUTTONUP, WM_RBUTTONDOWN}};
    guint s = event->state;
    WPARAM flags = ((s & GDK_BUTTON1_MASK) ? MkLButton : 0) |
                   ((s & GDK_BUTTON2_MASK) ? MkMButton : 0) |
                   ((s & GDK_BUTTON3_MASK) ? MkRButton : 0) | ((s & GDK_SHIFT_MASK) ? MkShift : 0) |
                   ((s & GDK_CONTROL_MASK) ? MkControl : 0);
    auto x = static_cast<WORD>(static_cast<int16_t>(event->x)),
         y = static_cast<WORD>(static_cast<int16_t>(event->y));
    core::Post(HandleOf(data), messages[event->button - 1][press], flags,
               static_cast<LPARAM>((DWORD(y) << 16) | x));
    return TRUE;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    // A directly presented surface answers exposures itself (OnXEvent): what GTK would
    // paint into the native window never reaches the screen.
    core::WindowRecord* w = Live(data);
    if (w != nullptr && !Parts(*w).Surface.Direct) PaintSurface(*w, cr);
    return TRUE;
}

// Exposures of the client area's own X window are answered from the retained surface, like
// a compositor would: no WM_PAINT is needed for what the program has already drawn.
GdkFilterReturn OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    auto* event = static_cast<XEvent*>(xevent);
    core::WindowRecord* w = event->type == Expose ? Live(data) : nullptr;
    if (w != nullptr && Parts(*w).Surface.Direct)
        PresentRect(*w, event->xexpose.x, event->xexpose.y, event->xexpose.width,
                    event->xexpose.height);
    return GDK_FILTER_CONTINUE;
}

void OnAreaRealize(GtkWidget* area, gpointer data) {
    GdkWindow* gdkWindow = gtk_widget_get_window(area);
    gdk_window_set_event_compression(gdkWindow, FALSE);
    if (CanPresentDirectly(gdkWindow)) {
        // Our own native X window, so the client surface can be presented straight to it.
        gdk_window_ensure_native(gdkWindow);
        gdk_window_add_filter(gdkWindow, OnXEvent, data);
    }
    // A surface made before the area had this X window is remade to be presented to it.
    core::WindowRecord* w = Live(data);
    if (w != nullptr && w->Pixels.Pixels != nullptr)
        RemakeSurface(*w, w->Pixels.Width, w->Pixels.Height);
}

void OnSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
    core::WindowRecord* w = Live(data);
    if (w == nullptr || w->Minimized) return;
    if (w->Pixels.Pixels != nullptr && allocation->width == w->ClientWidth &&
        allocation->height == w->ClientHeight)
        return;
    core::ResizeClient(*w, allocation->width, allocation->height);
    GdkWindow* top = gtk_widget_get_window(Parts(*w).Toplevel);
    w->Maximized = top != nullptr && (gdk_window_get_state(top) & GDK_WINDOW_STATE_MAXIMIZED);
    core::SendSize(*w, w->Maximized ? core::SizeMaximized : core::SizeRestored);
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    core::WindowRecord* w = Live(data);
    if (w == nullptr || !(event->changed_mask & GDK_WINDOW_STATE_ICONIFIED)) return FALSE;
    w->Minimized = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    GtkWidget* area = Parts(*w).Area;
    core::ResizeClient(*w, w->Minimized ? 0 : gtk_widget_get_allocated_width(area),
                       w->Minimized ? 0 : gtk_widget_get_allocated_height(area));
    core::SendSize(*w, w->Minimized ? core::SizeMinimized : core::SizeRestored);
    return FALSE;
}

gboolean OnMapEvent(GtkWidget*, GdkEvent*, gpointer data) {
    if (core::WindowRecord* w = Live(data)) Parts(*w).Mapped = true;
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    // The close box of a disabled window does nothing, as on Windows.
    if (Accepting(data) != nullptr) SendMessageA(HandleOf(data), WM_CLOSE, 0, 0);
    return TRUE;
}

void OnActiveChanged(GObject* toplevel, GParamSpec*, gpointer data) {
    if (Live(data) == nullptr) return;
    if (gtk_window_is_active(GTK_WINDOW(toplevel))) return core::SetForeground(HandleOf(data));
    for (HWND h : core::WindowsInOrder()) {
        core::WindowRecord* w = core::AnyWindow(h);
        GtkWidget* t = w->Alive ? Parts(*w).Toplevel : nullptr;
        if (t != nullptr && gtk_window_is_active(GTK_WINDOW(t))) return;
    }
    core::SetForeground(nullptr);
}

// Without a window manager nobody maximises a window: then it is moved over the whole
// work area by hand.
void Maximize(GtkWidget* toplevel) {
    GtkWindow* window = GTK_WINDOW(toplevel);
    gtk_window_maximize(window);
    GdkScreen* screen = gtk_widget_get_screen(toplevel);
    if (GDK_IS_X11_SCREEN(screen) &&
        gdk_x11_screen_supports_net_wm_hint(
            screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT")))
        return;
    GdkRectangle area = {0, 0, 0, 0};
    GdkDisplay* display = gtk_widget_get_display(toplevel);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
    if (area.width <= 0 || area.height <= 0) return;
    gtk_window_move(window, area.x, area.y);
    gtk_window_resize(window, area.width, area.height);
}

// Lets GTK map the window and lay out its client area, so that ShowWindow returns with the
// size known and the first WM_SIZE sent, as on Windows.
void Settle(HWND window) {
    gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    auto settled = [window] {
        core::WindowRecord* w = core::AnyWindow(window);
        if (w == nullptr || !w->Alive) return true;
        GtkParts& p = Parts(*w);
        return p.Mapped && (p.Area == nullptr || p.Surface.Direct || w->Pixels.Pixels != nullptr);
    };
    gdk_display_flush(gdk_display_get_default());
    while (!settled() && g_get_monotonic_time() < deadline) {
        if (g_main_context_pending(nullptr))
            g_main_context_iteration(nullptr, FALSE);
        else
            g_usleep(1000);
    }
    FlushGtkEvents();
}

void Connect(GtkWidget* widget, const char* signal, GCallback callback, HWND window) {
    g_signal_connect(widget, signal, callback, Data(window));
}

}  // namespace

GtkParts& Parts(core::WindowRecord& w) {
    if (w.Native == nullptr) w.Native = std::make_shared<GtkParts>();
    return *static_cast<GtkParts*>(w.Native.get());
}

void AdoptDialog(HWND dialog, GtkWidget* toplevel) {
    core::WindowRecord* w = core::AnyWindow(dialog);
    Parts(*w).Toplevel = toplevel;
    Connect(toplevel, "notify::is-active", G_CALLBACK(OnActiveChanged), dialog);
    if (core::WindowRecord* owner = core::AnyWindow(w->Parent); owner != nullptr && owner->Alive) {
        gtk_window_set_transient_for(GTK_WINDOW(toplevel), GTK_WINDOW(Parts(*owner).Toplevel));
        // A dialog owner (the file dialog under its help box) has GTK's own widgets, which
        // take input unless made insensitive.
        if (owner->Type == core::WindowKind::Dialog)
            gtk_widget_set_sensitive(Parts(*owner).Toplevel, FALSE);
    }
}

void ReleaseDialog(HWND dialog) {
    core::WindowRecord* w = core::AnyWindow(dialog);
    GtkParts& p = Parts(*w);
    if (p.Toplevel != nullptr) g_signal_handlers_disconnect_by_data(p.Toplevel, Data(dialog));
    p.Toplevel = nullptr;
    core::WindowRecord* owner = core::AnyWindow(w->Parent);
    if (owner != nullptr && owner->Alive && owner->Type == core::WindowKind::Dialog &&
        owner->DisabledCount <= 1 && Parts(*owner).Toplevel != nullptr)
        gtk_widget_set_sensitive(Parts(*owner).Toplevel, TRUE);
}

}  // namespace gtkb

using namespace gtkb;

namespace native {

DWORD CreateWindow(core::WindowRecord& w) {
    // Child windows are not needed by the program; only top-level windows are made.
    if (w.Style & WS_CHILD) return core::ErrorInvalidParameter;
    if (w.Type == core::WindowKind::Dialog) return 0;  // the box or chooser brings its own
    HWND window = w.Handle;
    GtkParts& p = Parts(w);
    GtkWidget* top = p.Toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(top), w.Text.c_str());
    // A popup window has no caption; an overlapped one gets the window manager's.
    if ((w.Style & WS_POPUP) && !(w.Style & 0x00C00000u))
        gtk_window_set_decorated(GTK_WINDOW(top), FALSE);
    if (core::WindowRecord* owner = core::AnyWindow(w.Parent);
        owner != nullptr && Parts(*owner).Toplevel != nullptr)
        gtk_window_set_transient_for(GTK_WINDOW(top), GTK_WINDOW(Parts(*owner).Toplevel));
    if (w.Class->Fields.hIcon != nullptr && IconPixbuf() != nullptr)
        gtk_window_set_icon(GTK_WINDOW(top), IconPixbuf());
    p.Box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(top), p.Box);
    if (w.Type == core::WindowKind::Static) {
        // A small informational popup: it neither takes the focus nor shows in a task bar.
        gtk_window_set_accept_focus(GTK_WINDOW(top), FALSE);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(top), TRUE);
        gtk_window_set_skip_pager_hint(GTK_WINDOW(top), TRUE);
        gtk_window_set_type_hint(GTK_WINDOW(top), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
        p.Label = gtk_label_new(w.Text.c_str());
        gtk_box_pack_start(GTK_BOX(p.Box), p.Label, TRUE, TRUE, 0);
    } else {
        p.Area = gtk_drawing_area_new();
        gtk_widget_set_can_focus(p.Area, TRUE);
        gtk_widget_add_events(p.Area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_EXPOSURE_MASK | GDK_STRUCTURE_MASK);
        gtk_box_pack_end(GTK_BOX(p.Box), p.Area, TRUE, TRUE, 0);
        Connect(p.Area, "realize", G_CALLBACK(OnAreaRealize), window);
        Connect(p.Area, "draw", G_CALLBACK(OnDraw), window);
        Connect(p.Area, "size-allocate", G_CALLBACK(OnSizeAllocate), window);
        Connect(p.Area, "button-press-event", G_CALLBACK(OnButton), window);
        Connect(p.Area, "button-release-event", G_CALLBACK(OnButton), window);
        Connect(top, "key-press-event", G_CALLBACK(OnKeyPress), window);
        Connect(top, "window-state-event", G_CALLBACK(OnWindowState), window);
    }
    Connect(top, "delete-event", G_CALLBACK(OnDelete), window);
    Connect(top, "map-event", G_CALLBACK(OnMapEvent), window);
    Connect(top, "notify::is-active", G_CALLBACK(OnActiveChanged), window);
    int width = w.Width == CW_USEDEFAULT ? 0 : w.Width,
        height = w.Width == CW_USEDEFAULT ? 0 : w.Height;
    if (width > 0 && height > 0) {
        if (p.Label != nullptr) gtk_widget_set_size_request(top, width, height);
        gtk_window_set_default_size(GTK_WINDOW(top), width, height);
    }
    if (w.X != CW_USEDEFAULT && w.Y != CW_USEDEFAULT) gtk_window_move(GTK_WINDOW(top), w.X, w.Y);
    gtk_widget_show_all(p.Box);
    // Until GTK lays the window out, the client area is the window less the menu bar.
    w.ClientWidth = width;
    w.ClientHeight = std::max(0, height - (w.Menu != nullptr ? MenuBarHeight() : 0));
    if (w.Menu != nullptr) SetMenu(w, nullptr);
    return 0;
}

void DestroyWindow(core::WindowRecord& w) {
    GtkParts& p = Parts(w);
    ReleaseSurface(w);
    if (w.Type != core::WindowKind::Dialog && p.Toplevel != nullptr) {
        gtk_widget_destroy(p.Toplevel);
        gdk_display_flush(gdk_display_get_default());
    } else if (p.Toplevel != nullptr) {
        gtk_widget_hide(p.Toplevel);
    }
    p.Toplevel = p.Area = p.Box = p.Label = nullptr;
}

void ShowWindow(core::WindowRecord& w, int command) {
    GtkWidget* top = Parts(w).Toplevel;
    if (top == nullptr) return;
    if (command == SW_HIDE) return gtk_widget_hide(top);
    if (command == SW_MAXIMIZE) Maximize(top);
    if (!gtk_widget_get_visible(top)) {
        gtk_widget_show(top);
        Settle(w.Handle);
    }
}

void SetText(core::WindowRecord& w) {
    GtkParts& p = Parts(w);
    if (p.Label != nullptr) {
        gtk_label_set_text(GTK_LABEL(p.Label), w.Text.c_str());
        // Nothing pumps messages while a progress window counts: let it show now.
        FlushGtkEvents();
    } else if (p.Toplevel != nullptr) {
        gtk_window_set_title(GTK_WINDOW(p.Toplevel), w.Text.c_str());
    }
}

// Attaching a menu keeps the window's size, so the client area gives up the menu's height,
// as on Windows (GTK's next allocation tells the new size).
void SetMenu(core::WindowRecord& w, core::MenuRecord* previous) {
    GtkParts& p = Parts(w);
    if (p.Box == nullptr) return;
    if (previous != nullptr) gtk_container_remove(GTK_CONTAINER(p.Box), MenuBar(*previous));
    core::MenuRecord* m = core::Find<core::MenuRecord>(w.Menu);
    GtkWidget* bar = m != nullptr ? MenuBar(*m) : nullptr;
    if (bar == nullptr || gtk_widget_get_parent(bar) == p.Box) return;
    gtk_box_pack_start(GTK_BOX(p.Box), bar, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(p.Box), bar, 0);
}

}  // namespace native
