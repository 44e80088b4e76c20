// The Win32 rules the viewer relies on, checked against platform/win32.h alone. The same
// tests run on the headless desktop and, under Xvfb, on the GTK desktop; the only help they
// get from a backend is letting time pass and reading a client pixel (contract_shim.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/win32.h"
#include "tests/contract/contract_shim.h"

#ifdef DIB_PAL_COLORS
#error "bitmaps are drawn through their own colour table only"
#endif

namespace {

constexpr UINT Nested = 0x0401, Inner = 0x0402;
std::vector<UINT> seen;
int depth = 0, deepest = 0;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == Nested) SendMessageA(window, Inner, 0, 0);
    if (message == Inner) deepest = depth;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ++depth;
    LRESULT result = Proc(window, message, wParam, lParam);
    --depth;
    return result;
}

class Contract : public ::testing::Test {
   protected:
    void SetUp() override {
        static bool registered = [] {
            WNDCLASSA c{};
            c.lpfnWndProc = CountingProc;
            c.hInstance = GetModuleHandleA(nullptr);
            c.lpszClassName = "ContractClass";
            return RegisterClassA(&c) != 0;
        }();
        ASSERT_TRUE(registered);
        seen.clear();
    }
    void TearDown() override {
        for (HWND w : windows) DestroyWindow(w);
        MSG m;
        PostQuitMessage(0);
        while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    }
    // A shown window with a client area of the given size, painted and validated.
    HWND Shown(const char* title, int width, int height) {
        int outerWidth = width + 2 * GetSystemMetrics(SM_CXFRAME);
        int outerHeight =
            height + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
        HWND w = CreateWindowExA(0, "ContractClass", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, outerWidth, outerHeight, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        if (w == nullptr) return nullptr;
        windows.push_back(w);
        ShowWindow(w, SW_SHOWNORMAL);
        UpdateWindow(w);
        return w;
    }
    std::vector<HWND> windows;
};

UINT Next() {
    MSG m;
    if (GetMessageA(&m, nullptr, 0, 0) <= 0) return WM_QUIT;
    TranslateMessage(&m);
    DispatchMessageA(&m);
    return m.message;
}

TEST_F(Contract, ShowSizesAndUpdatePaintsSynchronouslyAndSendsReenter) {
    HWND w = Shown("Contract show", 120, 80);
    ASSERT_NE(w, nullptr);
    RECT client, update;
    ASSERT_TRUE(GetClientRect(w, &client));
    EXPECT_EQ(client.right, 120);
    EXPECT_EQ(client.bottom, 80);
    auto sent = [&](UINT m) { return std::find(seen.begin(), seen.end(), m) != seen.end(); };
    EXPECT_TRUE(sent(WM_SIZE));
    EXPECT_TRUE(sent(WM_PAINT));
    EXPECT_FALSE(GetUpdateRect(w, &update, FALSE)) << "BeginPaint validates";
    seen.clear();
    UpdateWindow(w);
    EXPECT_TRUE(seen.empty()) << "nothing left to paint";
    SendMessageA(w, Nested, 0, 0);
    EXPECT_EQ(deepest, 2) << "a send from inside the window procedure re-enters it";
    RECT part = {10, 10, 20, 30};
    InvalidateRect(w, &part, FALSE);
    InvalidateRect(w, nullptr, FALSE);
    ASSERT_TRUE(GetUpdateRect(w, &update, FALSE));
    EXPECT_EQ(update.right, 120);
    EXPECT_EQ(update.bottom, 80);
}

TEST_F(Contract, QuitComesBeforePaintAndPaintBeforeTimer) {
    HWND w = Shown("Contract order", 60, 40);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(SetTimer(w, 7, 1, nullptr), 7u);
    LetTimePass(5);
    InvalidateRect(w, nullptr, FALSE);
    PostQuitMessage(4);
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_EQ(Next(), UINT(WM_PAINT));
    EXPECT_EQ(Next(), UINT(WM_TIMER));
    // A period of 1 ms is honoured, not raised.
    int ticks = 0;
    for (int i = 0; i < 20; ++i) {
        LetTimePass(1);
        ticks += Next() == WM_TIMER;
    }
    EXPECT_EQ(ticks, 20);
    EXPECT_TRUE(KillTimer(w, 7));
    EXPECT_FALSE(KillTimer(w, 7));
}

TEST_F(Contract, InvalidateNullRepaintsEveryWindow) {
    HWND a = Shown("Contract a", 30, 20), b = Shown("Contract b", 30, 20);
    ASSERT_TRUE(a && b);
    EXPECT_FALSE(GetUpdateRect(a, nullptr, FALSE));
    EXPECT_TRUE(InvalidateRect(nullptr, nullptr, FALSE));
    EXPECT_TRUE(GetUpdateRect(a, nullptr, FALSE));
    EXPECT_TRUE(GetUpdateRect(b, nullptr, FALSE));
}

TEST_F(Contract, FailuresSetTheLastError) {
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), 1407u);  // ERROR_CANNOT_FIND_WND_CLASS
    WNDCLASSA again{};
    again.lpfnWndProc = Proc;
    again.lpszClassName = "contractclass";  // class names ignore case
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), 1410u);  // ERROR_CLASS_ALREADY_EXISTS
    EXPECT_EQ(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(99)), nullptr);
    EXPECT_EQ(GetLastError(), 1814u);  // ERROR_RESOURCE_NAME_NOT_FOUND
}

TEST_F(Contract, DestroyWindowSendsDestroyOnceAndTakesTimersAndMenu) {
    HWND w = Shown("Contract destroy", 40, 30);
    ASSERT_NE(w, nullptr);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(103));
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(SetMenu(w, menu));
    SetTimer(w, 3, 1, nullptr);
    seen.clear();
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), UINT(WM_DESTROY)), 1);
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), 1400u);  // ERROR_INVALID_WINDOW_HANDLE
    EXPECT_FALSE(KillTimer(w, 3));
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_EQ(GetDC(w), nullptr);
    windows.clear();
}

TEST_F(Contract, StaleForeignAndNullDeviceContextsAreRefused) {
    HWND w = Shown("Contract dc", 20, 20);
    ASSERT_NE(w, nullptr);
    HDC dc = GetDC(w);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ReleaseDC(w, dc), 1);
    RECT all = {0, 0, 20, 20};
    auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    int local = 0;
    for (HDC bad : {dc, reinterpret_cast<HDC>(&local), static_cast<HDC>(nullptr)}) {
        EXPECT_EQ(ReleaseDC(w, bad), 0);
        EXPECT_EQ(FillRect(bad, &all, black), 0);
        EXPECT_EQ(SelectPalette(bad, nullptr, FALSE), nullptr);
        EXPECT_EQ(RealizePalette(bad), UINT(-1));  // GDI_ERROR
    }
}

TEST_F(Contract, StockBrushesFillAndStay) {
    HWND w = Shown("Contract brushes", 10, 10);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i <= 5; ++i) EXPECT_NE(GetStockObject(i), nullptr) << i;
    EXPECT_EQ(GetStockObject(-1), nullptr);
    HDC dc = GetDC(w);
    RECT all = {0, 0, 10, 10};
    EXPECT_TRUE(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(0))));  // WHITE_BRUSH
    EXPECT_TRUE(DeleteObject(GetStockObject(0)));
    EXPECT_TRUE(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(5))));  // NULL_BRUSH
    RECT corner = {0, 0, 5, 5};
    EXPECT_TRUE(FillRect(dc, &corner, static_cast<HBRUSH>(GetStockObject(3))));  // DKGRAY_BRUSH
    ReleaseDC(w, dc);
    EXPECT_EQ(ClientPixel(w, "Contract brushes", 7, 7), 0xFFFFFFu);
    EXPECT_EQ(ClientPixel(w, "Contract brushes", 2, 2), 0x404040u);
}

TEST_F(Contract, BitmapsGoThroughTheirColourTableBottomUpOrTopDownClipped) {
    HWND w = Shown("Contract bitmap", 20, 12);
    ASSERT_NE(w, nullptr);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[3];
    } info = {{40, 4, 2, 1, 8, BI_RGB, 8, 0, 0, 3, 0},
              {{0x30, 0x20, 0x10, 0}, {0x33, 0x22, 0x11, 0}, {0xCC, 0xBB, 0xAA, 0}}};
    const BYTE bits[8] = {0, 1, 2, 1, /* second row in memory: */ 2, 2, 1, 0};
    HDC dc = GetDC(w);
    RECT all = {0, 0, 20, 12};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    auto* bitmap = reinterpret_cast<BITMAPINFO*>(&info);
    // Bottom-up, hanging over the left and bottom edges: only the top row (memory row 1)
    // lands on row 11, and columns 0..2 show source columns 1..3.
    EXPECT_EQ(SetDIBitsToDevice(dc, -1, 11, 4, 2, 0, 0, 0, 2, bits, bitmap, DIB_RGB_COLORS), 2);
    info.header.biHeight = -2;  // top-down: memory row 0 is the top
    EXPECT_EQ(SetDIBitsToDevice(dc, 10, 0, 4, 2, 0, 0, 0, 2, bits, bitmap, DIB_RGB_COLORS), 2);
    // Colours through the selected palette are not part of the subset.
    const BYTE white[4] = {2, 2, 2, 2};
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 4, 1, 0, 0, 0, 1, white, bitmap, 1), 0);
    ReleaseDC(w, dc);
    const char* t = "Contract bitmap";
    EXPECT_EQ(ClientPixel(w, t, 0, 11), 0xAABBCCu);
    EXPECT_EQ(ClientPixel(w, t, 1, 11), 0x112233u);
    EXPECT_EQ(ClientPixel(w, t, 2, 11), 0x102030u);
    EXPECT_EQ(ClientPixel(w, t, 3, 11), 0u);
    EXPECT_EQ(ClientPixel(w, t, 0, 10), 0u);
    EXPECT_EQ(ClientPixel(w, t, 10, 0), 0x102030u);
    EXPECT_EQ(ClientPixel(w, t, 12, 0), 0xAABBCCu);
    EXPECT_EQ(ClientPixel(w, t, 12, 1), 0x112233u);
    EXPECT_EQ(ClientPixel(w, t, 0, 0), 0u) << "the refused bitmap drew nothing";
}

TEST_F(Contract, PalettesAnimateLiveAndRefuseDeleted) {
    HWND w = Shown("Contract palette", 10, 10);
    ASSERT_NE(w, nullptr);
    struct {
        WORD version, count;
        PALETTEENTRY entries[2];
    } block = {0x300, 2, {{0, 0, 0, PC_RESERVED}, {0, 0, 0, PC_RESERVED}}};
    HPALETTE palette = CreatePalette(reinterpret_cast<LOGPALETTE*>(&block));
    ASSERT_NE(palette, nullptr);
    HDC dc = GetDC(w);
    EXPECT_NE(SelectPalette(dc, palette, FALSE), nullptr) << "the previous palette";
    EXPECT_EQ(RealizePalette(dc), 2u);
    PALETTEENTRY now[2] = {{9, 8, 7, PC_RESERVED}, {6, 5, 4, PC_RESERVED}};
    EXPECT_TRUE(AnimatePalette(palette, 0, 2, now));
    ReleaseDC(w, dc);
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_FALSE(AnimatePalette(palette, 0, 2, now));
    EXPECT_FALSE(DeleteObject(palette));
}

TEST_F(Contract, MenuBarTakesItsHeightFromTheClientArea) {
    int menuHeight = GetSystemMetrics(SM_CYMENU);
    HWND w = CreateWindowExA(
        0, "ContractClass", "Contract menu", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
        300 + 2 * GetSystemMetrics(SM_CXFRAME),
        80 + menuHeight + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION),
        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(w, nullptr);
    windows.push_back(w);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(103));
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(SetMenu(w, menu));
    ShowWindow(w, SW_SHOWNORMAL);
    RECT client;
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 300);  // wider than the menu bar needs
    EXPECT_EQ(client.bottom, 80);
}

}  // namespace

// A frame far larger than the desktop asks for a window to match: the window stops at the
// maximum tracking size, about the desktop's, and so does its client surface.
TEST_F(Contract, WindowsStopAtTheMaximumTrackingSize) {
    const int widest = GetSystemMetrics(SM_CXMAXTRACK), tallest = GetSystemMetrics(SM_CYMAXTRACK);
    ASSERT_GT(widest, 0);
    ASSERT_GT(tallest, 0);
    HWND w = Shown("Contract giant", 40000, 40000);
    ASSERT_NE(w, nullptr);
    RECT client;
    ASSERT_TRUE(GetClientRect(w, &client));
    EXPECT_GT(client.right, 0);
    EXPECT_LE(client.right, widest);
    EXPECT_LE(client.bottom, tallest);
}
