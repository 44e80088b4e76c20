// What the in-memory desktop adds to the shared rules (tests/contract): the exact order of
// the messages it sends, budgeted timer ticks, observable palettes, scripted dialogs.
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"

namespace {

std::vector<UINT> received;
HWND foregroundWhenActivated = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back(message);
    if (message == WM_ACTIVATEAPP) foregroundWhenActivated = GetForegroundWindow();
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class HeadlessBackendTest : public ViewerTest {
   protected:
    void SetUp() override {
        ViewerTest::SetUp();
        received.clear();
        WNDCLASSA c{};
        c.lpfnWndProc = RecordingProc;
        c.lpszClassName = "TestClass";
        ASSERT_NE(RegisterClassA(&c), 0);
    }
    HWND MakeWindow(int w, int h, DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateWindowExA(0, "TestClass", "t", style, CW_USEDEFAULT, CW_USEDEFAULT, w, h,
                               nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(HeadlessBackendTest, ClientAreaIsOuterSizeLessFrameCaptionAndMenu) {
    int fx = GetSystemMetrics(SM_CXFRAME), fy = GetSystemMetrics(SM_CYFRAME);
    int cap = GetSystemMetrics(SM_CYCAPTION), menu = GetSystemMetrics(SM_CYMENU);
    HWND w = MakeWindow(64 + 2 * fx, 48 + 2 * fy + cap + menu);
    RECT r;
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 64);
    EXPECT_EQ(r.bottom, 48 + menu);  // no menu yet
    HMENU m = LoadMenuA(nullptr, MAKEINTRESOURCEA(IDM_KINARO));
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(SetMenu(w, m));
    GetClientRect(w, &r);
    EXPECT_EQ(r.bottom, 48);
    EXPECT_EQ(LoadMenuA(nullptr, MAKEINTRESOURCEA(99)), nullptr);
}

TEST_F(HeadlessBackendTest, ShowAndUpdateDeliverSizeActivationPaletteAndPaintSynchronously) {
    HWND w = MakeWindow(100, 100);
    received.clear();
    ShowWindow(w, SW_SHOWDEFAULT);
    UpdateWindow(w);
    std::vector<UINT> expected = {WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_QUERYNEWPALETTE,
                                  WM_SIZE,       WM_PAINT,       WM_ERASEBKGND};
    EXPECT_EQ(received, expected);
    EXPECT_EQ(GetForegroundWindow(), w);
    EXPECT_EQ(foregroundWhenActivated, w);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    received.clear();
    UpdateWindow(w);  // nothing left to paint
    EXPECT_TRUE(received.empty());
}

TEST_F(HeadlessBackendTest, FillRectClipsAndPalettesAnimateOnlyReservedEntries) {
    HWND w = MakeWindow(0, 0, WS_POPUP);
    HeadlessSetClientSize(w, 3, 2);
    HDC dc = GetDC(w);
    RECT r;
    SetRect(&r, 1, -5, 10, 1);
    EXPECT_TRUE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_EQ(HeadlessPixel(w, 0, 0), HeadlessUnpaintedPixel);
    EXPECT_EQ(HeadlessPixel(w, 1, 0), 0u);
    EXPECT_EQ(HeadlessPixel(w, 2, 0), 0u);
    EXPECT_EQ(HeadlessPixel(w, 2, 1), HeadlessUnpaintedPixel);

    struct {
        WORD version, count;
        PALETTEENTRY e[2];
    } lp{0x300, 2, {{0, 0, 0, PC_RESERVED}, {0, 0, 0, 0}}};
    HPALETTE p = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    ASSERT_NE(p, nullptr);
    SelectPalette(dc, p, FALSE);
    EXPECT_EQ(RealizePalette(dc), 2u);
    PALETTEENTRY now[2] = {{9, 8, 7, PC_RESERVED}, {6, 5, 4, PC_RESERVED}};
    EXPECT_TRUE(AnimatePalette(p, 0, 2, now));
    const std::vector<PALETTEENTRY>& entries = core::Find<core::PaletteRecord>(p)->Entries;
    EXPECT_EQ(entries[0].peRed, 9);
    EXPECT_EQ(entries[1].peRed, 0);  // not reserved: unchanged
    ReleaseDC(w, dc);
    EXPECT_TRUE(DeleteObject(p));
    EXPECT_EQ(core::Find<core::PaletteRecord>(p), nullptr);
    HeadlessSetFault(core::Call::AnimatePalette, 6);
    EXPECT_FALSE(AnimatePalette(p, 0, 1, now));
    EXPECT_EQ(GetLastError(), 6u);
}

TEST_F(HeadlessBackendTest, MessageLoopDeliversPostedPaintsQuitAndBudgetedTicks) {
    HWND w = MakeWindow(50, 50);
    ShowWindow(w, SW_SHOW);  // leaves the window to be painted
    SetTimer(w, 7, 5, nullptr);
    core::Post(w, WM_KEYDOWN, 'Q', 0, 'q');  // a key press that makes a character
    Headless().AutoTimerTicks = 2;
    LONGLONG start = Headless().ClockTicks;
    received.clear();
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    std::vector<UINT> expected = {WM_KEYDOWN, WM_CHAR, WM_PAINT, WM_ERASEBKGND, WM_TIMER, WM_TIMER};
    EXPECT_EQ(received, expected);
    EXPECT_EQ(Headless().IdleEnds, 1);
    EXPECT_EQ(Headless().ClockTicks - start, 10 * HeadlessClockFrequency / 1000);

    PostQuitMessage(3);
    core::Post(w, WM_CHAR, 'a', 0);
    EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));  // posted messages come before the quit
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(HeadlessBackendTest, StaticWindowTakesItsTextBySetText) {
    HWND s = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(s, nullptr);
    SendMessageA(s, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("1"));
    SendMessageA(s, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("2"));
    const core::WindowRecord* info = core::AnyWindow(s);
    EXPECT_EQ(info->Text, "2");
    EXPECT_EQ(info->TextHistory, (std::vector<std::string>{"", "1", "2"}));
    EXPECT_TRUE(info->Visible);
    DestroyWindow(s);
    EXPECT_FALSE(info->Alive);
}

UINT_PTR CALLBACK Hook(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SHOWWINDOW) SendDlgItemMessageA(dialog, 1000, BM_SETCHECK, BST_CHECKED, 0);
    if (message == WM_COMMAND && wParam == 1001)
        return SendDlgItemMessageA(dialog, 1001, BM_GETCHECK, 0, 0) == BST_CHECKED ? 7 : 8;
    return 0;
}

TEST_F(HeadlessBackendTest, OpenFileDialogIsScriptedAndDrivesTheHook) {
    char file[8] = "";
    OPENFILENAMEA ofn{};
    ofn.lStructSize = 136;
    ofn.lpstrFilter = "A\0*.a\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_ENABLEHOOK;
    ofn.lpfnHook = Hook;
    UINT_PTR clicked = 0;
    LRESULT check = -1;
    std::vector<std::string> filters;  // what each open dialog was asked to show
    HeadlessOpenFileScript script;
    script.Accept = true;
    script.FileName = "x.rm";
    script.WhileOpen = [&](HWND dialog, const OPENFILENAMEA& request) {
        filters.emplace_back(request.lpstrFilter, 6);
        check = SendDlgItemMessageA(dialog, 1000, BM_GETCHECK, 0, 0);
        clicked = core::ClickDialogItem(dialog, 1001);
    };
    Headless().Script = script;
    EXPECT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_STREQ(file, "x.rm");
    EXPECT_EQ(check, BST_CHECKED);
    EXPECT_EQ(clicked, 7u);
    EXPECT_EQ(filters, std::vector<std::string>{std::string("A\0*.a\0", 6)});

    script.FileName = "much-too-long.rm";
    script.WhileOpen = nullptr;
    Headless().Script = script;
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0x3003u);
    Headless().Script = {};
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
}

}  // namespace
