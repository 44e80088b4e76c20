// Native windows: a top-level GtkWindow holding the menu bar and a drawing area that is the
// client area. GTK's signals become the core's messages: key presses are posted as
// WM_KEYDOWN with the character TranslateMessage makes of them, buttons as the six button
// messages; size changes, activation and closing are sent at once, as Windows does.
#include <gdk/gdkx.h>

#include <algorithm>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

// The window a signal's handle names while it lives; with `input`, only while it takes input.
core::WindowRecord* Live(gpointer data, bool input = false) {
    core::WindowRecord* w = core::AnyWindow(static_cast<HWND>(data));
    bool live = w != nullptr && w->Alive && !w->Destroying;
    return live && (!input || core::AcceptsInput(*w)) ? w : nullptr;
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    // Alt combinations belong to the menu mnemonics.
    if (event->state & GDK_MOD1_MASK) return FALSE;
    core::WindowRecord* w = Live(data, true);
    if (w == nullptr) return TRUE;
    uint32_t character = gdk_keyval_to_unicode(event->keyval);
    if ((event->state & GDK_CONTROL_MASK) && character >= 0x40 && character < 0x80)
        character &= 0x1F;  // Ctrl+letter gives the control character, as on Windows
    if (character > 0xFF) character = '?';  // an ANSI window gets '?' for what it cannot hold
    // Windows' virtual-key code where it has one in common with the character (Escape, Return,
    // BackSpace and Tab have the control character's); other keys keep GDK's key value, which
    // nothing but DefWindowProcA sees.
    guint key = event->keyval;
    bool control = key == GDK_KEY_Escape || key == GDK_KEY_Return || key == GDK_KEY_BackSpace ||
                   key == GDK_KEY_Tab;
    WPARAM virtualKey = character < 0x80 && g_ascii_isalnum(character) ? g_ascii_toupper(character)
                        : control                                      ? key & 0xFF
                                                                       : key;
    core::Post(w->Handle, WM_KEYDOWN, virtualKey, 1, character);
    // Keys without a character (F10, arrows) keep GTK's own handling as well.
    return character != 0 ? TRUE : FALSE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer data) {
    // No double-click style: the second click of a double click is an ordinary press, which
    // GDK has already delivered; its extra double and triple events are dropped.
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
    core::WindowRecord* w = Live(data, true);
    if (w == nullptr || event->button < 1 || event->button > 3) return TRUE;
    static const UINT downs[3] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};  // up: + 1
    guint s = event->state;
    // MK_LBUTTON, MK_RBUTTON, MK_SHIFT, MK_CONTROL, MK_MBUTTON
    WPARAM flags = ((s & GDK_BUTTON1_MASK) ? 0x01 : 0) | ((s & GDK_BUTTON3_MASK) ? 0x02 : 0) |
                   ((s & GDK_SHIFT_MASK) ? 0x04 : 0) | ((s & GDK_CONTROL_MASK) ? 0x08 : 0) |
                   ((s & GDK_BUTTON2_MASK) ? 0x10 : 0);
    auto x = static_cast<WORD>(static_cast<int16_t>(event->x)),
         y = static_cast<WORD>(static_cast<int16_t>(event->y));
    core::Post(w->Handle, downs[event->button - 1] + (event->type == GDK_BUTTON_PRESS ? 0 : 1),
               flags, static_cast<LPARAM>((DWORD(y) << 16) | x));
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
    if (w == nullptr || w->Minimized ||
        !core::ResizeClient(*w, allocation->width, allocation->height))
        return;
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
    if (Live(data, true) != nullptr) SendMessageA(static_cast<HWND>(data), WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

GtkParts& Parts(core::WindowRecord& w) {
    if (w.Native == nullptr) w.Native = std::make_shared<GtkParts>();
    return *static_cast<GtkParts*>(w.Native.get());
}

void OnActiveChanged(GObject* toplevel, GParamSpec*, gpointer data) {
    if (Live(data) == nullptr) return;
    if (gtk_window_is_active(GTK_WINDOW(toplevel)))
        return core::SetForeground(static_cast<HWND>(data));
    for (HWND h : core::WindowsInOrder()) {
        core::WindowRecord* w = core::AnyWindow(h);
        GtkWidget* t = w->Alive ? Parts(*w).Toplevel : nullptr;
        if (t != nullptr && gtk_window_is_active(GTK_WINDOW(t))) return;
    }
    core::SetForeground(nullptr);
}

GdkRectangle WorkArea(GtkWidget* widget, GdkRectangle fallback) {
    GdkDisplay* display = gtk_widget_get_display(widget);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &fallback);
    return fallback;
}

}  // namespace gtkb

using namespace gtkb;

namespace native {

DWORD CreateWindow(core::WindowRecord& w) {
    // Child windows are not needed by the program; only top-level windows are made.
    if (w.Style & WS_CHILD) return core::ErrorInvalidParameter;
    if (w.Type == core::WindowKind::Dialog) return 0;  // the box or chooser brings its own
    HWND window = w.Handle;                            // what the signal handlers carry
    GtkParts& p = Parts(w);
    GtkWidget* top = p.Toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(top), w.Text.c_str());
    // A popup window has no caption; an overlapped one gets the window manager's.
    gtk_window_set_decorated(GTK_WINDOW(top), !(w.Style & WS_POPUP) || (w.Style & 0x00C00000u));
    core::WindowRecord* owner = core::AnyWindow(w.Parent);
    gtk_window_set_transient_for(GTK_WINDOW(top),
                                 owner != nullptr ? GTK_WINDOW(Parts(*owner).Toplevel) : nullptr);
    if (w.Class->Fields.hIcon != nullptr) gtk_window_set_icon(GTK_WINDOW(top), IconPixbuf());
    p.Box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(top), p.Box);
    if (w.Type == core::WindowKind::Static) {
        // A small informational popup: it neither takes the focus nor shows in a task bar.
        g_object_set(top, "accept-focus", FALSE, "skip-taskbar-hint", TRUE, "skip-pager-hint", TRUE,
                     "type-hint", GDK_WINDOW_TYPE_HINT_SPLASHSCREEN, nullptr);
        p.Label = gtk_label_new(w.Text.c_str());
        gtk_box_pack_start(GTK_BOX(p.Box), p.Label, TRUE, TRUE, 0);
    } else {
        p.Area = gtk_drawing_area_new();
        gtk_widget_set_can_focus(p.Area, TRUE);
        gtk_widget_add_events(p.Area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_EXPOSURE_MASK | GDK_STRUCTURE_MASK);
        gtk_box_pack_end(GTK_BOX(p.Box), p.Area, TRUE, TRUE, 0);
        g_signal_connect(p.Area, "realize", G_CALLBACK(OnAreaRealize), window);
        g_signal_connect(p.Area, "draw", G_CALLBACK(OnDraw), window);
        g_signal_connect(p.Area, "size-allocate", G_CALLBACK(OnSizeAllocate), window);
        g_signal_connect(p.Area, "button-press-event", G_CALLBACK(OnButton), window);
        g_signal_connect(p.Area, "button-release-event", G_CALLBACK(OnButton), window);
        g_signal_connect(top, "key-press-event", G_CALLBACK(OnKeyPress), window);
        g_signal_connect(top, "window-state-event", G_CALLBACK(OnWindowState), window);
    }
    g_signal_connect(top, "delete-event", G_CALLBACK(OnDelete), window);
    g_signal_connect(top, "map-event", G_CALLBACK(OnMapEvent), window);
    g_signal_connect(top, "notify::is-active", G_CALLBACK(OnActiveChanged), window);
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
    // A dialog's own GtkDialog is destroyed by the message box or file chooser.
    if (p.Toplevel != nullptr && w.Type == core::WindowKind::Dialog) {
        gtk_widget_hide(p.Toplevel);
    } else if (p.Toplevel != nullptr) {
        gtk_widget_destroy(p.Toplevel);
        gdk_display_flush(gdk_display_get_default());
    }
    p.Toplevel = p.Area = p.Box = p.Label = nullptr;
}

void ShowWindow(core::WindowRecord& w, int command) {
    GtkWidget* top = Parts(w).Toplevel;
    if (top == nullptr) return;
    if (command == SW_HIDE) return gtk_widget_hide(top);
    if (command == SW_MAXIMIZE) {
        gtk_window_maximize(GTK_WINDOW(top));
        // Without a window manager nobody maximises a window: it is laid over the work area.
        GdkScreen* screen = gtk_widget_get_screen(top);
        GdkRectangle area = WorkArea(top, {0, 0, 0, 0});
        if (!(GDK_IS_X11_SCREEN(screen) &&
              gdk_x11_screen_supports_net_wm_hint(
                  screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT"))) &&
            area.width > 0 && area.height > 0) {
            gtk_window_move(GTK_WINDOW(top), area.x, area.y);
            gtk_window_resize(GTK_WINDOW(top), area.width, area.height);
        }
    }
    if (gtk_widget_get_visible(top)) return;
    gtk_widget_show(top);
    // GTK maps the window and lays out its client area, so that ShowWindow returns with the
    // size known and the first WM_SIZE sent, as on Windows.
    auto settled = [window = w.Handle] {
        core::WindowRecord* r = Live(window);
        GtkParts* p = r != nullptr ? &Parts(*r) : nullptr;
        return p == nullptr || (p->Mapped && (p->Area == nullptr || p->Surface.Direct ||
                                              r->Pixels.Pixels != nullptr));
    };
    gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    gdk_display_flush(gdk_display_get_default());
    while (!settled() && g_get_monotonic_time() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    FlushGtkEvents();
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
