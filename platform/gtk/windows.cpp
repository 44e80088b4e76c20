// Window classes and windows: a top-level GtkWindow holding the menu bar and a drawing area
// that is the client area. GTK's signals become Win32 messages: key presses are posted as
// WM_KEYDOWN (TranslateMessage adds WM_CHAR), buttons as the six button messages; size
// changes, activation and closing are sent to the window procedure at once, as Windows does.
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

std::vector<WindowClass> classes;
std::vector<WindowRecord*> windows;
bool appActive = false;

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010

const WindowClass* FindClass(const char* name) {
    if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
    for (const WindowClass& c : classes)
        if (strcasecmp(c.Name.c_str(), name) == 0) return &c;
    return nullptr;
}

LPARAM PointParam(double x, double y) {
    auto ix = (WORD)(int16_t)x;
    auto iy = (WORD)(int16_t)y;
    return (LPARAM)(((DWORD)iy << 16) | ix);
}

WPARAM ButtonFlags(guint state) {
    WPARAM flags = 0;
    if (state & GDK_BUTTON1_MASK) flags |= MK_LBUTTON;
    if (state & GDK_BUTTON2_MASK) flags |= MK_MBUTTON;
    if (state & GDK_BUTTON3_MASK) flags |= MK_RBUTTON;
    if (state & GDK_SHIFT_MASK) flags |= MK_SHIFT;
    if (state & GDK_CONTROL_MASK) flags |= MK_CONTROL;
    return flags;
}

bool AcceptsInput(WindowRecord* w) { return w->Alive && !w->Destroying && w->DisabledCount == 0; }

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
    auto* w = static_cast<WindowRecord*>(data);
    // Alt combinations belong to the menu mnemonics.
    if (event->state & GDK_MOD1_MASK) return FALSE;
    if (!AcceptsInput(w)) return TRUE;
    uint32_t character = gdk_keyval_to_unicode(event->keyval);
    if ((event->state & GDK_CONTROL_MASK) && character >= 0x40 && character < 0x80)
        character &= 0x1F;  // Ctrl+letter gives the control character, as on Windows
    if (character > 0xFF) character = '?';  // an ANSI window gets '?' for what it cannot hold
    WPARAM key = VirtualKeyOf(event->keyval, character);
    PostKeyDown(w, key, character);
    // Keys without a character (F10, arrows) keep GTK's own handling as well.
    return character != 0 ? TRUE : FALSE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    // No double-click style: the second click of a double click is an ordinary press, which
    // GDK has already delivered; its extra double and triple events are dropped.
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
    if (!AcceptsInput(w)) return TRUE;
    bool press = event->type == GDK_BUTTON_PRESS;
    UINT message;
    switch (event->button) {
        case 1: message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
        case 2: message = press ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
        case 3: message = press ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
        default: return FALSE;
    }
    Post(w, message, ButtonFlags(event->state), PointParam(event->x, event->y));
    return TRUE;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    // A directly presented surface answers exposures itself (OnXEvent): what GTK would
    // paint into the native window never reaches the screen.
    if (!w->Surface.Direct) PaintSurface(w, cr);
    return TRUE;
}

// Exposures of the client area's own X window are answered from the retained surface, like
// a compositor would: no WM_PAINT is needed for what the program has already drawn.
GdkFilterReturn OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    auto* event = static_cast<XEvent*>(xevent);
    if (event->type == Expose && w->Alive && w->Surface.Direct)
        PresentRect(w, event->xexpose.x, event->xexpose.y, event->xexpose.width,
                    event->xexpose.height);
    return GDK_FILTER_CONTINUE;
}

void OnAreaRealize(GtkWidget* area, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    GdkWindow* gdkWindow = gtk_widget_get_window(area);
    gdk_window_set_event_compression(gdkWindow, FALSE);
    if (CanPresentDirectly(gdkWindow)) {
        // Our own native X window, so the client surface can be presented straight to it.
        gdk_window_ensure_native(gdkWindow);
        gdk_window_add_filter(gdkWindow, OnXEvent, w);
    }
    // A surface made before the area had this X window is remade to be presented to it.
    if (w->Surface.Pixels != nullptr) ResizeSurface(w, w->Surface.Width, w->Surface.Height);
}

void OnSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    if (!w->Alive || w->Destroying) return;
    int width = allocation->width, height = allocation->height;
    int oldWidth = w->Surface.Width, oldHeight = w->Surface.Height;
    bool hadSurface = w->Surface.Pixels != nullptr;
    if (hadSurface && width == oldWidth && height == oldHeight) return;
    ResizeSurface(w, width, height);
    // Windows invalidates what a larger client area uncovers (no redraw class styles).
    if (hadSurface) {
        if (width > oldWidth) {
            RECT r = {oldWidth, 0, width, height};
            InvalidateRect(HandleOf(w), &r, FALSE);
        }
        if (height > oldHeight) {
            RECT r = {0, oldHeight, width, height};
            InvalidateRect(HandleOf(w), &r, FALSE);
        }
    }
    if (w->Minimized) return;
    GdkWindow* top = gtk_widget_get_window(w->Toplevel);
    bool maximized = top != nullptr && (gdk_window_get_state(top) & GDK_WINDOW_STATE_MAXIMIZED);
    SendToWindow(w, WM_SIZE, maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 (LPARAM)(((DWORD)(height & 0xFFFF) << 16) | (width & 0xFFFF)));
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    if (!w->Alive || w->Destroying || w->Area == nullptr) return FALSE;
    if (!(event->changed_mask & GDK_WINDOW_STATE_ICONIFIED)) return FALSE;
    w->Minimized = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    if (w->Minimized) {
        SendToWindow(w, WM_SIZE, SIZE_MINIMIZED, 0);
    } else {
        int width = w->Surface.Width, height = w->Surface.Height;
        SendToWindow(w, WM_SIZE, SIZE_RESTORED,
                     (LPARAM)(((DWORD)(height & 0xFFFF) << 16) | (width & 0xFFFF)));
        InvalidateRect(HandleOf(w), nullptr, FALSE);
    }
    return FALSE;
}

gboolean OnMapEvent(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<WindowRecord*>(data)->Mapped = true;
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    // The close box of a disabled window does nothing, as on Windows; a dialog record has
    // its own handler and no window procedure.
    if (AcceptsInput(w) && w->Proc != nullptr) SendToWindow(w, WM_CLOSE, 0, 0);
    return TRUE;
}

void UpdateActivation() {
    bool active = false;
    for (WindowRecord* w : windows)
        if (w->Alive && !w->Destroying && w->Toplevel != nullptr &&
            gtk_window_is_active(GTK_WINDOW(w->Toplevel)))
            active = true;
    if (active == appActive) return;
    appActive = active;
    std::vector<WindowRecord*> snapshot = windows;
    for (WindowRecord* w : snapshot)
        if (w->Alive && !w->Destroying && w->Proc != nullptr && w->Kind == WindowKind::Frame)
            SendToWindow(w, WM_ACTIVATEAPP, active ? 1 : 0, 0);
}

void OnActiveChanged(GObject*, GParamSpec*, gpointer data) {
    auto* w = static_cast<WindowRecord*>(data);
    if (!w->Alive || w->Destroying) return;
    UpdateActivation();
    if (w->Alive && !w->Destroying && w->Proc != nullptr &&
        gtk_window_is_active(GTK_WINDOW(w->Toplevel)))
        SendToWindow(w, WM_QUERYNEWPALETTE, 0, 0);
}

// Without a window manager nobody maximises a window: then it is moved over the whole
// work area by hand.
void Maximize(WindowRecord* w) {
    GtkWindow* window = GTK_WINDOW(w->Toplevel);
    gtk_window_maximize(window);
    GdkScreen* screen = gtk_widget_get_screen(w->Toplevel);
    if (GDK_IS_X11_SCREEN(screen) &&
        gdk_x11_screen_supports_net_wm_hint(screen,
                                            gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT")))
        return;
    GdkRectangle area = {0, 0, 0, 0};
    GdkDisplay* display = gtk_widget_get_display(w->Toplevel);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor != nullptr) gdk_monitor_get_workarea(monitor, &area);
    if (area.width <= 0 || area.height <= 0) return;
    gtk_window_move(window, area.x, area.y);
    gtk_window_resize(window, area.width, area.height);
}

// Lets GTK map the window and lay out its client area, so that ShowWindow returns with the
// size known and the first WM_SIZE sent, as on Windows.
void SettleShownWindow(WindowRecord* w) {
    gint64 deadline = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    auto settled = [w] {
        return !w->Alive || (w->Mapped && (w->Area == nullptr || w->Surface.Direct ||
                                           w->Surface.Pixels != nullptr));
    };
    gdk_display_flush(gtk_widget_get_display(w->Toplevel));
    while (!settled() && g_get_monotonic_time() < deadline) {
        if (g_main_context_pending(nullptr))
            g_main_context_iteration(nullptr, FALSE);
        else
            g_usleep(1000);
    }
    FlushGtkEvents();
}

}  // namespace

WindowRecord* FindWindow(HWND handle) {
    if (handle == nullptr) return nullptr;
    for (WindowRecord* w : windows)
        if (HandleOf(w) == handle) return w->Alive ? w : nullptr;
    return nullptr;
}

HWND HandleOf(WindowRecord* window) { return reinterpret_cast<HWND>(window); }

const std::vector<WindowRecord*>& AllWindows() { return windows; }

LRESULT SendToWindow(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr || !window->Alive) return 0;
    if (window->Proc == nullptr) return DefWindowProcA(HandleOf(window), message, wParam, lParam);
    return window->Proc(HandleOf(window), message, wParam, lParam);
}

void AttachToplevelSignals(WindowRecord* w) {
    g_signal_connect(w->Toplevel, "delete-event", G_CALLBACK(OnDelete), w);
    g_signal_connect(w->Toplevel, "map-event", G_CALLBACK(OnMapEvent), w);
    g_signal_connect(w->Toplevel, "notify::is-active", G_CALLBACK(OnActiveChanged), w);
}

WindowRecord* NewDialogRecord(GtkWidget* toplevel, HWND owner) {
    auto* w = new WindowRecord();
    w->Magic = WindowMagic;
    w->Kind = WindowKind::Dialog;
    w->Toplevel = toplevel;
    w->Owner = FindWindow(owner);
    if (w->Owner != nullptr) {
        // The owner takes no input while the box is open; a dialog owner (the file dialog
        // under its help box) is made insensitive, since its widgets are GTK's own.
        if (w->Owner->DisabledCount++ == 0 && w->Owner->Kind == WindowKind::Dialog)
            gtk_widget_set_sensitive(w->Owner->Toplevel, FALSE);
        gtk_window_set_transient_for(GTK_WINDOW(toplevel), GTK_WINDOW(w->Owner->Toplevel));
    }
    g_signal_connect(toplevel, "notify::is-active", G_CALLBACK(OnActiveChanged), w);
    windows.push_back(w);
    return w;
}

void EndDialogRecord(WindowRecord* w) {
    if (w->Owner != nullptr && w->Owner->DisabledCount > 0 && --w->Owner->DisabledCount == 0 &&
        w->Owner->Alive && w->Owner->Kind == WindowKind::Dialog && w->Owner->Toplevel != nullptr)
        gtk_widget_set_sensitive(w->Owner->Toplevel, TRUE);
    if (w->Alive) DestroyWindow(HandleOf(w));
}

}  // namespace gtkb

using namespace gtkb;

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        windowClass->lpszClassName == nullptr || IS_INTRESOURCE(windowClass->lpszClassName))
        return 0;
    // Without a display no window of the class could ever be made.
    if (!EnsureDisplay()) return 0;
    if (FindClass(windowClass->lpszClassName) != nullptr ||
        strcasecmp(windowClass->lpszClassName, "Static") == 0)
        return 0;
    classes.push_back({windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hIcon,
                       windowClass->style});
    return (ATOM)(0xC000 + classes.size());
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
    if (!EnsureDisplay() || className == nullptr || IS_INTRESOURCE(className)) return nullptr;
    // Child windows are not needed by the program; only top-level windows are made.
    if (style & WS_CHILD) return nullptr;
    bool isStatic = strcasecmp(className, "Static") == 0;
    const WindowClass* windowClass = isStatic ? nullptr : FindClass(className);
    if (!isStatic && windowClass == nullptr) return nullptr;

    auto* w = new WindowRecord();
    w->Magic = WindowMagic;
    w->Kind = isStatic ? WindowKind::Static : WindowKind::Frame;
    w->Proc = isStatic ? nullptr : windowClass->Proc;
    w->Style = style;
    w->Owner = FindWindow(parent);
    windows.push_back(w);

    GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    w->Toplevel = top;
    gtk_window_set_title(GTK_WINDOW(top), windowName != nullptr ? windowName : "");
    // A popup window has no caption; an overlapped one gets the window manager's.
    if ((style & WS_POPUP) && !(style & 0x00C00000u)) gtk_window_set_decorated(GTK_WINDOW(top), FALSE);
    if (w->Owner != nullptr)
        gtk_window_set_transient_for(GTK_WINDOW(top), GTK_WINDOW(w->Owner->Toplevel));
    if (windowClass != nullptr && windowClass->Icon != nullptr) {
        if (GdkPixbuf* icon = IconPixbuf(windowClass->Icon)) gtk_window_set_icon(GTK_WINDOW(top), icon);
    }
    w->Box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(top), w->Box);
    if (isStatic) {
        // A small informational popup: it neither takes the focus nor shows in a task bar.
        gtk_window_set_accept_focus(GTK_WINDOW(top), FALSE);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(top), TRUE);
        gtk_window_set_skip_pager_hint(GTK_WINDOW(top), TRUE);
        gtk_window_set_type_hint(GTK_WINDOW(top), GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
        w->Label = gtk_label_new(windowName != nullptr ? windowName : "");
        gtk_box_pack_start(GTK_BOX(w->Box), w->Label, TRUE, TRUE, 0);
    } else {
        w->Area = gtk_drawing_area_new();
        gtk_widget_set_can_focus(w->Area, TRUE);
        gtk_widget_add_events(w->Area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_EXPOSURE_MASK | GDK_STRUCTURE_MASK);
        gtk_box_pack_end(GTK_BOX(w->Box), w->Area, TRUE, TRUE, 0);
        g_signal_connect(w->Area, "realize", G_CALLBACK(OnAreaRealize), w);
        g_signal_connect(w->Area, "draw", G_CALLBACK(OnDraw), w);
        g_signal_connect(w->Area, "size-allocate", G_CALLBACK(OnSizeAllocate), w);
        g_signal_connect(w->Area, "button-press-event", G_CALLBACK(OnButton), w);
        g_signal_connect(w->Area, "button-release-event", G_CALLBACK(OnButton), w);
        g_signal_connect(top, "key-press-event", G_CALLBACK(OnKeyPress), w);
        g_signal_connect(top, "window-state-event", G_CALLBACK(OnWindowState), w);
    }
    AttachToplevelSignals(w);

    w->RequestedWidth = width == CW_USEDEFAULT ? 0 : width;
    w->RequestedHeight = height == CW_USEDEFAULT ? 0 : height;
    if (w->RequestedWidth > 0 && w->RequestedHeight > 0) {
        if (isStatic) gtk_widget_set_size_request(top, w->RequestedWidth, w->RequestedHeight);
        gtk_window_set_default_size(GTK_WINDOW(top), w->RequestedWidth, w->RequestedHeight);
    }
    if (x != CW_USEDEFAULT && y != CW_USEDEFAULT) gtk_window_move(GTK_WINDOW(top), x, y);
    gtk_widget_show_all(w->Box);

    if (menu != nullptr) SetMenu(HandleOf(w), menu);
    if (w->Proc != nullptr) SendToWindow(w, WM_CREATE, 0, 0);
    if (w->Alive && (style & WS_VISIBLE)) ShowWindow(HandleOf(w), SW_SHOW);
    return w->Alive ? HandleOf(w) : nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int showCommand) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr) return FALSE;
    BOOL wasVisible = w->Visible ? TRUE : FALSE;
    if (showCommand == SW_HIDE) {
        gtk_widget_hide(w->Toplevel);
        w->Visible = false;
        return wasVisible;
    }
    if (showCommand == SW_MAXIMIZE) Maximize(w);
    if (!w->Visible) {
        w->Visible = true;
        if (!w->EverShown) {
            w->EverShown = true;
            // A window shown for the first time has its whole client area to paint.
            InvalidateRect(window, nullptr, TRUE);
        }
        gtk_widget_show(w->Toplevel);
        SettleShownWindow(w);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr) return FALSE;
    if (w->Visible && w->HasUpdate && w->Proc != nullptr) SendToWindow(w, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || w->Destroying) return FALSE;
    w->Destroying = true;
    // Owned windows go first, as on Windows.
    std::vector<WindowRecord*> snapshot = windows;
    for (WindowRecord* other : snapshot)
        if (other->Owner == w && other->Alive && !other->Destroying) DestroyWindow(HandleOf(other));
    if (w->Proc != nullptr) w->Proc(window, WM_DESTROY, 0, 0);
    w->Alive = false;
    ForgetWindowMessages(w);
    if (w->Menu != nullptr) DestroyMenuRecord(w->Menu);
    ReleaseSurface(w);
    if (w->Kind != WindowKind::Dialog && w->Toplevel != nullptr) {
        gtk_widget_destroy(w->Toplevel);
        gdk_display_flush(gdk_display_get_default());
    } else if (w->Toplevel != nullptr) {
        gtk_widget_hide(w->Toplevel);
    }
    w->Toplevel = nullptr;
    w->Area = nullptr;
    w->Box = nullptr;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, RECT* rect) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || rect == nullptr) return FALSE;
    int width = 0, height = 0;
    if (w->Surface.Pixels != nullptr) {
        width = w->Surface.Width;
        height = w->Surface.Height;
    } else {
        width = w->RequestedWidth;
        height = w->RequestedHeight - (w->Menu != nullptr ? MenuBarHeight() : 0);
    }
    if (w->Minimized) width = height = 0;
    *rect = {0, 0, std::max(width, 0), std::max(height, 0)};
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr) return FALSE;
    RECT client;
    GetClientRect(window, &client);
    RECT r = rect != nullptr ? *rect : client;
    r.left = std::max(r.left, client.left);
    r.top = std::max(r.top, client.top);
    r.right = std::min(r.right, client.right);
    r.bottom = std::min(r.bottom, client.bottom);
    if (r.left >= r.right || r.top >= r.bottom) {
        // Before the client area has a size, the whole window is due for painting.
        if (rect == nullptr && !w->HasUpdate) {
            w->HasUpdate = true;
            w->Update = {0, 0, 0, 0};
        }
        return TRUE;
    }
    if (!w->HasUpdate || (w->Update.left >= w->Update.right)) {
        w->Update = r;
    } else {
        w->Update.left = std::min(w->Update.left, r.left);
        w->Update.top = std::min(w->Update.top, r.top);
        w->Update.right = std::max(w->Update.right, r.right);
        w->Update.bottom = std::max(w->Update.bottom, r.bottom);
    }
    w->HasUpdate = true;
    g_main_context_wakeup(nullptr);
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND window, RECT* rect, BOOL) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr) return FALSE;
    RECT client;
    GetClientRect(window, &client);
    RECT r = {0, 0, 0, 0};
    if (w->HasUpdate) {
        r = w->Update;
        // A window invalidated before it had a size is painted whole.
        if (r.left >= r.right || r.top >= r.bottom) r = client;
    }
    if (rect != nullptr) *rect = r;
    return (r.left < r.right && r.top < r.bottom) ? TRUE : FALSE;
}

HWND WINAPI GetForegroundWindow() {
    for (WindowRecord* w : windows)
        if (w->Alive && !w->Destroying && w->Toplevel != nullptr &&
            gtk_window_is_active(GTK_WINDOW(w->Toplevel)))
            return HandleOf(w);
    return nullptr;
}

HWND WINAPI GetParent(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || w->Owner == nullptr || !w->Owner->Alive) return nullptr;
    return HandleOf(w->Owner);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM lParam) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr) return 0;
    switch (message) {
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            if (text == nullptr) text = "";
            if (w->Label != nullptr) {
                gtk_label_set_text(GTK_LABEL(w->Label), text);
                // Nothing pumps messages while a progress window counts: let it show now.
                FlushGtkEvents();
            } else if (w->Toplevel != nullptr) {
                gtk_window_set_title(GTK_WINDOW(w->Toplevel), text);
            }
            return TRUE;
        }
        case WM_ERASEBKGND: return 0;
        case WM_QUERYNEWPALETTE: return 0;
        default: return 0;
    }
}
