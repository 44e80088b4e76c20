// What the files of the GTK native layer share (nothing outside platform/gtk includes it). The
// Win32 rules live in platform/core; this layer gives each window a GtkWindow and a client area
// whose retained surface is presented through Xlib, and turns GTK's signals into the core's
// messages. Signal handlers carry the window's handle, never a record pointer, so a signal
// that arrives after the window is gone is refused by the handle table.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/core/core.h"

namespace gtkb {

// Opens the display (X11 only) on first use; false when there is none.
bool EnsureDisplay();
Display* XDisplayOrNull();
int MenuBarHeight();    // SM_CYMENU: the height of our menu bar, measured once
void FlushGtkEvents();  // pending GTK events, without dispatching our queue

// A window's client surface, shared with the X server when MIT-SHM is available. Every
// change is presented to the server at once, so no drawn frame waits for (or is dropped by)
// GTK's frame clock.
struct ClientSurface {
    int Width = 0, Height = 0, Stride = 0;  // stride in pixels
    uint32_t* Pixels = nullptr;
    XImage* Image = nullptr;
    XShmSegmentInfo Shm{};
    bool UsesShm = false;
    bool Direct = false;          // presented through Xlib; else through GTK redraws
    bool PutInFlight = false;     // the server may still be reading Pixels
    unsigned long PutSerial = 0;  // the request that put them
    // A second shared segment, so that the next frame is written while the server still
    // reads the last one; the two take turns as Pixels (see BeforeSurfaceWrite). Images,
    // serials and missed rectangles trade places on every turn; each XImage stays tied to
    // its own segment record (Shm here or Spare.Shm), which never moves.
    struct Buffer {
        XImage* Image = nullptr;
        XShmSegmentInfo Shm{};
        bool PutInFlight = false;
        unsigned long PutSerial = 0;
        RECT Missed{};  // written to the other buffer since
    };
    Buffer Spare;
    bool HasSpare = false;
    RECT Missed{};  // what Pixels lacks of the spare's writes
    Window XWindow = 0;
    GC Gc = nullptr;
    cairo_surface_t* Cairo = nullptr;
};

struct GtkParts {
    GtkWidget* Toplevel = nullptr;
    GtkWidget* Box = nullptr;
    GtkWidget* Area = nullptr;   // frames: the client area
    GtkWidget* Label = nullptr;  // static windows: their text
    bool Mapped = false;
    ClientSurface Surface;
    std::map<int, GtkWidget*> Controls;  // file dialog: the template's controls by id
};
GtkParts& Parts(core::WindowRecord& w);

// True when a client area's X window can take the surface's pixels as they are (24-bit
// true colour in our byte order) and direct presentation is not switched off
// (KINARO_GTK_PRESENT=gtk leaves it to GTK's redraws, for comparison).
bool CanPresentDirectly(GdkWindow* window);
// Remakes the surface at the given size, keeping the overlapping pixels, the rest black.
void RemakeSurface(core::WindowRecord& w, int width, int height);
void ReleaseSurface(core::WindowRecord& w);
bool PresentRect(core::WindowRecord& w, int x, int y, int width, int height);  // true: put to X
void PaintSurface(core::WindowRecord& w, cairo_t* cr);

// Counts for the playback benchmark (KINARO_GTK_STATS=1 prints them at exit).
struct PresentStats {
    uint64_t BitmapPuts = 0;      // bitmap transfers that drew something
    uint64_t BitmapPresents = 0;  // of those, how many were sent to the server
};
inline PresentStats& Stats() {
    static PresentStats stats;
    return stats;
}

// The work area of the primary (else the first) monitor, or `fallback` without one.
GdkRectangle WorkArea(GtkWidget* widget, GdkRectangle fallback);
// "notify::is-active" of a top-level window: the core's foreground follows GTK's.
void OnActiveChanged(GObject* toplevel, GParamSpec*, gpointer window);

// A resource text for GTK: '&' marks become GTK's mnemonics (or are dropped).
std::string Mnemonic(const char* text, bool mnemonic = true);
GdkPixbuf* IconPixbuf();  // icon 101
inline GtkWidget* MenuBar(core::MenuRecord& m) {
    return static_cast<GtkWidget*>(m.Native.get());
}

}  // namespace gtkb
