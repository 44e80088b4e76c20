// Checks of the GTK backend on a real X server (run by test_gtk_backend.sh under Xvfb):
// the order in which GetMessageA delivers, timers that tick at 1 ms without piling up,
// bitmaps that reach the screen bottom-up through their colour table and clipped, the client
// size, and the lifetime of a window. Prints "ok - ..." per check; exits 1 at the first
// failure.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {


void Check(bool condition, const std::string& what) {
    printf("%s - %s\n", condition ? "ok" : "FAIL", what.c_str());
    fflush(stdout);
    if (!condition) exit(1);
}

double NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

std::vector<UINT> seen;  // messages the window procedure got
int destroys = 0;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY) ++destroys;
    return DefWindowProcA(window, message, wParam, lParam);
}

// The next message for the window procedure, as the program's loop would dispatch it.
UINT Next() {
    MSG m;
    if (!GetMessageA(&m, nullptr, 0, 0)) return WM_QUIT;
    TranslateMessage(&m);
    DispatchMessageA(&m);
    return m.message;
}

// The colour of a client pixel as the X server has it.
unsigned long ScreenPixel(Display* display, Window client, int x, int y) {
    XImage* image = XGetImage(display, client, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return 0xFFFFFFFF;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

// The largest child of a top-level window: the client area.
Window ClientWindow(Display* display, const char* title) {
    Window root = DefaultRootWindow(display), parentOut, *tops = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parentOut, &tops, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XGetWindowAttributes(display, tops[i], &a) && a.map_state == IsViewable &&
            XFetchName(display, tops[i], &name) && name) {
            if (std::string(name) == title) {
                Window r, p, *children = nullptr;
                unsigned n = 0;
                long best = 0;
                XQueryTree(display, tops[i], &r, &p, &children, &n);
                for (unsigned c = 0; c < n; ++c) {
                    XWindowAttributes ca;
                    XGetWindowAttributes(display, children[c], &ca);
                    if ((long)ca.width * ca.height > best) {
                        best = (long)ca.width * ca.height;
                        found = children[c];
                    }
                }
                if (children) XFree(children);
            }
            XFree(name);
        }
    }
    if (tops) XFree(tops);
    return found;
}

}  // namespace

int main() {
    Check((GetVersion() & 0x80000000u) == 0, "GetVersion has its top bit clear");
    int buttons = GetSystemMetrics(SM_CMOUSEBUTTONS);
    Check(buttons >= 1 && buttons <= 32, "the pointer has " + std::to_string(buttons) + " buttons");
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    QueryPerformanceCounter(&b);
    Check(f.QuadPart > 0 && b.QuadPart >= a.QuadPart, "the performance counter is monotonic");

    WNDCLASSA c = {};
    c.lpfnWndProc = Proc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "CheckClass";
    Check(RegisterClassA(&c) != 0, "a class registers");
    Check(RegisterClassA(&c) == 0, "the same class does not register twice");
    const int menuHeight = GetSystemMetrics(SM_CYMENU);
    HWND window = CreateWindowExA(0, "CheckClass", "Backend Check", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 200, 120 + menuHeight, nullptr,
                                  nullptr, c.hInstance, nullptr);
    Check(window != nullptr, "a window is created");
    HMENU menu = LoadMenuA(c.hInstance, MAKEINTRESOURCEA(103));
    Check(menu != nullptr && SetMenu(window, menu), "menu 103 loads and attaches");
    seen.clear();
    ShowWindow(window, SW_SHOWDEFAULT);
    bool sized = false;
    for (UINT m : seen) sized |= m == WM_SIZE;
    Check(sized, "showing sends WM_SIZE before ShowWindow returns");
    RECT client;
    GetClientRect(window, &client);
    Check(client.right == 200 && client.bottom == 120,
          "the client area is the window less the menu bar (" + std::to_string(client.right) +
              "x" + std::to_string(client.bottom) + ")");
    RECT update;
    Check(GetUpdateRect(window, &update, FALSE) && update.right == 200 && update.bottom == 120,
          "a newly shown window has its whole client area to paint");
    seen.clear();
    UpdateWindow(window);
    Check(seen.size() == 1 && seen[0] == WM_PAINT, "UpdateWindow sends WM_PAINT at once");
    Check(!GetUpdateRect(window, &update, FALSE), "BeginPaint validated the window");

    // Order: a due paint comes before a due tick; ticks do not pile up.
    SetTimer(window, 7, 1, nullptr);
    struct timespec stall = {0, 50 * 1000000};
    nanosleep(&stall, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    seen.clear();
    Check(Next() == WM_PAINT, "a paint is delivered before a due tick");
    Check(Next() == WM_TIMER, "then the tick");
    double start = NowMs();
    int ticks = 0;
    while (NowMs() - start < 10.0)
        if (Next() == WM_TIMER) ++ticks;
    Check(ticks <= 15, "a timer late by 50 ms ticks on at its period, without a burst (" +
                           std::to_string(ticks) + " ticks in 10 ms)");
    start = NowMs();
    ticks = 0;
    while (NowMs() - start < 300.0)
        if (Next() == WM_TIMER) ++ticks;
    Check(ticks >= 150, "a 1 ms timer is honoured (" + std::to_string(ticks) + " ticks in 300 ms)");
    Check(KillTimer(window, 7) && !KillTimer(window, 7), "KillTimer ends the timer once");

    // A bottom-up bitmap through its colour table, hanging over the left and bottom edges.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[3];
    } info = {{40, 4, 2, 1, 8, BI_RGB, 8, 0, 0, 3, 0},
              {{0x30, 0x20, 0x10, 0}, {0x33, 0x22, 0x11, 0}, {0xCC, 0xBB, 0xAA, 0}}};
    const unsigned char bits[8] = {0, 1, 2, 1, /* top row: */ 2, 2, 1, 0};
    HDC dc = GetDC(window);
    RECT all = {0, 0, 200, 120};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    SetDIBitsToDevice(dc, -1, 119, 4, 2, 0, 0, 0, 2, bits, reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS);
    ReleaseDC(window, dc);
    Display* display = XOpenDisplay(nullptr);
    Check(display != nullptr, "a second connection to the display opens");
    Window area = ClientWindow(display, "Backend Check");
    Check(area != 0, "the client area has an X window of its own");
    // Only the top row (file row 1) lands at y 119; x 0..2 show source columns 1..3.
    unsigned long p0 = ScreenPixel(display, area, 0, 119), p1 = ScreenPixel(display, area, 1, 119),
                  p2 = ScreenPixel(display, area, 2, 119), p3 = ScreenPixel(display, area, 3, 119),
                  above = ScreenPixel(display, area, 0, 118);
    char line[160];
    snprintf(line, sizeof line,
             "the bitmap reached the screen bottom-up, through its colours, clipped "
             "(%06lx %06lx %06lx %06lx, above %06lx)", p0, p1, p2, p3, above);
    Check(p0 == 0xAABBCC && p1 == 0x112233 && p2 == 0x102030 && p3 == 0 && above == 0, line);

    seen.clear();
    destroys = 0;
    Check(DestroyWindow(window), "DestroyWindow succeeds");
    Check(destroys == 1, "WM_DESTROY was sent once");
    Check(!DestroyWindow(window) && !DestroyMenu(menu), "the window and its menu are gone");
    Check(GetDC(window) == nullptr, "a stale handle gives no device context");
    XCloseDisplay(display);
    return 0;
}
