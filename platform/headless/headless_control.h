// What tests (and the command-line tools) can see and steer of the headless backend, the
// in-memory desktop behind platform/win32.h. Nothing here exists on the real desktops.
//
// The desktop runs the same core as the GTK viewer (platform/core), whose records (windows,
// timers, palettes, menus) tests read there: windows have a retained 32-bit client surface
// (0x00RRGGBB, row 0 at the top). The clock behind QueryPerformanceCounter stands still
// until a test moves it. Nothing ever waits: when GetMessageA has nothing ready it moves the
// clock to the next timer tick (when allowed), and otherwise ends the loop as if the quit
// message had come (counted in IdleEnds).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/core/core.h"

struct HeadlessBox {
    HWND Owner;
    std::string Text;
    std::string Title;
    UINT Type;
};

// The colour of client pixels nothing has drawn yet; no drawing can produce it.
constexpr uint32_t HeadlessUnpaintedPixel = 0xFFFF00FFu;

// A user resize or minimise: sets the client size, sends WM_SIZE (type 0 restored,
// 1 minimised, 2 maximised) and invalidates the client area.
void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType = 0);

// What a GetOpenFileNameA call does. Default: the user cancels.
struct HeadlessOpenFileScript {
    bool Accept = false;   // OK with FileName, else Cancel
    std::string FileName;  // the name the user picks
    DWORD Failure = 0;     // non-zero: the dialog fails with this extended error
    // Runs while the dialog is open, after the hook has had WM_INITDIALOG and WM_SHOWWINDOW,
    // with the request as the program passed it.
    std::function<void(HWND dialog, const OPENFILENAMEA& request)> WhileOpen;
};

// QueryPerformanceFrequency reports this many ticks per second.
constexpr LONGLONG HeadlessClockFrequency = 10000000;

struct HeadlessDesktop {
    // Every message box shown since the last reset, in order. Each box is also written to
    // stderr as "Title: text" unless Quiet.
    std::vector<HeadlessBox> Boxes;
    bool Quiet = false;
    // Runs while a box is "on screen" (a window of class "#32770" owned by the box's owner is
    // then the foreground window); its result is the button the box returns. Without a
    // handler every box returns IDOK at once.
    std::function<int(const HeadlessBox&)> BoxHandler;
    DWORD Version = 0x0A00;  // what GetVersion reports: a current system, top bit clear
    // What GetSystemMetrics reports (0 and 1 are the screen size).
    std::map<int, int> Metrics = {{0, 1920},
                                  {1, 1080},
                                  {SM_CYCAPTION, 23},
                                  {SM_CYMENU, 20},
                                  {SM_CXFRAME, 4},
                                  {SM_CYFRAME, 4},
                                  {SM_CMOUSEBUTTONS, 3},
                                  {SM_CXMAXTRACK, 1940},
                                  {SM_CYMAXTRACK, 1100}};
    // Overlapped windows are never narrower than this (outer width); 0 = no minimum.
    int MinimumWindowWidth = 0;
    // The calls that fail (null / FALSE), with the GetLastError they leave.
    std::map<core::Call, DWORD> Faults;
    LONGLONG ClockTicks = 1000000000;  // what QueryPerformanceCounter reports
    // How many timer messages GetMessageA may still synthesise when the queue is otherwise
    // empty, moving the clock to each timer's next tick.
    int AutoTimerTicks = 0;
    int IdleEnds = 0;  // loops GetMessageA ended because nothing was left to do
    // Every message delivered to a window procedure, in order (time and point left zero).
    std::vector<MSG> MessageLog;
    // The header and colour table of the last SetDIBitsToDevice call.
    BITMAPINFOHEADER LastBitmapHeader{};
    std::vector<RGBQUAD> LastColourTable;
    HeadlessOpenFileScript Script;  // what the next GetOpenFileNameA calls do
};

HeadlessDesktop& Headless();
void HeadlessAdvanceClockMs(LONGLONG milliseconds);
// Makes every later call of that function fail with GetLastError = `error`, until reset.
void HeadlessSetFault(core::Call call, DWORD error = 8);
// Forgets every box, window, timer, message and object and restores the defaults (but
// Quiet). Handles of earlier objects stay invalid (they are never reused).
void HeadlessReset();
