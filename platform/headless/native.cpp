// The in-memory desktop under the core: window geometry from the system metrics, client
// surfaces in memory, a clock that stands still until a test moves it, waits that never
// wait, scripted message boxes and file chooser, and the faults a test asks for.
#include <algorithm>
#include <cstdio>

#include "platform/core/core.h"
#include "platform/headless/desktop.h"

namespace headless {

Desktop& Get() {
    static Desktop desktop;
    return desktop;
}

namespace {

std::vector<uint32_t>& Pixels(core::WindowRecord& w) {
    if (w.Native == nullptr) w.Native = std::make_shared<std::vector<uint32_t>>();
    return *static_cast<std::vector<uint32_t>*>(w.Native.get());
}

constexpr DWORD WsCaption = 0x00C00000u, WsThickFrame = 0x00040000u;

void Decorations(const core::WindowRecord& w, int* frameX, int* frameY, int* top) {
    bool child = (w.Style & WS_CHILD) != 0;
    bool thick = (w.Style & WsThickFrame) != 0 && !child;
    *frameX = thick ? GetSystemMetrics(SM_CXFRAME) : 0;
    *frameY = thick ? GetSystemMetrics(SM_CYFRAME) : 0;
    int caption = (w.Style & WsCaption) == WsCaption ? GetSystemMetrics(SM_CYCAPTION) : 0;
    *top = caption + ((w.Menu != nullptr && !child) ? GetSystemMetrics(SM_CYMENU) : 0);
}

// The client size follows from the outer size and the decorations.
void UpdateClientSize(core::WindowRecord& w) {
    int fx, fy, top;
    Decorations(w, &fx, &fy, &top);
    core::ResizeClient(w, w.Minimized ? 0 : w.Width - 2 * fx,
                       w.Minimized ? 0 : w.Height - 2 * fy - top);
}

void Watched(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool sent) {
    if (Get().MessageLog.size() < 2000000)
        Get().MessageLog.push_back({window, message, wParam, lParam, sent});
}

void WatchedBitmap(const BITMAPINFOHEADER& header, const RGBQUAD* colours, size_t count) {
    Get().LastBitmapHeader = header;
    Get().LastColourTable.assign(colours, colours + count);
}

}  // namespace

void SetClientSize(core::WindowRecord& w, int width, int height, WPARAM type) {
    int fx, fy, top;
    Decorations(w, &fx, &fy, &top);
    w.Minimized = type == core::SizeMinimized;
    w.Maximized = type == core::SizeMaximized;
    if (!w.Minimized) {
        w.Width = std::max(0, width) + 2 * fx;
        w.Height = std::max(0, height) + 2 * fy + top;
    }
    UpdateClientSize(w);
}

const bool watching = (core::Watch() = {Watched, WatchedBitmap}, true);

void Reset() {
    core::Reset();
    bool quiet = Get().Quiet;
    Get() = Desktop{};
    Get().Quiet = quiet;
}

}  // namespace headless

using namespace headless;

namespace native {

DWORD Refusal(core::Call call) {
    auto it = Get().Faults.find(call);
    return it == Get().Faults.end() ? 0 : it->second;
}

DWORD CreateWindow(core::WindowRecord& w) {
    bool popup = (w.Style & WS_POPUP) != 0, child = (w.Style & WS_CHILD) != 0;
    if (w.X == CW_USEDEFAULT) w.X = w.Y = popup || child ? 0 : 26;
    if (w.Width == CW_USEDEFAULT) {
        w.Width = popup || child ? 0 : GetSystemMetrics(0) * 3 / 4;
        w.Height = popup || child ? 0 : GetSystemMetrics(1) * 3 / 4;
    }
    if ((w.Style & WsCaption) == WsCaption && !child)
        w.Width = std::max(w.Width, Get().MinimumWindowWidth);
    w.Width = std::max(0, w.Width);
    w.Height = std::max(0, w.Height);
    UpdateClientSize(w);
    return 0;
}

void DestroyWindow(core::WindowRecord&) {}
void SetText(core::WindowRecord&) {}
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
        int fx, fy, top;
        Decorations(w, &fx, &fy, &top);
        w.X = -fx;
        w.Y = -fy;
        w.Width = GetSystemMetrics(0) + 2 * fx;
        w.Height = GetSystemMetrics(1) + 2 * fy;
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
    std::vector<uint32_t>& old = Pixels(w);
    std::vector<uint32_t> surface(static_cast<size_t>(width) * height, HeadlessUnpaintedPixel);
    int keepWidth = std::min(width, w.Pixels.Width), keepHeight = std::min(height, w.Pixels.Height);
    for (int y = 0; y < keepHeight; ++y)
        std::copy_n(&old[static_cast<size_t>(y) * w.Pixels.Width], keepWidth,
                    &surface[static_cast<size_t>(y) * width]);
    old.swap(surface);
    w.Pixels = {old.empty() ? nullptr : old.data(), width, height, width};
}

// Nothing ever waits: a budgeted timer tick moves the clock to its time, the idle handler may
// post something, and otherwise the loop ends as if the quit message had come.
core::WaitResult Wait(int64_t deadlineUs) {
    Desktop& d = Get();
    if (d.AutoTimerTicks > 0 && deadlineUs >= 0) {
        --d.AutoTimerTicks;
        d.ClockTicks =
            std::max<LONGLONG>(d.ClockTicks, deadlineUs * (HeadlessClockFrequency / 1000000));
        return core::WaitResult::Woke;
    }
    if (d.IdleHandler && d.IdleSpins < 1000 && d.IdleHandler()) {
        d.IdleSpins = core::QueueLength() > 0 ? 0 : d.IdleSpins + 1;
        return core::WaitResult::Woke;
    }
    d.IdleSpins = 0;
    ++d.IdleEnds;
    return core::WaitResult::Ended;
}

DWORD ChooseFile(HWND dialog, OPENFILENAMEA* ofn, std::string* path) {
    std::string filter;
    // Pairs of zero-terminated texts, ended by an empty one; bounded for safety.
    for (size_t i = 0; ofn->lpstrFilter != nullptr && i < 4096; ++i) {
        if (ofn->lpstrFilter[i] == '\0' && i > 0 && ofn->lpstrFilter[i - 1] == '\0') break;
        filter += ofn->lpstrFilter[i];
    }
    bool othersZero = ofn->lpstrCustomFilter == nullptr && ofn->nMaxCustFilter == 0 &&
                      ofn->lpstrFileTitle == nullptr && ofn->nMaxFileTitle == 0 &&
                      ofn->lpstrInitialDir == nullptr && ofn->nFileOffset == 0 &&
                      ofn->nFileExtension == 0 && ofn->lCustData == 0;
    uintptr_t name = reinterpret_cast<uintptr_t>(ofn->lpTemplateName);
    HeadlessOpenFileCall call{ofn->lStructSize,
                              ofn->hwndOwner,
                              ofn->hInstance,
                              filter,
                              ofn->nFilterIndex,
                              ofn->nMaxFile,
                              ofn->lpstrTitle ? ofn->lpstrTitle : "",
                              ofn->Flags,
                              ofn->lpstrDefExt ? ofn->lpstrDefExt : "",
                              ofn->lpfnHook != nullptr,
                              IS_INTRESOURCE(ofn->lpTemplateName) ? name : 0,
                              othersZero};
    Get().Calls.push_back(call);
    HeadlessOpenFileScript now = Get().Script;
    if (now.Failure != 0) return now.Failure | 0x80000000u;
    HWND previous = GetForegroundWindow();
    core::SetForeground(dialog);
    core::CallDialogHook(dialog, WM_SHOWWINDOW, TRUE, 0);
    if (now.WhileOpen) now.WhileOpen(dialog);
    core::SetForeground(previous);
    *path = now.FileName;
    return now.Accept ? 1 : 0;
}

}  // namespace native

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    HeadlessBox box{owner, text ? text : "", caption ? caption : "", type};
    Get().Boxes.push_back(box);
    if (!Get().Quiet) {
        fprintf(stderr, "%s: %s\n", box.Title.c_str(), box.Text.c_str());
        fflush(stderr);
    }
    if (!Get().BoxHandler) return IDOK;
    // While the handler runs the box is a window of its own in front, owned by `owner`.
    HWND previous = GetForegroundWindow();
    HWND boxWindow = core::BeginDialog(owner, caption);
    core::SetForeground(boxWindow);
    int result = Get().BoxHandler(box);
    core::EndDialog(boxWindow);
    core::SetForeground(previous);
    return result;
}

DWORD WINAPI GetVersion() {
    return Get().Version;
}

int WINAPI GetSystemMetrics(int index) {
    auto it = Get().Metrics.find(index);
    return it == Get().Metrics.end() ? 0 : it->second;
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
    count->QuadPart = Get().ClockTicks;
    return TRUE;
}
