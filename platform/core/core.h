// The Win32 rules of the subset, held once above the native layers (platform/gtk,
// platform/headless). The core owns every record behind a handle, the message queue, the
// timers, update regions, device contexts, palettes and the drawing into client surfaces; a
// native layer supplies only what its desktop has: windows with their client surface,
// presenting, waiting for events, the clock, message boxes and the file chooser (the
// functions of namespace native below, and MessageBoxA, GetVersion, GetSystemMetrics,
// GetModuleHandleA and the performance counter, which each native layer defines once).
//
// The handles of the records the core keeps (windows, menus, device contexts, palettes and
// brushes) are generation-counted slots of one table, not pointers: a null, stale or foreign
// handle is refused by looking at the table alone, without following it anywhere. The icon
// and the cursor are the exceptions: LoadIconA and LoadCursorA return the address of one
// static variable each, which is never freed, so such a handle cannot go stale; a window
// class only carries them, and nothing follows them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace core {

// Win32 error codes set for GetLastError.
constexpr DWORD ErrorInvalidParameter = 87;
constexpr DWORD ErrorInvalidWindowHandle = 1400;
constexpr DWORD ErrorInvalidMenuHandle = 1401;
constexpr DWORD ErrorCannotFindWndClass = 1407;
constexpr DWORD ErrorClassAlreadyExists = 1410;
constexpr DWORD ErrorResourceNameNotFound = 1814;

constexpr WPARAM SizeRestored = 0, SizeMinimized = 1, SizeMaximized = 2;

struct Object {
    virtual ~Object() = default;
};

struct WindowClass {
    std::string Name;
    WNDCLASSA Fields{};
    bool BuiltIn = false;
};

enum class WindowKind { Frame, Static, Dialog };

// How a surface holds a colour: 0x00RRGGBB words (X's and Cairo's), or the bytes R, G, B, 255
// (a canvas's pixels), so that the native layer shows the surface as it is.
enum class PixelLayout { Xrgb, Rgba };

// The pixels of a client area, row 0 at the top, in the layout the native layer chose. The
// native layer owns them.
struct Surface {
    uint32_t* Pixels = nullptr;
    int Width = 0, Height = 0, Stride = 0;  // stride in pixels
    PixelLayout Layout = PixelLayout::Xrgb;
};

// The surface's word for the colour 0x00RRGGBB.
inline uint32_t SurfaceWord(const Surface& s, uint32_t rgb) {
    if (s.Layout == PixelLayout::Xrgb) return rgb;
    return 0xFF000000u | (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

struct WindowRecord : Object {
    HWND Handle = nullptr;
    WindowKind Type = WindowKind::Frame;
    const WindowClass* Class = nullptr;
    std::string Text;
    std::vector<std::string> TextHistory;  // every text it had: kept by the headless layer
    DWORD Style = 0;
    HWND Parent = nullptr;  // parent (child windows) or owner (popups)
    HMENU Menu = nullptr;
    bool Alive = true, Destroying = false, Visible = false, EverShown = false;
    bool Minimized = false, Maximized = false, Sized = false;
    int LastShowCommand = -1;
    int X = 0, Y = 0, Width = 0, Height = 0;  // outer rectangle, as the native layer has it
    int ClientWidth = 0, ClientHeight = 0;
    Surface Pixels;
    RECT Update{0, 0, 0, 0};  // bounding box of the update region; empty when valid
    bool ErasePending = false;
    int DisabledCount = 0;  // > 0 while a modal box it owns is open
    int Paints = 0, Draws = 0;
    std::map<int, int> Checks;     // dialogs: check boxes by control id
    LPOFNHOOKPROC Hook = nullptr;  // the open-file dialog's hook while it runs
    std::shared_ptr<void> Native;  // the native layer's own parts
};

struct DeviceContextRecord : Object {
    HWND Window = nullptr;
    HPALETTE Palette = nullptr;
    bool FromPaint = false;
};

struct PaletteRecord : Object {
    std::vector<PALETTEENTRY> Entries;
    bool Stock = false;
    int Animations = 0, Realizations = 0;
};

struct BrushRecord : Object {
    uint32_t Colour = 0;
    bool Null = false;
};

struct MenuRecord : Object {
    HMENU Handle = nullptr;
    int ResourceId = 0;
    HWND AttachedTo = nullptr;
    std::shared_ptr<void> Native;
};

// The calls a native layer can refuse.
enum class Call { RegisterClass, CreateWindow, CreatePalette, GetDC, LoadMenu, AnimatePalette };

// ---- The handle table ------------------------------------------------------------------

void* AddObject(std::unique_ptr<Object> object);
Object* FindObject(const void* handle);
void FreeObject(const void* handle);
int CountContexts();  // device contexts not yet released or ended
template <typename T>
T* Find(const void* handle) {
    return dynamic_cast<T*>(FindObject(handle));
}
// The record of a live handle of type T, or null with `error` as the last error.
template <typename T>
T* Live(const void* handle, DWORD error = ErrorInvalidParameter) {
    T* record = Find<T>(handle);
    if (record == nullptr) SetLastError(error);
    return record;
}
template <typename T>
std::pair<T*, void*> Add() {
    auto object = std::make_unique<T>();
    T* record = object.get();
    return {record, AddObject(std::move(object))};
}

// Sets the last error and gives what the failed call returns.
template <typename T = BOOL>
T Fail(DWORD error, T result = T()) {
    SetLastError(error);
    return result;
}
// True when the native layer refuses the call; its error is then the last error.
bool Refused(Call call);
// The live window of a handle, or null with ERROR_INVALID_WINDOW_HANDLE.
WindowRecord* LiveWindow(HWND window);
// Any window record of a handle, destroyed or not (null for unknown handles).
WindowRecord* AnyWindow(HWND window);
const std::vector<HWND>& WindowsInOrder();

// ---- Windows ---------------------------------------------------------------------------

WindowClass* FindClass(const char* name);
bool Empty(const RECT& r);
void Unite(RECT& into, const RECT& r);  // into becomes the bounding box of both

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The client area has a new size: the surface follows, what a larger area uncovers is to be
// painted (the class has no redraw styles). Sends nothing; false when nothing changed.
bool ResizeClient(WindowRecord& w, int width, int height);
void SendSize(WindowRecord& w, WPARAM type);
void InvalidateAll(WindowRecord& w, bool erase);
// One of our windows (or none: another application) comes to the front, with the
// activation messages Win32 sends.
void SetForeground(HWND window);
// A dialog-like top-level window of ours (message box, file dialog) owned by `owner`, which
// takes no input until EndDialog.
HWND BeginDialog(HWND owner, const char* title);
void EndDialog(HWND dialog);
bool AcceptsInput(const WindowRecord& w);
// A click on a dialog button: an auto check box toggles, then the hook hears WM_COMMAND.
UINT_PTR ClickDialogItem(HWND dialog, int id);
UINT_PTR CallDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Messages and timers ---------------------------------------------------------------

struct Timer {
    HWND Window;
    UINT_PTR Id;
    UINT Period;
    TIMERPROC Procedure;
    int64_t DueUs;
};
const std::vector<Timer>& Timers();
void ForgetTimers(HWND window);
int64_t NowUs();
void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam, uint32_t character = 0);
// Takes the next ready message without waiting, in Win32's order: posted, quit, paint,
// timer. The quit message only when `takeQuit` (modal loops leave it to the outer loop).
bool TakeReady(MSG* out, HWND filter, UINT min, UINT max, bool takeQuit, bool timers = true);
bool QuitPending();
// Dispatches our queue (ticks and paints included) and waits for native events until `done`.
void RunModalLoop(const std::function<bool()>& done);
// Delivers one tick of a live timer now; false when there is none.
bool FireTimer(HWND window, UINT_PTR id);

// What the headless layer watches; null on the desktops.
inline void (*WatchDelivered)(HWND, UINT, WPARAM, LPARAM) = nullptr;
inline void (*WatchBitmap)(const BITMAPINFOHEADER&, const RGBQUAD* colours, size_t count) = nullptr;

// Forgets every record, message and timer; earlier handles stay refused.
void Reset();
void ResetWindows();
void ResetMessages();
void ResetDialogs();

enum class WaitResult { Woke, Ended, Failed };

}  // namespace core

// What each native layer supplies.
namespace native {
// Non-zero: the call fails with this error (no display, or a fault a test asked for).
DWORD Refusal(core::Call call);
// Makes the native window (sets the first client size); non-zero error on failure.
DWORD CreateWindow(core::WindowRecord& w);
void DestroyWindow(core::WindowRecord& w);
// Shows, hides, maximises or minimises; sends the size and activation that follow.
void ShowWindow(core::WindowRecord& w, int command);
void SetText(core::WindowRecord& w);
void CreateMenu(core::MenuRecord& m);
void DestroyMenu(core::MenuRecord& m);
// Attaches w.Menu (detaching `previous`); the client area gives up the menu bar's height.
void SetMenu(core::WindowRecord& w, core::MenuRecord* previous);
void ResizeSurface(core::WindowRecord& w, int width, int height);
// Before the core writes the given surface rectangle, clipped to it (the display may still
// read the pixels; w.Pixels may point elsewhere afterwards).
void BeforeWrite(core::WindowRecord& w, int x, int y, int width, int height);
// Shows a changed rectangle of the surface (already clipped to it).
void Present(core::WindowRecord& w, int x, int y, int width, int height, bool bitmap);
// Waits for native events until the deadline (microseconds of core::NowUs, -1: none).
core::WaitResult Wait(int64_t deadlineUs);
// Handles the native events already waiting, without waiting for more (PeekMessageA).
void DeliverPending();
// Runs the file chooser as `dialog` (hooked, check boxes made); 1 with the chosen path,
// 0 when cancelled, or a common-dialog error code with the top bit set.
DWORD ChooseFile(HWND dialog, OPENFILENAMEA* request, std::string* path);
void SetCheck(core::WindowRecord& dialog, int id, int state);
}  // namespace native
