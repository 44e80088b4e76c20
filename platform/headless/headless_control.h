// What tests (and the command-line tools) can see and steer of the headless backend, the
// in-memory desktop behind platform/win32.h. Nothing here exists on the real desktops.
//
// The desktop runs the same core as the GTK viewer (platform/core), whose records (windows,
// timers, palettes, menus) tests read there: windows have a retained 32-bit client surface
// (0x00RRGGBB, row 0 at the top). The clock behind QueryPerformanceCounter stands still
// until a test moves it. Nothing ever waits: when GetMessageA has nothing ready it moves the
// clock to the next timer tick (when allowed), and otherwise ends the loop as if the quit
// message had come (counted by HeadlessIdleEnds).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/core.h"

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
void HeadlessSetScreenSize(int width, int height);
// Overlapped windows are never narrower than this (outer width); 0 = no minimum.
void HeadlessSetMinimumWindowWidth(int width);

// QueryPerformanceFrequency reports this many ticks per second.
constexpr LONGLONG HeadlessClockFrequency = 10000000;
void HeadlessSetClockTicks(LONGLONG ticks);
LONGLONG HeadlessClockTicks();
void HeadlessAdvanceClockMs(LONGLONG milliseconds);

// Makes every later call of that function fail (null / FALSE) with GetLastError = `error`,
// until HeadlessReset.
void HeadlessSetFault(core::Call call, DWORD error = 8);

// ---- Windows and messages ---------------------------------------------------------------

// The colour of client pixels nothing has drawn yet; no drawing can produce it.
constexpr uint32_t HeadlessUnpaintedPixel = 0xFFFF00FFu;

// Client pixels, 0x00RRGGBB, or HeadlessUnpaintedPixel. Outside the client area:
// HeadlessUnpaintedPixel.
uint32_t HeadlessPixel(HWND window, int x, int y);
// Paints every client pixel `colour` (to tell drawn pixels from stale ones).
void HeadlessClearSurface(HWND window, uint32_t colour);
// A user resize or minimise: sets the client size, sends WM_SIZE (type 0 restored,
// 1 minimised, 2 maximised) and invalidates the client area.
void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType = 0);

// Every message delivered to a window procedure since the last reset, in order (the time
// and point left zero).
const std::vector<MSG>& HeadlessMessageLog();
// Queues a message as PostMessage does.
void HeadlessPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Dispatches queued messages (posted ones and due paints, no timer ticks) until none is
// left; returns how many were dispatched. Stops at the quit message and leaves it pending.
int HeadlessPumpMessages();
// Lets GetMessageA synthesise up to `ticks` timer messages when the queue is otherwise
// empty, moving the clock to each timer's next tick (default 0: it never does).
void HeadlessAllowTimerTicks(int ticks);
// How many times GetMessageA ended a loop because nothing was left to do.
int HeadlessIdleEnds();

// The header and colour table of the last SetDIBitsToDevice call.
BITMAPINFOHEADER HeadlessLastBitmapHeader();
std::vector<RGBQUAD> HeadlessLastColourTable();

// ---- Open-file dialog -------------------------------------------------------------------

// What the next GetOpenFileNameA calls do. Default: the user cancels.
struct HeadlessOpenFileScript {
    bool Accept = false;   // OK with FileName, else Cancel
    std::string FileName;  // the name the user picks
    DWORD Failure = 0;     // non-zero: the dialog fails with this extended error
    // Runs while the dialog is open, after the hook has had WM_INITDIALOG and WM_SHOWWINDOW,
    // with the request as the program passed it.
    std::function<void(HWND dialog, const OPENFILENAMEA& request)> WhileOpen;
};
void HeadlessSetOpenFileScript(HeadlessOpenFileScript script);

// Forgets every box, window, timer, message and object and restores the defaults. Handles
// of earlier objects stay invalid (they are never reused).
void HeadlessReset();
