// Window classes, windows, update regions and painting, activation, menus and the
// resources that go with windows.
#include <strings.h>

#include <algorithm>
#include <deque>

#include "platform/core/core.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

namespace core {
namespace {

std::deque<WindowClass> classes;  // window records point into it
HWND foreground = nullptr;

void ActivateApp(bool active) {
    std::vector<HWND> targets;
    for (HWND h : WindowsInOrder()) {
        WindowRecord* w = AnyWindow(h);
        if (w->Alive && w->Visible && !(w->Style & WS_CHILD)) targets.push_back(h);
    }
    for (HWND h : targets) Deliver(h, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
}

int ResourceNumber(LPCSTR name) {
    return (name != nullptr && IS_INTRESOURCE(name)) ? LOWORD(name) : -1;
}

// Icons and cursors are shared resources: one handle each for the life of the process.
int icon, arrow;

}  // namespace

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

void Unite(RECT& into, const RECT& r) {
    if (Empty(r)) return;
    into = Empty(into) ? r
                       : RECT{std::min(into.left, r.left), std::min(into.top, r.top),
                              std::max(into.right, r.right), std::max(into.bottom, r.bottom)};
}

WindowClass* FindClass(const char* name) {
    if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
    if (classes.empty()) {
        // The system's own classes: progress popups and dialog boxes.
        for (const char* builtIn : {"Static", "#32770"}) {
            classes.push_back({builtIn, WNDCLASSA{}, true});
            classes.back().Fields.lpfnWndProc = DefWindowProcA;
        }
    }
    for (WindowClass& c : classes)
        if (strcasecmp(c.Name.c_str(), name) == 0) return &c;
    return nullptr;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return 0;
    if (WatchDelivered != nullptr) WatchDelivered(window, message, wParam, lParam);
    return w->Class->Fields.lpfnWndProc(window, message, wParam, lParam);
}

bool ResizeClient(WindowRecord& w, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    int oldWidth = w.ClientWidth, oldHeight = w.ClientHeight;
    if (w.Pixels.Pixels != nullptr && width == oldWidth && height == oldHeight) return false;
    native::ResizeSurface(w, width, height);
    w.ClientWidth = width;
    w.ClientHeight = height;
    if (w.Sized) {
        Unite(w.Update, RECT{oldWidth, 0, width, height});
        Unite(w.Update, RECT{0, oldHeight, width, height});
    }
    return true;
}

void SendSize(WindowRecord& w, WPARAM type) {
    w.Sized = true;
    Deliver(w.Handle, WM_SIZE, type,
            static_cast<LPARAM>((static_cast<DWORD>(w.ClientHeight & 0xFFFF) << 16) |
                                (static_cast<DWORD>(w.ClientWidth) & 0xFFFF)));
}

void InvalidateAll(WindowRecord& w, bool erase) {
    w.Update = {0, 0, w.ClientWidth, w.ClientHeight};
    if (erase) w.ErasePending = true;
}

void SetForeground(HWND window) {
    HWND old = GetForegroundWindow();
    if (window != nullptr && LiveWindow(window) == nullptr) return;
    if (old == window) return;
    // The new foreground window is in place before the activation messages arrive, so a
    // window procedure that asks for it during them finds it.
    foreground = window;
    if (window == nullptr) return ActivateApp(false);
    if (old == nullptr) ActivateApp(true);
    if (GetForegroundWindow() == window) Deliver(window, WM_QUERYNEWPALETTE, 0, 0);
}

bool AcceptsInput(const WindowRecord& w) {
    return w.Alive && !w.Destroying && w.DisabledCount == 0;
}

HWND BeginDialog(HWND owner, const char* title) {
    HWND dialog =
        CreateWindowExA(0, "#32770", title, WS_POPUP, 0, 0, 0, 0, owner, nullptr, nullptr, nullptr);
    WindowRecord* w = AnyWindow(dialog);
    if (w == nullptr) return nullptr;
    w->Visible = true;
    if (WindowRecord* o = LiveWindow(owner)) ++o->DisabledCount;
    return dialog;
}

void EndDialog(HWND dialog) {
    WindowRecord* w = AnyWindow(dialog);
    if (w == nullptr) return;
    if (WindowRecord* o = AnyWindow(w->Parent); o != nullptr && o->DisabledCount > 0)
        --o->DisabledCount;
    DestroyWindow(dialog);
}

void ResetWindows() {
    classes.clear();
    foreground = nullptr;
}

}  // namespace core

using namespace core;

// ---- Classes and windows ----------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (Refused(Call::RegisterClass)) return 0;
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        IS_INTRESOURCE(windowClass->lpszClassName) || windowClass->lpfnWndProc == nullptr)
        return Fail<ATOM>(ErrorInvalidParameter);
    if (FindClass(windowClass->lpszClassName) != nullptr)
        return Fail<ATOM>(ErrorClassAlreadyExists);
    classes.push_back({windowClass->lpszClassName, *windowClass});
    // The caller's texts need not outlive the call.
    classes.back().Fields.lpszClassName = classes.back().Fields.lpszMenuName = nullptr;
    return static_cast<ATOM>(0xC000 + classes.size());
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
    if (Refused(Call::CreateWindow)) return nullptr;
    const WindowClass* windowClass = FindClass(className);
    if (windowClass == nullptr) return Fail<HWND>(ErrorCannotFindWndClass);
    if (parent != nullptr && LiveWindow(parent) == nullptr) return nullptr;
    bool child = (style & WS_CHILD) != 0;
    MenuRecord* m = child ? nullptr : Find<MenuRecord>(menu);
    if ((child && parent == nullptr) || (m == nullptr && !child && menu != nullptr))
        return Fail<HWND>(child ? ErrorInvalidParameter : ErrorInvalidMenuHandle);
    auto [w, handle] = Add<WindowRecord>();
    w->Class = windowClass;
    w->Type = !windowClass->BuiltIn           ? WindowKind::Frame
              : windowClass->Name == "Static" ? WindowKind::Static
                                              : WindowKind::Dialog;
    w->Text = windowName != nullptr ? windowName : "";
    w->Style = style & ~WS_VISIBLE;
    w->Parent = parent;
    w->X = x;
    w->Y = y;
    // An overlapped or sizable window is never larger than the maximum tracking size, which
    // is about the desktop's: a frame larger than that is drawn clipped.
    if (((style & WS_THICKFRAME) != 0 || (style & (WS_POPUP | WS_CHILD)) == 0) &&
        width != CW_USEDEFAULT) {
        const int widest = GetSystemMetrics(SM_CXMAXTRACK),
                  tallest = GetSystemMetrics(SM_CYMAXTRACK);
        if (widest > 0) width = std::min(width, widest);
        if (tallest > 0) height = std::min(height, tallest);
    }
    w->Width = width;
    w->Height = height;
    if (m != nullptr) {
        w->Menu = menu;
        m->AttachedTo = w->Handle;
    }
    HWND window = w->Handle;
    if (DWORD error = native::CreateWindow(*w)) {
        w->Alive = false;
        return Fail<HWND>(error);
    }
    if (Deliver(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return LiveWindow(window) != nullptr ? window : nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int showCommand) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return FALSE;
    BOOL wasVisible = w->Visible ? TRUE : FALSE;
    w->LastShowCommand = showCommand;
    w->Visible = showCommand != SW_HIDE;
    if (w->Visible != (wasVisible != FALSE)) {
        w->Style = w->Visible ? (w->Style | WS_VISIBLE) : (w->Style & ~WS_VISIBLE);
        Deliver(window, WM_SHOWWINDOW, w->Visible ? TRUE : FALSE, 0);
    }
    if ((w = LiveWindow(window)) == nullptr) return wasVisible;
    native::ShowWindow(*w, showCommand);
    // A window shown for the first time has its whole client area to paint.
    if ((w = LiveWindow(window)) != nullptr && w->Visible && !w->EverShown) {
        w->EverShown = true;
        InvalidateAll(*w, true);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return FALSE;
    if (w->Visible && !Empty(w->Update)) Deliver(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND window) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr || w->Destroying) return FALSE;
    w->Destroying = true;
    // Owned and child windows go first, as on Windows.
    for (HWND h : std::vector<HWND>(WindowsInOrder()))
        if (AnyWindow(h)->Alive && AnyWindow(h)->Parent == window) DestroyWindow(h);
    Deliver(window, WM_DESTROY, 0, 0);
    w = AnyWindow(window);
    w->Alive = false;
    w->Visible = false;
    ForgetTimers(window);
    // The attached menu goes with the window, as on Windows.
    if (w->Menu != nullptr) DestroyMenu(w->Menu);
    native::DestroyWindow(*w);
    if (foreground == window) foreground = nullptr;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, RECT* rect) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr || rect == nullptr) return FALSE;
    *rect = {0, 0, w->ClientWidth, w->ClientHeight};
    return TRUE;
}

// ---- Update regions and painting --------------------------------------------------------

BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    if (window == nullptr) {
        // Every window is to be repainted whole.
        for (HWND h : WindowsInOrder())
            if (AnyWindow(h)->Alive) InvalidateAll(*AnyWindow(h), erase != FALSE);
        return TRUE;
    }
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return FALSE;
    RECT r = rect != nullptr ? *rect : RECT{0, 0, w->ClientWidth, w->ClientHeight};
    r = {std::max<LONG>(r.left, 0), std::max<LONG>(r.top, 0),
         std::min<LONG>(r.right, w->ClientWidth), std::min<LONG>(r.bottom, w->ClientHeight)};
    if (!Empty(r)) {
        Unite(w->Update, r);
        if (erase) w->ErasePending = true;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND window, RECT* rect, BOOL) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return FALSE;
    bool empty = Empty(w->Update);
    if (rect != nullptr) *rect = empty ? RECT{0, 0, 0, 0} : w->Update;
    return empty ? FALSE : TRUE;
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr || paint == nullptr) return nullptr;
    HDC dc = GetDC(window);
    if (dc == nullptr) return nullptr;
    Find<DeviceContextRecord>(dc)->FromPaint = true;
    *paint = PAINTSTRUCT{dc, FALSE, w->Update, FALSE, FALSE, {}};
    if (w->ErasePending) {
        w->ErasePending = false;
        paint->fErase = Deliver(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    }
    if ((w = LiveWindow(window)) != nullptr) {
        w->Update = {0, 0, 0, 0};
        ++w->Paints;
    }
    return dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    auto* dc = paint != nullptr ? Live<DeviceContextRecord>(paint->hdc) : nullptr;
    if (dc == nullptr || !dc->FromPaint || dc->Window != window) return FALSE;
    FreeObject(paint->hdc);
    return TRUE;
}

HWND WINAPI GetForegroundWindow() {
    WindowRecord* w = AnyWindow(foreground);
    return (w != nullptr && w->Alive) ? foreground : nullptr;
}

HWND WINAPI GetParent(HWND window) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr || (w->Style & (WS_CHILD | WS_POPUP)) == 0) return nullptr;
    WindowRecord* p = AnyWindow(w->Parent);
    return (p != nullptr && p->Alive) ? w->Parent : nullptr;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return 0;
    switch (message) {
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            w->Text = text ? text : "";
            native::SetText(*w);
            return TRUE;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(window, &ps);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            HBRUSH brush = w->Class->Fields.hbrBackground;
            RECT all{0, 0, w->ClientWidth, w->ClientHeight};
            return brush != nullptr && FillRect(reinterpret_cast<HDC>(wParam), &all, brush);
        }
        default: return 0;
    }
}

// ---- Menus and resources ----------------------------------------------------------------

HMENU WINAPI LoadMenuA(HINSTANCE, LPCSTR name) {
    if (Refused(Call::LoadMenu)) return nullptr;
    if (ResourceNumber(name) != IDM_KINARO || KinaroMenuPopupCount == 0)
        return Fail<HMENU>(ErrorResourceNameNotFound);
    auto [m, handle] = Add<MenuRecord>();
    m->ResourceId = IDM_KINARO;
    m->Handle = static_cast<HMENU>(handle);
    native::CreateMenu(*m);
    return static_cast<HMENU>(handle);
}

BOOL WINAPI SetMenu(HWND window, HMENU menu) {
    WindowRecord* w = LiveWindow(window);
    if (w == nullptr) return FALSE;
    if (w->Style & WS_CHILD) return Fail(ErrorInvalidParameter);
    MenuRecord* m = nullptr;
    if (menu != nullptr && (m = Live<MenuRecord>(menu, ErrorInvalidMenuHandle)) == nullptr)
        return FALSE;
    MenuRecord* previous = w->Menu != menu ? Find<MenuRecord>(w->Menu) : nullptr;
    if (previous != nullptr) previous->AttachedTo = nullptr;
    w->Menu = menu;
    if (m != nullptr) m->AttachedTo = window;
    native::SetMenu(*w, previous);
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    auto* m = Live<MenuRecord>(menu, ErrorInvalidMenuHandle);
    if (m == nullptr) return FALSE;
    if (WindowRecord* w = AnyWindow(m->AttachedTo); w != nullptr && w->Menu == menu)
        w->Menu = nullptr;
    native::DestroyMenu(*m);
    FreeObject(menu);
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    if (ResourceNumber(name) != IDI_KINARO) return Fail<HICON>(ErrorResourceNameNotFound);
    return reinterpret_cast<HICON>(&icon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || ResourceNumber(name) != 32512)
        return Fail<HCURSOR>(ErrorResourceNameNotFound);
    return reinterpret_cast<HCURSOR>(&arrow);
}
