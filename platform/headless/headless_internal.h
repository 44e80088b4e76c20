// Shared records of the headless backend's files. Nothing outside platform/headless sees them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "platform/win32.h"

namespace headless {

// Win32 error codes the backend reports through GetLastError.
constexpr DWORD ErrorInvalidWindowHandle = 1400;
constexpr DWORD ErrorInvalidMenuHandle = 1401;
constexpr DWORD ErrorCannotFindWndClass = 1407;
constexpr DWORD ErrorClassAlreadyExists = 1410;
constexpr DWORD ErrorInvalidParameter = 87;
constexpr DWORD ErrorNotEnoughMemory = 8;
constexpr DWORD ErrorResourceNameNotFound = 1814;

constexpr DWORD WsCaption = 0x00C00000u;
constexpr DWORD WsThickFrame = 0x00040000u;
constexpr DWORD WsBorder = 0x00800000u;
constexpr DWORD WsDlgFrame = 0x00400000u;

struct WindowClass {
    std::string Name;
    WNDCLASSA Fields{};
    bool BuiltIn = false;
};

struct Window {
    uintptr_t Id = 0;
    std::string ClassName;  // as registered
    const WindowClass* Class = nullptr;
    WNDPROC Procedure = nullptr;
    std::string Text;
    std::vector<std::string> TextHistory;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;  // outer rectangle
    HWND Parent = nullptr;                    // parent (child windows) or owner (popups)
    HMENU Menu = nullptr;
    bool Visible = false;
    bool Maximized = false;
    bool Minimized = false;
    bool Destroyed = false;
    bool Sized = false;  // has had its first WM_SIZE
    int LastShowCommand = -1;
    int ClientWidth = 0, ClientHeight = 0;
    std::vector<uint32_t> Surface;  // ClientWidth x ClientHeight, row 0 at the top
    RECT Invalid{0, 0, 0, 0};       // bounding box of the update region; empty when valid
    bool ErasePending = false;
    int Paints = 0;
    int Draws = 0;
    std::map<int, int> Checks;  // dialog check boxes by control id
};

enum class ObjectKind { Palette, Brush };

struct GdiObject {
    uintptr_t Id = 0;
    ObjectKind Kind = ObjectKind::Brush;
    bool Stock = false;
    bool Deleted = false;
    uint32_t Colour = 0;  // brushes: 0x00RRGGBB
    bool NullBrush = false;
    std::vector<PALETTEENTRY> Entries;  // palettes
    int Animations = 0;
    int Realizations = 0;
};

struct DeviceContext {
    uintptr_t Id = 0;
    HWND Window = nullptr;
    HPALETTE Palette = nullptr;
    bool FromPaint = false;
    bool Released = false;
};

struct MenuRecord {
    uintptr_t Id = 0;
    int ResourceId = 0;
    bool Destroyed = false;
    HWND AttachedTo = nullptr;
};

// All state of the in-memory desktop.
struct Desktop {
    uintptr_t NextId = 0x10000;
    std::map<std::string, std::unique_ptr<WindowClass>> Classes;  // key: upper-case name
    std::map<uintptr_t, std::unique_ptr<Window>> Windows;
    std::vector<uintptr_t> WindowOrder;
    std::map<uintptr_t, std::unique_ptr<GdiObject>> Objects;
    std::map<uintptr_t, std::unique_ptr<DeviceContext>> Contexts;
    std::map<uintptr_t, std::unique_ptr<MenuRecord>> Menus;
    std::deque<MSG> Queue;
    bool QuitPosted = false;
    int QuitCode = 0;
    std::vector<HeadlessTimer> Timers;
    UINT_PTR NextTimerId = 0x7000;
    int AutoTimerTicks = 0;
    int IdleEnds = 0;
    std::function<bool()> IdleHandler;
    HWND Foreground = nullptr;
    std::vector<HeadlessMessage> MessageLog;
    bool LoggingMessages = true;
    HPALETTE DefaultPalette = nullptr;
    int MinimumWindowWidth = 0;
    std::map<HeadlessFault, DWORD> Faults;  // active faults and the error code they report
    DWORD LastError = 0;
    // The clock.
    LONGLONG ClockTicks = 1000000000;
    bool RealClock = false;
    // Last bitmap transfer.
    BITMAPINFOHEADER LastBitmapHeader{};
    std::vector<RGBQUAD> LastColourTable;
};

Desktop& Get();
uintptr_t NewId();

template <typename Handle>
Handle ToHandle(uintptr_t id) {
    return reinterpret_cast<Handle>(id);
}
template <typename Handle>
uintptr_t FromHandle(Handle h) {
    return reinterpret_cast<uintptr_t>(h);
}

// Live (not destroyed) window of a handle, or null (with the last error set).
Window* FindWindowRecord(HWND window);
// Any window record of a handle, destroyed or not.
Window* AnyWindowRecord(HWND window);
GdiObject* FindObject(HGDIOBJ object);
DeviceContext* FindContext(HDC dc);

// Consumes an injected fault: true (and the last error set) when the call must fail.
bool Fails(HeadlessFault fault);
void SetError(DWORD code);

// Delivers a message to a window's procedure now, recording it.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool sent);

// Recomputes the client size from the outer size and decorations, keeping the surface.
void UpdateClientSize(Window& w);
void InvalidateAll(Window& w, bool erase);
void SendSize(Window& w, WPARAM type);

void EnsureStockObjects();
void ResetWindows();
void ResetGdi();
void ResetDialogs();
void ResetSystem();

}  // namespace headless
