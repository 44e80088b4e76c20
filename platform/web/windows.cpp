// Native windows of the page: the first frame window is the canvas, sized to its client area
// (the menu bar lies above it and takes none of it), a static window is the page's progress
// line, and a dialog is drawn by the box or file chooser that makes it. Also the system's
// facts: the page is the screen, the clock is the page's.
#include <algorithm>
#include <vector>

#include "platform/core/surface_memory.h"
#include "platform/web/web_layer.h"
#include "resources/resource_tables.h"

namespace {

constexpr int ScreenWidth = 0, ScreenHeight = 1;  // SM_CXSCREEN, SM_CYSCREEN

HWND canvas = nullptr;

std::vector<uint32_t>& SurfaceOf(core::WindowRecord& w) {
    if (w.Native == nullptr) w.Native = std::make_shared<std::vector<uint32_t>>();
    return *static_cast<std::vector<uint32_t>*>(w.Native.get());
}

bool OnCanvas(const core::WindowRecord& w) {
    return w.Handle == canvas;
}

// The canvas takes the client area's size and shows the whole surface.
void PutCanvas(core::WindowRecord& w, bool shown) {
    kinaro_web_canvas(w.Pixels.Width, w.Pixels.Height, shown, (w.Style & WS_POPUP) != 0);
    native::Present(w, 0, 0, w.Pixels.Width, w.Pixels.Height, false);
}

}  // namespace

HWND web::CanvasWindow() {
    return canvas;
}

namespace native {

DWORD Refusal(core::Call) {
    return 0;
}

DWORD CreateWindow(core::WindowRecord& w) {
    if (w.Style & WS_CHILD) return core::ErrorInvalidParameter;
    if (w.Type == core::WindowKind::Dialog) return 0;
    if (w.X == CW_USEDEFAULT) w.X = w.Y = 0;
    if (w.Width == CW_USEDEFAULT) {
        w.Width = GetSystemMetrics(ScreenWidth) * 3 / 4;
        w.Height = GetSystemMetrics(ScreenHeight) * 3 / 4;
    }
    w.Width = std::max(0, w.Width);
    w.Height = std::max(0, w.Height);
    if (w.Type == core::WindowKind::Frame && canvas == nullptr) canvas = w.Handle;
    core::ResizeClient(w, w.Width, w.Height);
    SetText(w);
    return 0;
}

void DestroyWindow(core::WindowRecord& w) {
    if (w.Type == core::WindowKind::Static) kinaro_web_static(0, "");
    if (!OnCanvas(w)) return;
    kinaro_web_canvas(0, 0, 0, 0);
    kinaro_web_menu_shown(0);
    canvas = nullptr;
}

void ShowWindow(core::WindowRecord& w, int command) {
    bool shown = command != SW_HIDE;
    if (w.Type == core::WindowKind::Static) return kinaro_web_static(shown, w.Text.c_str());
    int oldWidth = w.ClientWidth, oldHeight = w.ClientHeight;
    bool resized = false;  // a resized surface is already on the canvas (ResizeSurface)
    if (command == SW_MAXIMIZE) {
        w.Maximized = true;
        w.Width = GetSystemMetrics(ScreenWidth);
        w.Height = GetSystemMetrics(ScreenHeight);
        resized = core::ResizeClient(w, w.Width, w.Height);
    }
    if (OnCanvas(w) && !resized) PutCanvas(w, shown);
    if (!shown) return;
    HWND window = w.Handle;
    core::SetForeground(window);
    core::WindowRecord* again = core::LiveWindow(window);
    if (again != nullptr &&
        (!again->Sized || oldWidth != again->ClientWidth || oldHeight != again->ClientHeight))
        core::SendSize(*again, w.Maximized ? core::SizeMaximized : core::SizeRestored);
}

void SetText(core::WindowRecord& w) {
    if (w.Type == core::WindowKind::Static && w.Visible) kinaro_web_static(1, w.Text.c_str());
    if (OnCanvas(w)) kinaro_web_title(w.Text.c_str());
}

void CreateMenu(core::MenuRecord&) {}
void DestroyMenu(core::MenuRecord&) {}

// The page has one menu bar, menu 103, shown while the canvas window has a menu.
void SetMenu(core::WindowRecord& w, core::MenuRecord*) {
    if (!OnCanvas(w)) return;
    static const bool built = [] {
        for (int p = 0; p < KinaroMenuPopupCount; ++p) {
            const MenuPopupDefinition& popup = KinaroMenu[p];
            kinaro_web_menu_popup(popup.Text, popup.IsHelpPopup);
            for (int i = 0; i < popup.ItemCount; ++i)
                kinaro_web_menu_item(popup.Items[i].Id, popup.Items[i].Text);
        }
        return true;
    }();
    kinaro_web_menu_shown(built && w.Menu != nullptr);
}

// The surface keeps what overlaps, the rest black; the canvas follows its size.
void ResizeSurface(core::WindowRecord& w, int width, int height) {
    w.Pixels.Layout = core::PixelLayout::Rgba;
    core::RemakeSurfaceMemory(SurfaceOf(w), w.Pixels, width, height,
                              core::SurfaceWord(w.Pixels, 0));
    if (OnCanvas(w) && w.Visible) PutCanvas(w, true);
}

void BeforeWrite(core::WindowRecord&, int, int, int, int) {}

// The surface holds the canvas's own pixels (R, G, B, 255): the page puts the rectangle from
// it as it is.
void Present(core::WindowRecord& w, int x, int y, int width, int height, bool bitmap) {
    const core::Surface& s = w.Pixels;
    if (!OnCanvas(w) || width <= 0 || height <= 0 || s.Pixels == nullptr) return;
    kinaro_web_present(s.Pixels, s.Stride, s.Height, x, y, width, height, bitmap);
    web::TakePageInput();
}

}  // namespace native

// A system that is not an old one (the top bit clear).
DWORD WINAPI GetVersion() {
    return 10;
}

// The page is the screen; a frame has no border or caption of its own, and the menu bar
// lies above the client area. A browser cannot tell how many buttons the mouse has: the
// two-button rules hold (the right button plays forward).
// The page scrolls, so a window may be larger than the page's area: the largest is what a
// canvas holds well (a client surface of 256 MB at 8192 x 8192), or the page where it is larger.
constexpr int LargestWindowSide = 8192;

int WINAPI GetSystemMetrics(int index) {
    if (index == ScreenWidth || index == ScreenHeight) return kinaro_web_screen(index);
    if (index == SM_CXMAXTRACK || index == SM_CYMAXTRACK)
        return std::max(LargestWindowSide, kinaro_web_screen(index == SM_CYMAXTRACK));
    return index == SM_CMOUSEBUTTONS ? 2 : 0;
}

HINSTANCE WINAPI GetModuleHandleA(LPCSTR) {
    static int module;
    return reinterpret_cast<HINSTANCE>(&module);
}

// Microseconds of the page's monotonic clock.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) return FALSE;
    count->QuadPart = static_cast<LONGLONG>(kinaro_web_now_ms() * 1000.0);
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) return FALSE;
    frequency->QuadPart = 1000000;
    return TRUE;
}
