// Window classes, windows, painting, the message queue and timers of the headless backend.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/headless/headless_internal.h"

namespace headless {

namespace {

std::string UpperCase(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsChild(const Window& w) { return (w.Style & WS_CHILD) != 0; }

bool RectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

void AddBuiltInClass(const char* name) {
    auto c = std::make_unique<WindowClass>();
    c->Name = name;
    c->Fields.lpfnWndProc = DefWindowProcA;
    c->BuiltIn = true;
    Get().Classes[UpperCase(name)] = std::move(c);
}

void AddBuiltInClasses() {
    AddBuiltInClass("Static");
    AddBuiltInClass("Button");
    AddBuiltInClass("#32770");
}

constexpr DWORD SizeRestored = 0;
constexpr DWORD SizeMinimized = 1;
constexpr DWORD SizeMaximized = 2;

void Decorations(const Window& w, int* frameX, int* frameY, int* top) {
    bool thick = (w.Style & WsThickFrame) != 0 && !IsChild(w);
    *frameX = thick ? GetSystemMetrics(SM_CXFRAME) : 0;
    *frameY = thick ? GetSystemMetrics(SM_CYFRAME) : 0;
    int caption = (w.Style & WsCaption) == WsCaption ? GetSystemMetrics(SM_CYCAPTION) : 0;
    int menu = (w.Menu != nullptr && !IsChild(w)) ? GetSystemMetrics(SM_CYMENU) : 0;
    *top = caption + menu;
}

// Moves the window to fill the screen (maximised) with its frame just off screen.
void Maximize(Window& w) {
    int fx, fy, top;
    Decorations(w, &fx, &fy, &top);
    w.X = -fx;
    w.Y = -fy;
    w.Width = GetSystemMetrics(0) + 2 * fx;
    w.Height = GetSystemMetrics(1) + 2 * fy;
    w.Maximized = true;
    w.Minimized = false;
}

void ActivateApp(bool active) {
    std::vector<HWND> targets;
    for (uintptr_t id : Get().WindowOrder) {
        Window& w = *Get().Windows[id];
        if (!w.Destroyed && w.Visible && !IsChild(w)) targets.push_back(ToHandle<HWND>(id));
    }
    for (HWND h : targets) Deliver(h, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0, true);
}

bool Matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && m.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return m.message >= filterMin && m.message <= filterMax;
}

LONGLONG TicksOfMs(UINT ms) { return static_cast<LONGLONG>(ms) * (HeadlessClockFrequency / 1000); }

LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

DWORD MessageTime() { return static_cast<DWORD>(Now() / (HeadlessClockFrequency / 1000)); }

Window* PaintableWindow(HWND filter) {
    for (uintptr_t id : Get().WindowOrder) {
        Window& w = *Get().Windows[id];
        if (w.Destroyed || !w.Visible || RectEmpty(w.Invalid)) continue;
        if (filter != nullptr && ToHandle<HWND>(id) != filter) continue;
        return &w;
    }
    return nullptr;
}

HeadlessTimer* DueTimer(HWND filter) {
    HeadlessTimer* best = nullptr;
    for (HeadlessTimer& t : Get().Timers) {
        if (filter != nullptr && t.Window != filter) continue;
        if (best == nullptr || t.NextDue < best->NextDue) best = &t;
    }
    return best;
}

HeadlessTimer* FindTimer(HWND window, UINT_PTR id) {
    for (HeadlessTimer& t : Get().Timers)
        if (t.Window == window && t.Id == id) return &t;
    return nullptr;
}

HeadlessWindowInfo InfoOf(const Window& w) {
    HeadlessWindowInfo i;
    i.Handle = ToHandle<HWND>(w.Id);
    i.ClassName = w.ClassName;
    i.Text = w.Text;
    i.TextHistory = w.TextHistory;
    i.Style = w.Style;
    i.ExStyle = w.ExStyle;
    i.X = w.X;
    i.Y = w.Y;
    i.Width = w.Width;
    i.Height = w.Height;
    i.ClientWidth = w.ClientWidth;
    i.ClientHeight = w.ClientHeight;
    i.Parent = w.Parent;
    i.Menu = w.Menu;
    i.Visible = w.Visible;
    i.Maximized = w.Maximized;
    i.Destroyed = w.Destroyed;
    i.LastShowCommand = w.LastShowCommand;
    i.Paints = w.Paints;
    i.Draws = w.Draws;
    return i;
}

}  // namespace

Window* AnyWindowRecord(HWND window) {
    auto it = Get().Windows.find(FromHandle(window));
    return it == Get().Windows.end() ? nullptr : it->second.get();
}

Window* FindWindowRecord(HWND window) {
    Window* w = AnyWindowRecord(window);
    if (w == nullptr || w->Destroyed) {
        SetError(ErrorInvalidWindowHandle);
        return nullptr;
    }
    return w;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool sent) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return 0;
    Desktop& d = Get();
    if (d.LoggingMessages && d.MessageLog.size() < 2000000)
        d.MessageLog.push_back({window, message, wParam, lParam, sent});
    WNDPROC procedure = w->Procedure;
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

void UpdateClientSize(Window& w) {
    int fx, fy, top;
    Decorations(w, &fx, &fy, &top);
    int width = w.Minimized ? 0 : std::max(0, w.Width - 2 * fx);
    int height = w.Minimized ? 0 : std::max(0, w.Height - 2 * fy - top);
    if (width == w.ClientWidth && height == w.ClientHeight) return;
    std::vector<uint32_t> surface(static_cast<size_t>(width) * height, HeadlessUnpaintedPixel);
    int keepW = std::min(width, w.ClientWidth), keepH = std::min(height, w.ClientHeight);
    for (int y = 0; y < keepH; ++y)
        std::copy_n(&w.Surface[static_cast<size_t>(y) * w.ClientWidth], keepW,
                    &surface[static_cast<size_t>(y) * width]);
    w.Surface.swap(surface);
    w.ClientWidth = width;
    w.ClientHeight = height;
}

void InvalidateAll(Window& w, bool erase) {
    w.Invalid = {0, 0, w.ClientWidth, w.ClientHeight};
    if (erase) w.ErasePending = true;
}

void SendSize(Window& w, WPARAM type) {
    w.Sized = true;
    Deliver(ToHandle<HWND>(w.Id), WM_SIZE, type,
            static_cast<LPARAM>((static_cast<DWORD>(w.ClientHeight) << 16) |
                                (static_cast<DWORD>(w.ClientWidth) & 0xFFFF)),
            true);
}

void ResetWindows() {
    Desktop& d = Get();
    d.Classes.clear();
    d.Windows.clear();
    d.WindowOrder.clear();
    d.Menus.clear();
    d.Queue.clear();
    d.QuitPosted = false;
    d.QuitCode = 0;
    d.Timers.clear();
    d.AutoTimerTicks = 0;
    d.IdleEnds = 0;
    d.IdleHandler = nullptr;
    d.Foreground = nullptr;
    d.MessageLog.clear();
    d.LoggingMessages = true;
    d.MinimumWindowWidth = 0;
    AddBuiltInClasses();
}

}  // namespace headless

using namespace headless;

// ---- Classes and windows ----------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (Get().Classes.empty()) AddBuiltInClasses();
    if (Fails(HeadlessFault::RegisterClass)) return 0;
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr) {
        SetError(ErrorInvalidParameter);
        return 0;
    }
    std::string key = UpperCase(windowClass->lpszClassName);
    if (Get().Classes.count(key)) {
        SetError(ErrorClassAlreadyExists);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->Name = windowClass->lpszClassName;
    c->Fields = *windowClass;
    c->Fields.lpszClassName = nullptr;  // the caller's text need not outlive the call
    c->Fields.lpszMenuName = nullptr;
    Get().Classes[key] = std::move(c);
    return static_cast<ATOM>(0xC000 + Get().Classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE, LPVOID) {
    Desktop& d = Get();
    if (d.Classes.empty()) AddBuiltInClasses();
    if (Fails(HeadlessFault::CreateWindow)) return nullptr;
    auto cls = d.Classes.find(UpperCase(className));
    if (className == nullptr || cls == d.Classes.end()) {
        SetError(ErrorCannotFindWndClass);
        return nullptr;
    }
    if (parent != nullptr && FindWindowRecord(parent) == nullptr) return nullptr;
    if ((style & WS_CHILD) && parent == nullptr) {
        SetError(ErrorInvalidParameter);
        return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->Id = NewId();
    w->ClassName = cls->second->Name;
    w->Class = cls->second.get();
    w->Procedure = cls->second->Fields.lpfnWndProc;
    w->Text = windowName ? windowName : "";
    w->TextHistory.push_back(w->Text);
    w->Style = style & ~WS_VISIBLE;
    w->ExStyle = exStyle;
    bool popup = (style & WS_POPUP) != 0;
    bool child = (style & WS_CHILD) != 0;
    w->X = x == CW_USEDEFAULT ? (popup || child ? 0 : 26) : x;
    w->Y = x == CW_USEDEFAULT ? (popup || child ? 0 : 26) : y;
    if (width == CW_USEDEFAULT) {
        width = popup || child ? 0 : GetSystemMetrics(0) * 3 / 4;
        height = popup || child ? 0 : GetSystemMetrics(1) * 3 / 4;
    }
    bool captioned = (style & WsCaption) == WsCaption && !child;
    if (captioned && width < d.MinimumWindowWidth) width = d.MinimumWindowWidth;
    w->Width = std::max(0, width);
    w->Height = std::max(0, height);
    w->Parent = parent;
    if (!child && menu != nullptr) {
        auto m = d.Menus.find(FromHandle(menu));
        if (m == d.Menus.end() || m->second->Destroyed) {
            SetError(ErrorInvalidMenuHandle);
            return nullptr;
        }
        w->Menu = menu;
        m->second->AttachedTo = ToHandle<HWND>(w->Id);
    }
    UpdateClientSize(*w);
    HWND handle = ToHandle<HWND>(w->Id);
    d.WindowOrder.push_back(w->Id);
    d.Windows[w->Id] = std::move(w);
    if (Deliver(handle, WM_CREATE, 0, 0, true) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return handle;
}

BOOL WINAPI ShowWindow(HWND window, int showCommand) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    bool wasVisible = w->Visible;
    w->LastShowCommand = showCommand;
    if (showCommand == SW_HIDE) {
        if (wasVisible) {
            w->Visible = false;
            w->Style &= ~WS_VISIBLE;
            Deliver(window, WM_SHOWWINDOW, FALSE, 0, true);
        }
        return wasVisible ? TRUE : FALSE;
    }
    int oldW = w->ClientWidth, oldH = w->ClientHeight;
    WPARAM sizeType = SizeRestored;
    if (showCommand == SW_MAXIMIZE) {
        Maximize(*w);
        sizeType = SizeMaximized;
    } else if (showCommand == 2 || showCommand == 6 || showCommand == 7) {
        w->Minimized = true;
        sizeType = SizeMinimized;
    } else {
        w->Minimized = false;
    }
    UpdateClientSize(*w);
    w->Visible = true;
    w->Style |= WS_VISIBLE;
    if (!wasVisible) Deliver(window, WM_SHOWWINDOW, TRUE, 0, true);
    bool activates = showCommand != 4 && showCommand != 7 && showCommand != 8 && !IsChild(*w);
    if (activates && GetForegroundWindow() != window) HeadlessSetForegroundWindow(window);
    w = AnyWindowRecord(window);
    if (w->Destroyed) return wasVisible ? TRUE : FALSE;
    if (!w->Sized || oldW != w->ClientWidth || oldH != w->ClientHeight) SendSize(*w, sizeType);
    if (!wasVisible) InvalidateAll(*w, true);
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND window) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    if (w->Visible && !RectEmpty(w->Invalid)) {
        Deliver(window, WM_PAINT, 0, 0, true);
    }
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND window) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    // Owned and child windows go first, as on Windows.
    std::vector<HWND> owned;
    for (uintptr_t id : Get().WindowOrder) {
        Window& o = *Get().Windows[id];
        if (!o.Destroyed && o.Parent == window) owned.push_back(ToHandle<HWND>(id));
    }
    for (HWND o : owned) DestroyWindow(o);
    w = AnyWindowRecord(window);
    if (w->Destroyed) return TRUE;  // destroyed while its owned windows went
    Deliver(window, WM_DESTROY, 0, 0, true);
    w = AnyWindowRecord(window);
    if (w->Destroyed) return TRUE;  // destroyed again from inside WM_DESTROY
    w->Destroyed = true;
    w->Visible = false;
    auto& timers = Get().Timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const HeadlessTimer& t) { return t.Window == window; }),
                 timers.end());
    // The attached menu goes with the window, as on Windows.
    if (w->Menu != nullptr) {
        HMENU menu = w->Menu;
        w->Menu = nullptr;
        DestroyMenu(menu);
    }
    if (Get().Foreground == window) Get().Foreground = nullptr;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, RECT* rect) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr || rect == nullptr) return FALSE;
    *rect = {0, 0, w->ClientWidth, w->ClientHeight};
    return TRUE;
}

// ---- Painting ---------------------------------------------------------------------------

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (window == nullptr) {
        for (uintptr_t id : Get().WindowOrder) {
            Window& w = *Get().Windows[id];
            if (!w.Destroyed) InvalidateAll(w, erase != FALSE);
        }
        return TRUE;
    }
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    RECT r = rect ? *rect : RECT{0, 0, w->ClientWidth, w->ClientHeight};
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, w->ClientWidth);
    r.bottom = std::min<LONG>(r.bottom, w->ClientHeight);
    if (!RectEmpty(r)) {
        if (RectEmpty(w->Invalid)) {
            w->Invalid = r;
        } else {
            w->Invalid.left = std::min(w->Invalid.left, r.left);
            w->Invalid.top = std::min(w->Invalid.top, r.top);
            w->Invalid.right = std::max(w->Invalid.right, r.right);
            w->Invalid.bottom = std::max(w->Invalid.bottom, r.bottom);
        }
        if (erase) w->ErasePending = true;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND window, RECT* rect, BOOL) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    bool empty = RectEmpty(w->Invalid);
    if (rect != nullptr) *rect = empty ? RECT{0, 0, 0, 0} : w->Invalid;
    return empty ? FALSE : TRUE;
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr || paint == nullptr) return nullptr;
    EnsureStockObjects();
    auto dc = std::make_unique<DeviceContext>();
    dc->Id = NewId();
    dc->Window = window;
    dc->Palette = Get().DefaultPalette;
    dc->FromPaint = true;
    HDC handle = ToHandle<HDC>(dc->Id);
    Get().Contexts[dc->Id] = std::move(dc);
    std::memset(paint, 0, sizeof *paint);
    paint->hdc = handle;
    paint->rcPaint = w->Invalid;
    paint->fErase = FALSE;
    if (w->ErasePending) {
        w->ErasePending = false;
        paint->fErase = Deliver(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(handle), 0,
                                true) == 0;
    }
    w = AnyWindowRecord(window);
    w->Invalid = {0, 0, 0, 0};
    ++w->Paints;
    return handle;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr) return FALSE;
    DeviceContext* dc = FindContext(paint->hdc);
    if (dc == nullptr || !dc->FromPaint || dc->Window != window) return FALSE;
    dc->Released = true;
    return TRUE;
}

HWND WINAPI GetForegroundWindow() {
    HWND f = Get().Foreground;
    Window* w = AnyWindowRecord(f);
    return (w != nullptr && !w->Destroyed) ? f : nullptr;
}

HWND WINAPI GetParent(HWND window) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return nullptr;
    if ((w->Style & (WS_CHILD | WS_POPUP)) == 0) return nullptr;
    Window* p = AnyWindowRecord(w->Parent);
    return (p != nullptr && !p->Destroyed) ? w->Parent : nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM lParam) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return 0;
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            w->Text = text ? text : "";
            w->TextHistory.push_back(w->Text);
            return TRUE;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(window, &ps);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            HBRUSH brush = w->Class ? w->Class->Fields.hbrBackground : nullptr;
            if (brush == nullptr) return 0;
            RECT all{0, 0, w->ClientWidth, w->ClientHeight};
            HDC dc = GetDC(window);
            if (dc == nullptr) return 0;
            FillRect(dc, &all, brush);
            ReleaseDC(window, dc);
            return 1;
        }
        default:
            return 0;
    }
}

// ---- Messages ---------------------------------------------------------------------------

BOOL WINAPI GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) return -1;
    Desktop& d = Get();
    int idleSpins = 0;
    for (;;) {
        for (auto it = d.Queue.begin(); it != d.Queue.end(); ++it) {
            if (!Matches(*it, window, filterMin, filterMax)) continue;
            *message = *it;
            d.Queue.erase(it);
            return message->message == WM_QUIT ? FALSE : TRUE;
        }
        if (d.QuitPosted) {
            d.QuitPosted = false;
            *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(d.QuitCode), 0, MessageTime(), {}};
            return FALSE;
        }
        if (Window* w = PaintableWindow(window)) {
            *message = MSG{ToHandle<HWND>(w->Id), WM_PAINT, 0, 0, MessageTime(), {}};
            return TRUE;
        }
        if (d.AutoTimerTicks > 0) {
            if (HeadlessTimer* t = DueTimer(window)) {
                --d.AutoTimerTicks;
                if (d.ClockTicks < t->NextDue) d.ClockTicks = t->NextDue;
                t->NextDue = d.ClockTicks + TicksOfMs(std::max<UINT>(t->Period, 1));
                *message = MSG{t->Window, WM_TIMER, t->Id, reinterpret_cast<LPARAM>(t->Procedure),
                               MessageTime(), {}};
                return TRUE;
            }
        }
        if (d.IdleHandler && idleSpins < 1000 && d.IdleHandler()) {
            bool anything = !d.Queue.empty() || d.QuitPosted || PaintableWindow(window) ||
                            (d.AutoTimerTicks > 0 && DueTimer(window));
            idleSpins = anything ? 0 : idleSpins + 1;
            continue;
        }
        ++d.IdleEnds;
        *message = MSG{nullptr, WM_QUIT, 0, 0, MessageTime(), {}};
        return FALSE;
    }
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN) return FALSE;
    WPARAM key = message->wParam;
    WPARAM ch = 0;
    if (key >= 'A' && key <= 'Z') ch = key - 'A' + 'a';
    else if ((key >= '0' && key <= '9') || key == ' ' || key == 27 || key == 13 || key == 8)
        ch = key;
    if (ch == 0) return FALSE;
    HeadlessPostMessage(message->hwnd, WM_CHAR, ch, message->lParam);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    if (message->message == WM_TIMER && message->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(message->lParam);
        proc(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    if (message->hwnd == nullptr) return 0;
    LRESULT result =
        Deliver(message->hwnd, message->message, message->wParam, message->lParam, false);
    // A window procedure that leaves its update region alone would be sent WM_PAINT for
    // ever; the headless desktop validates it so that a loop always ends.
    if (message->message == WM_PAINT) {
        if (Window* w = AnyWindowRecord(message->hwnd)) w->Invalid = {0, 0, 0, 0};
    }
    return result;
}

void WINAPI PostQuitMessage(int exitCode) {
    Get().QuitPosted = true;
    Get().QuitCode = exitCode;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam, true);
}

// ---- Timers -----------------------------------------------------------------------------

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    if (Fails(HeadlessFault::SetTimer)) return 0;
    if (window != nullptr && FindWindowRecord(window) == nullptr) return 0;
    Desktop& d = Get();
    if (window == nullptr) id = d.NextTimerId++;
    LONGLONG due = Now() + TicksOfMs(std::max<UINT>(elapseMs, 1));
    if (HeadlessTimer* t = FindTimer(window, id)) {
        t->Period = elapseMs;
        t->Procedure = proc;
        t->NextDue = due;
    } else {
        d.Timers.push_back({window, id, elapseMs, proc, due});
    }
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    auto& timers = Get().Timers;
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->Window == window && it->Id == id) {
            timers.erase(it);
            return TRUE;
        }
    }
    SetError(ErrorInvalidParameter);
    return FALSE;
}

// ---- Control ----------------------------------------------------------------------------

std::vector<HeadlessWindowInfo> HeadlessWindows() {
    std::vector<HeadlessWindowInfo> all;
    for (uintptr_t id : Get().WindowOrder) all.push_back(InfoOf(*Get().Windows[id]));
    return all;
}

bool HeadlessWindow(HWND window, HeadlessWindowInfo* info) {
    Window* w = AnyWindowRecord(window);
    if (w == nullptr) return false;
    if (info != nullptr) *info = InfoOf(*w);
    return true;
}

uint32_t HeadlessPixel(HWND window, int x, int y) {
    Window* w = AnyWindowRecord(window);
    if (w == nullptr || x < 0 || y < 0 || x >= w->ClientWidth || y >= w->ClientHeight)
        return HeadlessUnpaintedPixel;
    return w->Surface[static_cast<size_t>(y) * w->ClientWidth + x];
}

std::vector<uint32_t> HeadlessSurface(HWND window) {
    Window* w = AnyWindowRecord(window);
    return w ? w->Surface : std::vector<uint32_t>{};
}

void HeadlessClearSurface(HWND window, uint32_t colour) {
    if (Window* w = AnyWindowRecord(window)) std::fill(w->Surface.begin(), w->Surface.end(), colour);
}

void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return;
    int fx, fy, top;
    Decorations(*w, &fx, &fy, &top);
    w->Minimized = sizeType == SizeMinimized;
    w->Maximized = sizeType == SizeMaximized;
    if (!w->Minimized) {
        w->Width = std::max(0, width) + 2 * fx;
        w->Height = std::max(0, height) + 2 * fy + top;
    }
    UpdateClientSize(*w);
    SendSize(*w, sizeType);
    if (Window* again = FindWindowRecord(window)) InvalidateAll(*again, true);
}

void HeadlessSetForegroundWindow(HWND window) {
    Desktop& d = Get();
    HWND old = GetForegroundWindow();
    if (window != nullptr && FindWindowRecord(window) == nullptr) return;
    if (old == window) return;
    // The new foreground window is in place before the activation messages arrive, so a
    // window procedure that asks for it during them finds it.
    d.Foreground = window;
    if (window == nullptr) {
        ActivateApp(false);
        return;
    }
    if (old == nullptr) ActivateApp(true);
    if (GetForegroundWindow() == window) Deliver(window, WM_QUERYNEWPALETTE, 0, 0, true);
}

bool HeadlessHasUpdateRegion(HWND window) {
    Window* w = AnyWindowRecord(window);
    return w != nullptr && !w->Destroyed && !RectEmpty(w->Invalid);
}

void HeadlessSetMinimumWindowWidth(int width) { Get().MinimumWindowWidth = width; }

const std::vector<HeadlessMessage>& HeadlessMessageLog() { return Get().MessageLog; }
void HeadlessClearMessageLog() { Get().MessageLog.clear(); }

void HeadlessPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Get().Queue.push_back(MSG{window, message, wParam, lParam, MessageTime(), {}});
}

size_t HeadlessQueueLength() { return Get().Queue.size(); }

bool HeadlessQuitPosted(int* exitCode) {
    if (exitCode != nullptr) *exitCode = Get().QuitCode;
    return Get().QuitPosted;
}

int HeadlessPumpMessages() {
    Desktop& d = Get();
    int count = 0;
    while (!d.QuitPosted) {
        MSG m;
        if (!d.Queue.empty()) {
            m = d.Queue.front();
            d.Queue.pop_front();
            if (m.message == WM_QUIT) {
                d.QuitPosted = true;
                d.QuitCode = static_cast<int>(m.wParam);
                break;
            }
        } else if (Window* w = PaintableWindow(nullptr)) {
            m = MSG{ToHandle<HWND>(w->Id), WM_PAINT, 0, 0, MessageTime(), {}};
        } else {
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
        ++count;
    }
    return count;
}

void HeadlessAllowTimerTicks(int ticks) { Get().AutoTimerTicks = ticks; }
void HeadlessSetIdleHandler(std::function<bool()> handler) { Get().IdleHandler = std::move(handler); }
int HeadlessIdleEnds() { return Get().IdleEnds; }

const std::vector<HeadlessTimer>& HeadlessTimers() { return Get().Timers; }

bool HeadlessTimerLive(HWND window, UINT_PTR id) { return FindTimer(window, id) != nullptr; }

bool HeadlessFireTimer(HWND window, UINT_PTR id) {
    HeadlessTimer* t = FindTimer(window, id);
    if (t == nullptr) return false;
    t->NextDue = Now() + TicksOfMs(std::max<UINT>(t->Period, 1));
    MSG m{window, WM_TIMER, id, reinterpret_cast<LPARAM>(t->Procedure), MessageTime(), {}};
    DispatchMessageA(&m);
    return true;
}

bool HeadlessClassRegistered(const char* name, WNDCLASSA* fields) {
    auto it = Get().Classes.find(UpperCase(name));
    if (it == Get().Classes.end() || it->second->BuiltIn) return false;
    if (fields != nullptr) {
        *fields = it->second->Fields;
        fields->lpszClassName = it->second->Name.c_str();
    }
    return true;
}
