// What the files of the GTK backend share. Nothing outside platform/gtk includes this.
//
// Every handle of win32.h is a pointer to one of the records below. Records are never freed
// (a destroyed window or menu is only marked dead), so a stale handle is always recognised
// and refused instead of being followed into freed memory.
#pragma once

#include <gtk/gtk.h>
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace gtkb {

// ---- display ---------------------------------------------------------------------------

// Opens the display on first use (GTK on X11 only: the client surface is presented through
// Xlib). False when no display can be opened; every call after the first is cheap.
bool EnsureDisplay();
Display* XDisplayOrNull();

// Height of a menu bar holding our items, measured once: the SM_CYMENU of this backend.
int MenuBarHeight();

// ---- client surface --------------------------------------------------------------------

// A window's retained 32-bit client surface (0x00RRGGBB per pixel), shared with the X
// server when MIT-SHM is available. Every change is presented to the server at once, so no
// drawn frame waits for (or is dropped by) GTK's frame clock.
struct ClientSurface {
    int Width = 0;
    int Height = 0;
    int Stride = 0;  // in pixels
    uint32_t* Pixels = nullptr;
    XImage* Image = nullptr;
    XShmSegmentInfo Shm{};
    bool UsesShm = false;
    bool Direct = false;       // presented through Xlib; else through GTK redraws
    bool PutInFlight = false;  // the server may still be reading Pixels
    unsigned long PutSerial = 0;  // the request that put them
    // A second shared segment, so that the next frame is written while the server still
    // reads the last one; the two take turns as Pixels (see BeforeSurfaceWrite).
    // Images, serials and missed rectangles trade places on every turn; each XImage stays
    // tied to its own segment record (Shm here or Spare.Shm), which never moves.
    struct Buffer {
        XImage* Image = nullptr;
        XShmSegmentInfo Shm{};
        bool PutInFlight = false;
        unsigned long PutSerial = 0;
        int Missed[4] = {0, 0, 0, 0};  // x0, y0, x1, y1 written to the other buffer since
    };
    Buffer Spare;
    bool HasSpare = false;
    int Missed[4] = {0, 0, 0, 0};  // what Pixels lacks of the spare's writes
    Window XWindow = 0;
    GC Gc = nullptr;
    cairo_surface_t* Cairo = nullptr;
};

struct WindowRecord;

// True when a client area's X window can take the surface's pixels as they are (24-bit
// true colour in our byte order) and direct presentation is not switched off
// (KINARO_GTK_PRESENT=gtk leaves it to GTK's redraws, for comparison).
bool CanPresentDirectly(GdkWindow* window);
// Gives the window a surface of the given size, keeping the overlapping old pixels and
// painting the rest black.
void ResizeSurface(WindowRecord* window, int width, int height);
void ReleaseSurface(WindowRecord* window);
// Shows the rectangle of the surface on screen.
void PresentRect(WindowRecord* window, int x, int y, int width, int height);
// Makes Pixels safe to change in the given rectangle (clipped to the surface): the server
// no longer reads them, and they hold everything drawn so far.
void BeforeSurfaceWrite(ClientSurface& surface, int x, int y, int width, int height);
// Draws the surface in a GTK draw handler (expose).
void PaintSurface(WindowRecord* window, cairo_t* cr);

// Counts for the playback benchmark (KINARO_GTK_STATS=1 prints them at exit).
struct PresentStats {
    uint64_t BitmapPuts = 0;        // SetDIBitsToDevice calls that drew something
    uint64_t BitmapPresents = 0;    // of those, how many were sent to the server
};
PresentStats& Stats();

// ---- windows ---------------------------------------------------------------------------

enum class WindowKind { Frame, Static, Dialog };

struct WindowClass {
    std::string Name;
    WNDPROC Proc = nullptr;
    HICON Icon = nullptr;
    UINT Style = 0;
};

struct MenuRecord;

struct WindowRecord {
    uint32_t Magic;
    WindowKind Kind = WindowKind::Frame;
    WNDPROC Proc = nullptr;
    WindowRecord* Owner = nullptr;
    DWORD Style = 0;
    bool Alive = true;
    bool Destroying = false;
    bool Visible = false;
    bool Mapped = false;
    bool Minimized = false;
    bool EverShown = false;
    int DisabledCount = 0;  // > 0 while a modal box it owns is open: input is ignored
    int RequestedWidth = 0;
    int RequestedHeight = 0;
    GtkWidget* Toplevel = nullptr;
    GtkWidget* Box = nullptr;
    GtkWidget* Area = nullptr;   // Frame: the client area
    GtkWidget* Label = nullptr;  // Static: its text
    MenuRecord* Menu = nullptr;
    bool HasUpdate = false;      // update region, kept as its bounding rectangle
    RECT Update{};
    ClientSurface Surface;
    // Dialog: the controls that SendDlgItemMessageA reaches, by id.
    std::vector<std::pair<int, GtkWidget*>> Controls;
    bool SettingCheck = false;  // BM_SETCHECK in progress: the click is not the user's
};

constexpr uint32_t WindowMagic = 0x4B574E44;  // "KWND"

// The live window behind a handle, or nullptr for a null, stale or foreign handle.
WindowRecord* FindWindow(HWND handle);
HWND HandleOf(WindowRecord* window);
const std::vector<WindowRecord*>& AllWindows();
// A dialog-like top-level window of ours (message box, file dialog) so that
// GetForegroundWindow, GetParent and owner disabling see it.
WindowRecord* NewDialogRecord(GtkWidget* toplevel, HWND owner);
void AttachToplevelSignals(WindowRecord* window);
// Ends a dialog record made by NewDialogRecord (after its modal loop).
void EndDialogRecord(WindowRecord* window);

// Calls the window procedure at once (SendMessage).
LRESULT SendToWindow(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- messages --------------------------------------------------------------------------

void Post(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam);
void PostFront(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam);
// Forgets the messages and timers of a window being destroyed.
void ForgetWindowMessages(WindowRecord* window);
// Posts a key press together with the character TranslateMessage makes of it (0: none).
void PostKeyDown(WindowRecord* window, WPARAM virtualKey, uint32_t character);

// Runs a modal loop: dispatches our own queue (timers and paints included, so the animation
// goes on) and GTK's events until `done` says so. A quit request is left pending for the
// outer loop; it does not end the modal loop.
void RunModalLoop(const std::function<bool()>& done);
// Processes pending GTK events without dispatching our queue (used while the program runs
// no message loop of its own, e.g. to let a progress window show its text).
void FlushGtkEvents();

// ---- menus and icons -------------------------------------------------------------------

struct MenuRecord {
    uint32_t Magic;
    bool Alive = true;
    GtkWidget* Bar = nullptr;  // owned reference
    WindowRecord* Window = nullptr;
};
constexpr uint32_t MenuMagic = 0x4B4D4E55;  // "KMNU"
MenuRecord* FindMenu(HMENU handle);
void DestroyMenuRecord(MenuRecord* menu);

// The pixbuf behind an icon handle (nullptr for none).
GdkPixbuf* IconPixbuf(HICON icon);

}  // namespace gtkb
