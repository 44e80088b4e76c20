// Opening the display, system information, the calls refused without a display and the
// monotonic clock.
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {
enum class DisplayState { Untried, Open, Unavailable };
DisplayState displayState = DisplayState::Untried;

void PrintStatsAtExit() {
    const PresentStats& s = Stats();
    fprintf(stderr, "kinaro-gtk: bitmap puts %llu, presented %llu\n",
            (unsigned long long)s.BitmapPuts, (unsigned long long)s.BitmapPresents);
}
}  // namespace

bool EnsureDisplay() {
    if (displayState == DisplayState::Untried) {
        // The client surface is presented through Xlib, so GTK must talk X11 (XWayland
        // serves where the desktop is Wayland).
        gdk_set_allowed_backends("x11");
        displayState =
            gtk_init_check(nullptr, nullptr) ? DisplayState::Open : DisplayState::Unavailable;
        if (displayState == DisplayState::Open && getenv("KINARO_GTK_STATS") != nullptr)
            atexit(PrintStatsAtExit);
    }
    return displayState == DisplayState::Open;
}

Display* XDisplayOrNull() {
    if (!EnsureDisplay()) return nullptr;
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return nullptr;
    return gdk_x11_display_get_xdisplay(display);
}

int MenuBarHeight() {
    static int height = -1;
    if (height >= 0) return height;
    height = 0;
    if (!EnsureDisplay()) return height;
    GtkWidget* bar = gtk_menu_bar_new();
    g_object_ref_sink(bar);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), gtk_menu_item_new_with_mnemonic("_Go"));
    gtk_widget_show_all(bar);
    int minimum = 0, natural = 0;
    gtk_widget_get_preferred_height(bar, &minimum, &natural);
    height = natural;
    gtk_widget_destroy(bar);
    g_object_unref(bar);
    return height;
}

// Buttons of the pointer, as the X input devices label them; wheels and scroll "buttons"
// are no buttons here, as on Windows. 0 when nothing can be told.
static int PointerButtonCount() {
    Display* display = XDisplayOrNull();
    if (display == nullptr) return 0;
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return 0;
    // GDK has already agreed on an XInput 2 version with the server; a server without it
    // answers with an error, which is caught here.
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdkDisplay);
    int deviceCount = 0;
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &deviceCount);
    if (gdk_x11_display_error_trap_pop(gdkDisplay) != 0 || devices == nullptr) {
        if (devices != nullptr) XIFreeDeviceInfo(devices);
        return 0;
    }
    static const char* const buttonLabels[] = {"Button Left", "Button Middle", "Button Right",
                                               "Button Side", "Button Extra",  "Button Forward",
                                               "Button Back", "Button Task"};
    int best = 0;
    for (int d = 0; d < deviceCount; ++d) {
        if (devices[d].use != XISlavePointer || !devices[d].enabled) continue;
        for (int c = 0; c < devices[d].num_classes; ++c) {
            if (devices[d].classes[c]->type != XIButtonClass) continue;
            auto* buttons = reinterpret_cast<XIButtonClassInfo*>(devices[d].classes[c]);
            int count = 0;
            for (int b = 0; b < buttons->num_buttons; ++b) {
                if (buttons->labels[b] == None) continue;
                char* name = XGetAtomName(display, buttons->labels[b]);
                if (name == nullptr) continue;
                for (const char* label : buttonLabels)
                    if (strcmp(name, label) == 0) ++count;
                XFree(name);
            }
            if (count > best) best = count;
        }
    }
    XIFreeDeviceInfo(devices);
    return best;
}

PresentStats& Stats() {
    static PresentStats stats;
    return stats;
}

}  // namespace gtkb

using namespace gtkb;

// The kernel's version in the Windows layout: major in the low byte, minor in the next;
// the top bit is clear, as on every system that is not an old one.
DWORD WINAPI GetVersion() {
    struct utsname name;
    unsigned major = 0, minor = 0;
    if (uname(&name) == 0) sscanf(name.release, "%u.%u", &major, &minor);
    return (major & 0xFFu) | ((minor & 0xFFu) << 8);
}

// The frame and caption belong to the window manager and lie outside our window, so only
// the menu bar counts as the non-client part of a window here.
int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CMOUSEBUTTONS: {
            int count = PointerButtonCount();
            return count > 0 ? count : 3;
        }
        case SM_CYMENU: return MenuBarHeight();
        case SM_CXFRAME:
        case SM_CYFRAME:
        case SM_CYCAPTION: return 0;
        default: return 0;
    }
}

// Without a display no class, window or menu bar can be made.
DWORD native::Refusal(core::Call call) {
    constexpr DWORD ErrorAccessDenied = 5;  // what Windows answers a process without a desktop
    bool needsDisplay = call == core::Call::RegisterClass || call == core::Call::CreateWindow ||
                        call == core::Call::LoadMenu;
    return needsDisplay && !EnsureDisplay() ? ErrorAccessDenied : 0;
}

HINSTANCE WINAPI GetModuleHandleA(LPCSTR) {
    static int module;
    return reinterpret_cast<HINSTANCE>(&module);
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) return FALSE;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    count->QuadPart = (LONGLONG)now.tv_sec * 1000000000LL + now.tv_nsec;
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) return FALSE;
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}
