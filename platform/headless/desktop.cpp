// The in-memory desktop under the core: window geometry from the system metrics, client
// surfaces in memory, a clock that stands still until a test moves it, waits that never
// wait, scripted message boxes and file chooser, the faults a test asks for, and what tests
// and tools see and steer of it (headless_control.h).
#include <algorithm>
#include <cstdio>

#include "platform/core/surface_memory.h"
#include "platform/headless/headless_control.h"

HeadlessDesktop& Headless() {
    static HeadlessDesktop desktop;
    return desktop;
}

namespace {

constexpr DWORD WsCaption = 0x00C00000u, WsThickFrame = 0x00040000u;

struct Frame {
    int X, Y, Top;  // frame widths, and the caption and menu bar above the client area
};

Frame Decorations(const core::WindowRecord& w) {
    bool child = (w.Style & WS_CHILD) != 0;
    bool thick = (w.Style & WsThickFrame) != 0 && !child;
    int caption = (w.Style & WsCaption) == WsCaption ? GetSystemMetrics(SM_CYCAPTION) : 0;
    int menu = (w.Menu != nullptr && !child) ? GetSystemMetrics(SM_CYMENU) : 0;
    return {thick ? GetSystemMetrics(SM_CXFRAME) : 0, thick ? GetSystemMetrics(SM_CYFRAME) : 0,
            caption + menu};
}

// The client size follows from the outer size and the decorations.
void UpdateClientSize(core::WindowRecord& w) {
    Frame f = Decorations(w);
    core::ResizeClient(w, w.Minimized ? 0 : w.Width - 2 * f.X,
                       w.Minimized ? 0 : w.Height - 2 * f.Y - f.Top);
}

void Watched(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Headless().MessageLog.size() < 2000000)
        Headless().MessageLog.push_back({window, message, wParam, lParam, 0, {0, 0}});
}

void WatchedBitmap(const BITMAPINFOHEADER& header, const RGBQUAD* colours, size_t count) {
    Headless().LastBitmapHeader = header;
    Headless().LastColourTable.assign(colours, colours + count);
}

const bool watching = (core::WatchDelivered = Watched, core::WatchBitmap = WatchedBitmap, true);

}  // namespace

// ---- The native layer ---------------------------------------------------------------------

namespace native {

DWORD Refusal(core::Call call) {
    return Headless().Faults.contains(call) ? Headless().Faults[call] : 0;
}

DWORD CreateWindow(core::WindowRecord& w) {
    bool popup = (w.Style & WS_POPUP) != 0, child = (w.Style & WS_CHILD) != 0;
    if (w.X == CW_USEDEFAULT) w.X = w.Y = popup || child ? 0 : 26;
    if (w.Width == CW_USEDEFAULT) {
        w.Width = popup || child ? 0 : GetSystemMetrics(0) * 3 / 4;
        w.Height = popup || child ? 0 : GetSystemMetrics(1) * 3 / 4;
    }
    if ((w.Style & WsCaption) == WsCaption && !child)
        w.Width = std::max(w.Width, Headless().MinimumWindowWidth);
    w.Width = std::max(0, w.Width);
    w.Height = std::max(0, w.Height);
    UpdateClientSize(w);
    SetText(w);  // the first text of its history
    return 0;
}

void DestroyWindow(core::WindowRecord&) {}
void SetText(core::WindowRecord& w) {
    w.TextHistory.push_back(w.Text);
}
void CreateMenu(core::MenuRecord&) {}
void DestroyMenu(core::MenuRecord&) {}
void BeforeWrite(core::WindowRecord&, int, int, int, int) {}
void Present(core::WindowRecord&, int, int, int, int, bool) {}
void SetCheck(core::WindowRecord&, int, int) {}

void ShowWindow(core::WindowRecord& w, int command) {
    if (command == SW_HIDE) return;
    int oldWidth = w.ClientWidth, oldHeight = w.ClientHeight;
    WPARAM type = core::SizeRestored;
    w.Minimized = command == 2 || command == 6 || command == 7;
    if (command == SW_MAXIMIZE) {
        // The whole screen, with the frame just off it.
        Frame f = Decorations(w);
        w.X = -f.X;
        w.Y = -f.Y;
        w.Width = GetSystemMetrics(0) + 2 * f.X;
        w.Height = GetSystemMetrics(1) + 2 * f.Y;
        w.Maximized = true;
        type = core::SizeMaximized;
    } else if (w.Minimized) {
        type = core::SizeMinimized;
    }
    UpdateClientSize(w);
    HWND window = w.Handle;
    bool activates = command != 4 && command != 7 && command != 8 && !(w.Style & WS_CHILD);
    if (activates) core::SetForeground(window);
    core::WindowRecord* again = core::LiveWindow(window);
    if (again != nullptr &&
        (!again->Sized || oldWidth != again->ClientWidth || oldHeight != again->ClientHeight))
        core::SendSize(*again, type);
}

void SetMenu(core::WindowRecord& w, core::MenuRecord*) {
    int oldWidth = w.ClientWidth, oldHeight = w.ClientHeight;
    UpdateClientSize(w);
    if (w.Visible && (oldWidth != w.ClientWidth || oldHeight != w.ClientHeight)) {
        HWND window = w.Handle;
        core::SendSize(w, core::SizeRestored);
        if (core::WindowRecord* again = core::LiveWindow(window)) core::InvalidateAll(*again, true);
    }
}

void ResizeSurface(core::WindowRecord& w, int width, int height) {
    if (w.Native == nullptr) w.Native = std::make_shared<std::vector<uint32_t>>();
    core::RemakeSurfaceMemory(*static_cast<std::vector<uint32_t>*>(w.Native.get()), w.Pixels, width,
                              height, HeadlessUnpaintedPixel);
}

// Nothing ever waits: a budgeted timer tick moves the clock to its time, and otherwise the
// loop ends as if the quit message had come.
core::WaitResult Wait(int64_t deadlineUs) {
    HeadlessDesktop& d = Headless();
    if (d.AutoTimerTicks > 0 && deadlineUs >= 0) {
        --d.AutoTimerTicks;
        d.ClockTicks =
            std::max<LONGLONG>(d.ClockTicks, deadlineUs * (HeadlessClockFrequency / 1000000));
        return core::WaitResult::Woke;
    }
    ++d.IdleEnds;
    return core::WaitResult::Ended;
}

void DeliverPending() {}  // the test delivers its events itself

DWORD ChooseFile(HWND dialog, OPENFILENAMEA* ofn, std::string* path) {
    HeadlessOpenFileScript now = Headless().Script;
    if (now.Failure != 0) return now.Failure | 0x80000000u;
    HWND previous = GetForegroundWindow();
    core::SetForeground(dialog);
    core::CallDialogHook(dialog, WM_SHOWWINDOW, TRUE, 0);
    if (now.WhileOpen) now.WhileOpen(dialog, *ofn);
    core::SetForeground(previous);
    *path = now.FileName;
    return now.Accept ? 1 : 0;
}

}  // namespace native

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    HeadlessBox box{owner, text ? text : "", caption ? caption : "", type};
    Headless().Boxes.push_back(box);
    if (!Headless().Quiet) {
        fprintf(stderr, "%s: %s\n", box.Title.c_str(), box.Text.c_str());
        fflush(stderr);
    }
    if (!Headless().BoxHandler) return IDOK;
    // While the handler runs the box is a window of its own in front, owned by `owner`.
    HWND previous = GetForegroundWindow();
    HWND boxWindow = core::BeginDialog(owner, caption);
    core::SetForeground(boxWindow);
    int result = Headless().BoxHandler(box);
    core::EndDialog(boxWindow);
    core::SetForeground(previous);
    return result;
}

DWORD WINAPI GetVersion() {
    return Headless().Version;
}

int WINAPI GetSystemMetrics(int index) {
    auto it = Headless().Metrics.find(index);
    return it == Headless().Metrics.end() ? 0 : it->second;
}

HINSTANCE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    static int module;
    return moduleName != nullptr ? nullptr : reinterpret_cast<HINSTANCE>(&module);
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) return FALSE;
    frequency->QuadPart = HeadlessClockFrequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) return FALSE;
    count->QuadPart = Headless().ClockTicks;
    return TRUE;
}

// ---- What tests and tools steer -----------------------------------------------------------

void HeadlessAdvanceClockMs(LONGLONG milliseconds) {
    Headless().ClockTicks += milliseconds * (HeadlessClockFrequency / 1000);
}
void HeadlessSetFault(core::Call call, DWORD error) {
    Headless().Faults[call] = error;
}

void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType) {
    core::WindowRecord* w = core::LiveWindow(window);
    if (w == nullptr) return;
    Frame f = Decorations(*w);
    w->Minimized = sizeType == core::SizeMinimized;
    w->Maximized = sizeType == core::SizeMaximized;
    if (!w->Minimized) {
        w->Width = std::max(0, width) + 2 * f.X;
        w->Height = std::max(0, height) + 2 * f.Y + f.Top;
    }
    UpdateClientSize(*w);
    core::SendSize(*w, sizeType);
    if ((w = core::LiveWindow(window)) != nullptr) core::InvalidateAll(*w, true);
}

void HeadlessReset() {
    core::Reset();
    bool quiet = Headless().Quiet;
    Headless() = HeadlessDesktop{};
    Headless().Quiet = quiet;
}
