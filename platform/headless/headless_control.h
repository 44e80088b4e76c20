// What tests (and the command-line tools) can see and steer of the headless backend, the
// in-memory desktop behind platform/win32.h. Nothing here exists on the real desktops.
//
// The desktop runs the same core as the GTK viewer (platform/core): windows with a retained
// 32-bit client surface (0x00RRGGBB, row 0 at the top), the same queue, timers and painting.
// The clock behind QueryPerformanceCounter stands still until a test moves it. Nothing ever
// waits: when GetMessageA has nothing ready it moves the clock to the next timer tick (when
// allowed), asks the idle handler, and otherwise ends the loop as if the quit message had come
// (counted by HeadlessIdleEnds).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/core.h"
#include "platform/win32.h"

// ---- Message boxes ----------------------------------------------------------------------

struct HeadlessBox {
    HWND Owner;
    std::string Text;
    std::string Title;
    UINT Type;
};

// Every message box shown since the last reset, in order. Each box is also written to
// stderr as "Title: text" unless HeadlessSetQuiet(true).
const std::vector<HeadlessBox>& HeadlessBoxes();
void HeadlessSetQuiet(bool quiet);
// Runs while a box is "on screen" (a window of class "#32770" owned by the box's owner is
// then the foreground window); its result is the button the box returns. Without a handler
// every box returns IDOK at once.
void HeadlessSetBoxHandler(std::function<int(const HeadlessBox&)> handler);

// ---- System information and the clock ---------------------------------------------------

// What GetVersion and GetSystemMetrics(SM_CMOUSEBUTTONS) report.
void HeadlessSetVersion(DWORD version);
void HeadlessSetMouseButtons(int buttons);
// Any other metric (frame, caption, menu sizes; 0 and 1 are the screen size).
void HeadlessSetMetric(int index, int value);
void HeadlessSetScreenSize(int width, int height);
// Overlapped windows are never narrower than this (outer width); 0 = no minimum.
void HeadlessSetMinimumWindowWidth(int width);

// QueryPerformanceFrequency reports this many ticks per second.
constexpr LONGLONG HeadlessClockFrequency = 10000000;
void HeadlessSetClockTicks(LONGLONG ticks);
LONGLONG HeadlessClockTicks();
void HeadlessAdvanceClockMs(LONGLONG milliseconds);

// ---- Faults -----------------------------------------------------------------------------

// The calls of the core that a test can make fail.
using HeadlessFault = core::Call;
// Makes every later call of that function fail (null / FALSE) with GetLastError = `error`,
// until cleared with HeadlessClearFault or HeadlessReset.
void HeadlessSetFault(HeadlessFault fault, DWORD error = 8);
void HeadlessClearFault(HeadlessFault fault);

// ---- Windows ----------------------------------------------------------------------------

// The colour of client pixels nothing has drawn yet; no drawing can produce it.
constexpr uint32_t HeadlessUnpaintedPixel = 0xFFFF00FFu;

struct HeadlessWindowInfo {
    HWND Handle = nullptr;
    std::string ClassName;
    std::string Text;
    std::vector<std::string> TextHistory;  // every text it was given, in order
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;  // outer rectangle
    int ClientWidth = 0, ClientHeight = 0;
    HWND Parent = nullptr;
    HMENU Menu = nullptr;
    bool Visible = false;
    bool Maximized = false;
    bool Destroyed = false;
    int LastShowCommand = -1;
    int Paints = 0;  // BeginPaint calls
    int Draws = 0;   // bitmap transfers into the surface
};

// Every window created since the last reset, destroyed ones included, in creation order.
std::vector<HeadlessWindowInfo> HeadlessWindows();
// The record of one window (destroyed ones included); false when the handle is unknown.
bool HeadlessWindow(HWND window, HeadlessWindowInfo* info);
// Client pixels, 0x00RRGGBB, or HeadlessUnpaintedPixel. Outside the client area:
// HeadlessUnpaintedPixel.
uint32_t HeadlessPixel(HWND window, int x, int y);
// The whole client surface, row 0 (the top) first.
std::vector<uint32_t> HeadlessSurface(HWND window);
// Paints every client pixel `colour` (to tell drawn pixels from stale ones).
void HeadlessClearSurface(HWND window, uint32_t colour);

// A user resize or minimise: sets the client size, sends WM_SIZE (type 0 restored,
// 1 minimised, 2 maximised) and invalidates the client area.
void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType = 0);
// Another application (null) or one of ours comes to the front; WM_ACTIVATEAPP is sent to
// the windows of ours that gain or lose the activation.
void HeadlessSetForegroundWindow(HWND window);
bool HeadlessHasUpdateRegion(HWND window);

// ---- Messages ---------------------------------------------------------------------------

struct HeadlessMessage {
    HWND Window;
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    bool Sent;  // sent (synchronous) rather than dispatched from the queue
};

// Every message delivered to a window procedure since the last reset (or since
// HeadlessClearMessageLog), in order.
const std::vector<HeadlessMessage>& HeadlessMessageLog();
void HeadlessClearMessageLog();
// Queues a message as PostMessage does.
void HeadlessPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
size_t HeadlessQueueLength();
bool HeadlessQuitPosted(int* exitCode = nullptr);
// Dispatches queued messages (posted ones and due paints, no timer ticks) until none is
// left; returns how many were dispatched. Stops at the quit message and leaves it pending.
int HeadlessPumpMessages();
// Lets GetMessageA synthesise up to `ticks` timer messages when the queue is otherwise
// empty, moving the clock to each timer's next tick (default 0: it never does).
void HeadlessAllowTimerTicks(int ticks);
// Called by GetMessageA when nothing is left to deliver; it may post messages and returns
// true to go on waiting. Without it (or when it returns false) the loop ends.
void HeadlessSetIdleHandler(std::function<bool()> handler);
// How many times GetMessageA ended a loop because nothing was left to do.
int HeadlessIdleEnds();

// ---- Timers -----------------------------------------------------------------------------

struct HeadlessTimer {
    HWND Window;
    UINT_PTR Id;
    UINT Period;
    TIMERPROC Procedure;
    LONGLONG NextDue;  // clock ticks
};

std::vector<HeadlessTimer> HeadlessTimers();
bool HeadlessTimerLive(HWND window, UINT_PTR id);
// Delivers one WM_TIMER of a live timer now (to its procedure, or the window's); false when
// there is no such timer.
bool HeadlessFireTimer(HWND window, UINT_PTR id);

// ---- GDI --------------------------------------------------------------------------------

// Entries of a palette (empty when the handle is not a live palette).
std::vector<PALETTEENTRY> HeadlessPaletteEntries(HPALETTE palette);
bool HeadlessObjectLive(HGDIOBJ object);
int HeadlessPaletteAnimations(HPALETTE palette);
int HeadlessPaletteRealizations(HPALETTE palette);
// Device contexts got with GetDC or BeginPaint and not yet released.
int HeadlessLiveDeviceContexts();
// The header and colour table of the last SetDIBitsToDevice call.
BITMAPINFOHEADER HeadlessLastBitmapHeader();
std::vector<RGBQUAD> HeadlessLastColourTable();

// ---- Menus and resources ----------------------------------------------------------------

bool HeadlessMenuLive(HMENU menu);
// The resource id a menu was loaded from (0 when the handle is unknown).
int HeadlessMenuResource(HMENU menu);
bool HeadlessClassRegistered(const char* name, WNDCLASSA* fields = nullptr);

// ---- Open-file dialog -------------------------------------------------------------------

// What the next GetOpenFileNameA calls do. Default: the user cancels.
struct HeadlessOpenFileScript {
    bool Accept = false;   // OK with FileName, else Cancel
    std::string FileName;  // the name the user picks
    DWORD Failure = 0;     // non-zero: the dialog fails with this extended error
    // Runs while the dialog is open, after the hook has had WM_INITDIALOG and WM_SHOWWINDOW.
    std::function<void(HWND dialog)> WhileOpen;
};
void HeadlessSetOpenFileScript(HeadlessOpenFileScript script);

// What the program passed to GetOpenFileNameA, copied.
struct HeadlessOpenFileCall {
    DWORD StructSize = 0;
    HWND Owner = nullptr;
    HINSTANCE Instance = nullptr;
    std::string Filter;  // every text with its zero character, without the final zero
    DWORD FilterIndex = 0;
    DWORD MaxFile = 0;
    std::string Title;
    DWORD Flags = 0;
    std::string DefaultExtension;
    bool HasHook = false;
    uintptr_t Template = 0;  // resource id when given as an integer
    bool OtherFieldsZero = false;
};
const std::vector<HeadlessOpenFileCall>& HeadlessOpenFileCalls();
// A click on a dialog button while it is open: an auto check box toggles, then the hook
// gets WM_COMMAND with the id. Returns what the hook returned.
UINT_PTR HeadlessClickDialogButton(HWND dialog, int id);
int HeadlessDialogCheck(HWND dialog, int id);

// ---- Reset ------------------------------------------------------------------------------

// Forgets every box, window, timer, message and object and restores the defaults. Handles
// of earlier objects stay invalid (they are never reused).
void HeadlessReset();
