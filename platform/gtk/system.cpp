// Opening the display, system information, the calls refused without a display, the
// monotonic clock and the wait for GTK's events until the next timer tick. The deadline is
// kept to the microsecond through a timerfd that wakes GLib's poll, so a period of 1 ms is
// honoured (GLib's own timeouts would round every wait up to the next millisecond).
#include <X11/extensions/XInput2.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <sys/timerfd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {

bool EnsureDisplay() {
    static const bool open = [] {
        // The client surface is presented through Xlib, so GTK must talk X11 (XWayland
        // serves where the desktop is Wayland).
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check(nullptr, nullptr)) return false;
        if (getenv("KINARO_GTK_STATS") != nullptr)
            atexit([] {
                fprintf(stderr, "kinaro-gtk: bitmap puts %llu, presented %llu\n",
                        (unsigned long long)Stats().BitmapPuts,
                        (unsigned long long)Stats().BitmapPresents);
            });
        return true;
    }();
    return open;
}

// GDK has no other backend here (EnsureDisplay).
Display* XDisplayOrNull() {
    return EnsureDisplay() ? gdk_x11_display_get_xdisplay(gdk_display_get_default()) : nullptr;
}

// Buttons of the pointer, as the X input devices label them; wheels and scroll "buttons"
// are no buttons here, as on Windows. 3 when nothing can be told.
static int PointerButtonCount() {
    Display* display = XDisplayOrNull();
    int opcode = 0, event = 0, error = 0, deviceCount = 0;
    if (display == nullptr || !XQueryExtension(display, "XInputExtension", &opcode, &event, &error))
        return 3;
    // GDK has already agreed on an XInput 2 version with the server; a server without it
    // answers with an error, which is caught here.
    gdk_x11_display_error_trap_push(gdk_display_get_default());
    XIDeviceInfo* devices = XIQueryDevice(display, XIAllDevices, &deviceCount);
    if (gdk_x11_display_error_trap_pop(gdk_display_get_default()) != 0) deviceCount = 0;
    static const char* buttonLabels[] = {"Button Left", "Button Middle", "Button Right",
                                         "Button Side", "Button Extra",  "Button Forward",
                                         "Button Back", "Button Task"};
    Atom labels[8];
    XInternAtoms(display, const_cast<char**>(buttonLabels), 8, True, labels);
    int best = 0;
    for (int d = 0; devices != nullptr && d < deviceCount; ++d) {
        if (devices[d].use != XISlavePointer || !devices[d].enabled) continue;
        for (int c = 0; c < devices[d].num_classes; ++c) {
            if (devices[d].classes[c]->type != XIButtonClass) continue;
            auto* buttons = reinterpret_cast<XIButtonClassInfo*>(devices[d].classes[c]);
            int count = 0;
            for (int b = 0; b < buttons->num_buttons; ++b)
                count += buttons->labels[b] != None &&
                         std::count(labels, labels + 8, buttons->labels[b]);
            best = std::max(best, count);
        }
    }
    if (devices != nullptr) XIFreeDeviceInfo(devices);
    return best > 0 ? best : 3;
}

void FlushGtkEvents() {
    for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i)
        g_main_context_iteration(nullptr, FALSE);
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
// the menu bar counts as the non-client part of a window here (SM_CXFRAME, SM_CYFRAME and
// SM_CYCAPTION are 0).
// The largest window: the whole of the display's monitors, as Windows makes the maximum
// tracking size about the desktop's size. 0 without a display.
static int LargestWindowSide(bool width) {
    if (!EnsureDisplay()) return 0;
    GdkDisplay* display = gdk_display_get_default();
    GdkRectangle all{0, 0, 0, 0};
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkRectangle area;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &area);
        gdk_rectangle_union(&all, &area, &all);
    }
    return width ? all.width : all.height;
}

int WINAPI GetSystemMetrics(int index) {
    if (index == SM_CYMENU) return MenuBarHeight();
    if (index == SM_CXMAXTRACK || index == SM_CYMAXTRACK)
        return LargestWindowSide(index == SM_CXMAXTRACK);
    return index == SM_CMOUSEBUTTONS ? PointerButtonCount() : 0;
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

void native::DeliverPending() {
    // Only a display already open has events; a bound keeps a flood from holding the caller.
    if (gdk_display_get_default() == nullptr) return;
    for (int i = 0; i < 256 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
}

core::WaitResult native::Wait(int64_t deadlineUs) {
    if (!EnsureDisplay()) {
        // Without a display only a timer can ever come; without one, nothing would.
        if (deadlineUs < 0) return core::WaitResult::Failed;
        int64_t now = core::NowUs();
        if (deadlineUs > now) g_usleep(static_cast<gulong>(deadlineUs - now));
        return core::WaitResult::Woke;
    }
    static const int timerFd = [] {
        int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        auto expired = [](gint fd, GIOCondition, gpointer) {
            uint64_t expirations;
            [[maybe_unused]] ssize_t n = read(fd, &expirations, sizeof expirations);
            return gboolean(G_SOURCE_CONTINUE);
        };
        if (fd >= 0) g_unix_fd_add(fd, G_IO_IN, expired, nullptr);
        return fd;
    }();
    if (deadlineUs >= 0 && timerFd >= 0) {
        // The core's clock is CLOCK_MONOTONIC (QueryPerformanceCounter).
        int64_t at = std::max<int64_t>(deadlineUs, 1);
        struct itimerspec when = {{0, 0}, {at / 1000000, (at % 1000000) * 1000}};
        timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
    }
    g_main_context_iteration(nullptr, TRUE);
    return core::WaitResult::Woke;
}
