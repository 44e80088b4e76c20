// The window procedure: the one place where the platform's messages enter the viewer. Input
// goes through GetEvent, which may change Mode; the animation timer is then started or
// stopped to match Mode and the command goes to DoImage. Ticks step the animation; paint
// and palette messages redraw; size messages take the new geometry.
#include "display/window_proc.h"

#include "playback/controller.h"
#include "playback/input_mapping.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

static void StopTimer() {
    if (State.TimerId == 0) return;
    State.TimerId = 0;
    KillTimer(State.MainWindow, AnimationTimerId);
}

// SetTimer restarts a running timer, so this is also a restart.
static void StartTimer() {
    State.TimerId = SetTimer(State.MainWindow, AnimationTimerId, 1, nullptr);
}

static void RealizePaletteOn(HWND window) {
    HDC context = GetDC(window);
    if (context == nullptr) return;
    SelectPalette(context, State.Palette, FALSE);
    RealizePalette(context);
    ReleaseDC(window, context);
}

static LRESULT OnInput(UINT message, WPARAM wParam, LPARAM lParam) {
    State.EventMessage = message;
    State.EventWParam = wParam;
    State.EventLParam = lParam;
    PlaybackCommand command = GetEvent();
    if (command == CmdQuit) {
        State.WindowOpen = 0;
        PostQuitMessage(0);
        StopTimer();
        return 0;
    }
    if (command == CmdNone) return 0;
    if (State.Mode != Stopped)
        StartTimer();
    else
        StopTimer();
    DoImage(command);
    return 0;
}

static LRESULT OnSize(LPARAM lParam) {
    int32_t width = LOWORD(lParam);
    int32_t height = HIWORD(lParam);
    State.WW = width;
    State.WR = width - 1;
    State.WH = height;
    State.WB = height - 1;
    State.WL = 0;
    State.WT = 0;
    // The paint that follows places the image anew and repaints the borders.
    InvalidateRect(State.MainWindow, nullptr, FALSE);
    return 0;
}

// True when `window` is the viewer window or a window it owns (the About box).
static bool BelongsToViewer(HWND window) {
    while (window != nullptr) {
        HWND parent = GetParent(window);
        if (parent == nullptr) break;
        window = parent;
    }
    return window != nullptr && window == State.MainWindow;
}

static LRESULT OnPaint() {
    RECT update;
    if (!GetUpdateRect(State.MainWindow, &update, FALSE)) return 0;
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr && BelongsToViewer(foreground) && State.Palette != nullptr)
        RealizePaletteOn(foreground);
    PAINTSTRUCT paint;
    State.PaintDC = BeginPaint(State.MainWindow, &paint);
    if (State.WindowOpen) DoImage(CmdRedraw);
    EndPaint(State.MainWindow, &paint);
    State.PaintDC = nullptr;
    return 0;
}

// WM_QUERYNEWPALETTE, and WM_ACTIVATEAPP on activation: realise the palette and redraw.
static bool OnPaletteQuery() {
    if (State.Palette == nullptr) return false;
    HWND foreground = GetForegroundWindow();
    if (foreground != nullptr) RealizePaletteOn(foreground);
    if (State.WindowOpen) DoImage(CmdRedraw);
    return true;
}

static LRESULT OnTick() {
    if (State.WindowOpen) DoImage(State.Mode);
    if (State.Mode == Stopped) StopTimer();
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
        case WM_CHAR:
        case WM_COMMAND:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP: return OnInput(message, wParam, lParam);
        case WM_SIZE: return OnSize(lParam);
        case WM_PAINT: return OnPaint();
        case WM_ACTIVATEAPP:
            if ((wParam & 0xFFFFFFFFu) != 0) OnPaletteQuery();
            return 0;
        case WM_QUERYNEWPALETTE: return OnPaletteQuery() ? 1 : 0;
        case WM_TIMER: return OnTick();
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

int EventLoop() {
    LogAt(0, "Entering Event Loop\n");
    // A mode from -loop or -cycle runs from the start, without any input.
    if (State.Mode != Stopped && State.TimerId == 0) StartTimer();
    MSG message;
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0) {
        // An error (-1) would come back on every call: ending the loop is the only way
        // not to spin on it.
        if (result == -1) break;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
