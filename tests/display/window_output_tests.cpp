// The window, its palette and borders, and drawing an image into it.
#include <algorithm>
#include <string>
#include <vector>

#include "display/image_output.h"
#include "display/window.h"
#include "display/window_proc.h"
#include "placement/placement.h"
#include "platform/headless/headless_control.h"
#include "resources/resource_ids.h"
#include "tests/playback/engine_test_helpers.h"
#include "tests/support/test_support.h"

namespace {

// A hand-made image: IW x IH pixels of value (x + 2y) % 7 + 1, bottom row first, and a LUT
// whose entry i is (10i, 20i, 30i).
struct TestImage {
    Image image;
    std::vector<uint8_t> pixels;
    std::vector<LUTEntry> lut;

    TestImage(int w, int h, int index = 0) : lut(256) {
        image.IW = w;
        image.IH = h;
        image.Index = index;
        image.ScanLineWidth = (w + 3) & ~3;
        pixels.assign(static_cast<size_t>(image.ScanLineWidth) * h, 0);
        for (int row = 0; row < h; ++row)
            for (int x = 0; x < w; ++x)
                pixels[static_cast<size_t>(row) * image.ScanLineWidth + x] =
                    static_cast<uint8_t>((x + 2 * (h - 1 - row)) % 7 + 1);
        for (int i = 0; i < 256; ++i)
            lut[i] = LUTEntry{uint8_t(10 * i), uint8_t(20 * i), uint8_t(30 * i), 1};
        image.Pixels = pixels.data();
        image.PixelsSize = pixels.size();
        image.LUT = lut.data();
        image.LUTSize = 256;
    }
    // The colour the screen shows at image column x, row y (top row 0).
    uint32_t At(int x, int y) const {
        int i = (x + 2 * y) % 7 + 1;
        return uint32_t(uint8_t(10 * i)) << 16 | uint32_t(uint8_t(20 * i)) << 8 | uint8_t(30 * i);
    }
};

class WindowTest : public ViewerTest {
   protected:
    void SetUp() override {
        ViewerTest::SetUp();
        State.CmdShow = SW_SHOWDEFAULT;
    }
    const core::WindowRecord& Main() { return *core::AnyWindow(State.MainWindow); }
};

TEST_F(WindowTest, TheClassIsRegisteredOnce) {
    ASSERT_EQ(StartUpGraphics(), 1);
    ASSERT_NE(core::FindClass("KinaroWndClass"), nullptr);
    WNDCLASSA c = core::FindClass("KinaroWndClass")->Fields;
    EXPECT_EQ(c.style, 0u);
    EXPECT_EQ(c.lpfnWndProc, &WindowProc);
    EXPECT_NE(c.hIcon, nullptr);
    EXPECT_NE(c.hCursor, nullptr);
    EXPECT_EQ(c.hbrBackground, nullptr);
    EXPECT_EQ(StartUpGraphics(), 0);  // the class exists already: refused

    ResetViewer();
    State.PrevInstance = reinterpret_cast<HINSTANCE>(&c);
    EXPECT_EQ(StartUpGraphics(), 1);
    EXPECT_EQ(core::FindClass("KinaroWndClass"), nullptr);
    ResetViewer();
    HeadlessSetFault(core::Call::RegisterClass);
    EXPECT_EQ(StartUpGraphics(), 0);
}

TEST_F(WindowTest, OpenWindowSizesTheClientAreaToTheImage) {
    StartUpGraphics();
    ASSERT_EQ(OpenWindow(320, 200), 1);
    const core::WindowRecord& w = Main();
    EXPECT_EQ(w.Width, 320 + 2 * GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(w.Height, 200 + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYMENU) +
                            GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(w.ClientWidth, 320);
    EXPECT_EQ(w.ClientHeight, 200);
    EXPECT_EQ(w.LastShowCommand, SW_SHOWDEFAULT);
    EXPECT_EQ(w.Menu, State.Menu);
    ASSERT_NE(core::Find<core::MenuRecord>(State.Menu), nullptr);
    EXPECT_EQ(core::Find<core::MenuRecord>(State.Menu)->ResourceId, IDM_KINARO);
    EXPECT_EQ(State.WR, 319);
    EXPECT_EQ(State.WB, 199);
    EXPECT_EQ(State.WindowOpen, 0);  // PutImage sets it, not the window
    // The palette: 256 black entries reserved for animation.
    const std::vector<PALETTEENTRY>& p = ViewerPalette().Entries;
    ASSERT_EQ(p.size(), 256u);
    for (const PALETTEENTRY& e : p) {
        EXPECT_EQ(e.peRed | e.peGreen | e.peBlue, 0);
        EXPECT_EQ(e.peFlags, PC_RESERVED);
    }
    // Showing and updating delivered size, activation, palette and paint messages.
    std::vector<UINT> seen;
    for (const MSG& m : Headless().MessageLog)
        if (m.hwnd == State.MainWindow) seen.push_back(m.message);
    for (UINT expected : {WM_SIZE, WM_ACTIVATEAPP, WM_QUERYNEWPALETTE, WM_PAINT})
        EXPECT_NE(std::find(seen.begin(), seen.end(), expected), seen.end()) << expected;
}

TEST_F(WindowTest, FullScreenIsAMaximisedPopupWithoutMenu) {
    State.FullScreen = 1;
    Headless().Metrics[0] = 800;  // the screen size
    Headless().Metrics[1] = 600;
    StartUpGraphics();
    ASSERT_EQ(OpenWindow(320, 200), 1);
    const core::WindowRecord& w = Main();
    EXPECT_EQ(w.Style & WS_POPUP, WS_POPUP);
    EXPECT_TRUE(w.Maximized);
    EXPECT_EQ(w.Menu, nullptr);
    EXPECT_EQ(State.Menu, nullptr);
    EXPECT_EQ(State.WW, 800);
    EXPECT_EQ(State.WH, 600);
}

TEST_F(WindowTest, AMissingMenuOrPaletteStillGivesAWorkingWindow) {
    StartUpGraphics();
    HeadlessSetFault(core::Call::LoadMenu);
    HeadlessSetFault(core::Call::CreatePalette);
    TestImage t(6, 4);
    PutImage(t.image, 0);
    EXPECT_EQ(State.Menu, nullptr);
    EXPECT_EQ(State.Palette, nullptr);
    EXPECT_EQ(Main().ClientHeight, 4 + GetSystemMetrics(SM_CYMENU));  // no menu bar
    const int top = GetSystemMetrics(SM_CYMENU) / 2;                  // centred in it
    EXPECT_EQ(HeadlessPixel(State.MainWindow, 0, top), t.At(0, 0));   // drawn all the same
}

TEST_F(WindowTest, AWindowThatCannotBeCreatedIsFatal) {
    StartUpGraphics();
    HeadlessSetFault(core::Call::CreateWindow, 1407);
    TestImage t(6, 4);
    int status = ExpectProcessEnd([&] { PutImage(t.image, 1); });
    EXPECT_EQ(status, -1);
    ASSERT_FALSE(Headless().Boxes.empty());
    EXPECT_EQ(Headless().Boxes.back().Title, "Kinaro Error");
    EXPECT_EQ(Headless().Boxes.back().Text, "Error: Cannot create the viewer window (1407)");
    EXPECT_EQ(State.WindowOpen, 0);
}

TEST_F(WindowTest, FillBordersPaintsOnlyOutsideTheImage) {
    struct Case {
        int clientW, imageW;
        int left, right;  // black columns expected left and right of the image
    } cases[] = {
        {640, 640, 0, 0},
        {301, 100, 100, 101},
        {20, 25, 0, 0},  // image wider than the client area: no band at either side
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clientW);
        ResetViewer();
        State.CmdShow = SW_SHOWDEFAULT;
        StartUpGraphics();
        OpenWindow(c.clientW, 3);
        HeadlessClearSurface(State.MainWindow, 0x777777);
        Image image;
        image.IW = c.imageW;
        image.IH = 3;
        PlaceImage(image);
        FillBorders(image);
        int black = 0;
        for (int x = 0; x < c.clientW; ++x) black += HeadlessPixel(State.MainWindow, x, 1) == 0;
        EXPECT_EQ(black, c.left + c.right);
        if (c.left > 0) {
            EXPECT_EQ(HeadlessPixel(State.MainWindow, c.left - 1, 1), 0u);
            EXPECT_EQ(HeadlessPixel(State.MainWindow, c.left, 1), 0x777777u);
        }
        EXPECT_EQ(core::CountContexts(), 0);
    }
}

TEST_F(WindowTest, FillBordersPaintsTopAndBottomBands) {
    StartUpGraphics();
    OpenWindow(5, 9);
    HeadlessClearSurface(State.MainWindow, 0x777777);
    Image image;
    image.IW = 5;
    image.IH = 4;
    PlaceImage(image);  // rows 2 to 5
    FillBorders(image);
    for (int y = 0; y < 9; ++y)
        EXPECT_EQ(HeadlessPixel(State.MainWindow, 2, y), (y >= 2 && y <= 5) ? 0x777777u : 0u) << y;
}

class OutputTest : public WindowTest {
   protected:
    void SetUp() override {
        WindowTest::SetUp();
        StartUpGraphics();
    }
};

TEST_F(OutputTest, TheBitmapIsBottomUpThroughTheLUTAndClipped) {
    TestImage t(7, 5);
    ASSERT_EQ(PutImage(t.image, 1), 1);
    EXPECT_EQ(State.WindowOpen, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(HeadlessPixel(State.MainWindow, x, y), t.At(x, y)) << x << "," << y;
    BITMAPINFOHEADER h = Headless().LastBitmapHeader;
    EXPECT_EQ(h.biWidth, 7);
    EXPECT_EQ(h.biHeight, 5);
    EXPECT_EQ(h.biSizeImage, 8u * 5u);
    EXPECT_EQ(h.biClrUsed, 256u);
    std::vector<RGBQUAD> colours = Headless().LastColourTable;
    EXPECT_EQ(colours[3].rgbRed, 30);
    EXPECT_EQ(colours[3].rgbBlue, 90);
    EXPECT_EQ(colours[3].rgbReserved, 0);

    // Drawn again in a smaller client area: centred, hanging over both edges.
    HeadlessSetClientSize(State.MainWindow, 3, 1);
    State.WW = 3, State.WH = 1, State.WR = 2, State.WB = 0;
    PlaceImage(t.image);
    PutImage(t.image, 0);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(HeadlessPixel(State.MainWindow, x, 0), t.At(x + 2, 2));
}

TEST_F(OutputTest, ATableWithFewerEntriesAndNoTableAtAll) {
    TestImage t(4, 2);
    t.image.LUTSize = 16;
    PutImage(t.image, 1);
    EXPECT_EQ(Headless().LastBitmapHeader.biClrUsed, 16u);
    EXPECT_EQ(ViewerPalette().Animations, 1);
    t.image.LUTSize = 0;
    PutImage(t.image, 1);
    EXPECT_EQ(Headless().LastBitmapHeader.biClrUsed, 0u);
    EXPECT_EQ(ViewerPalette().Animations, 1);  // no LUT, no animation
}

TEST_F(OutputTest, WithoutADeviceContextNothingIsDrawnButThePutCounts) {
    TestImage t(4, 2);
    PutImage(t.image, 1);
    HeadlessClearSurface(State.MainWindow, 0x777777);
    HeadlessSetFault(core::Call::GetDC);
    EXPECT_EQ(PutImage(t.image, 1), 1);
    EXPECT_EQ(HeadlessPixel(State.MainWindow, 0, 0), 0x777777u);
}

TEST_F(OutputTest, ARefusedAnimationIsReportedOnStandardOutput) {
    TestImage t(4, 2);
    HeadlessSetFault(core::Call::AnimatePalette, 87);
    ::testing::internal::CaptureStdout();
    PutImage(t.image, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "AnimatePalette Error=87\n");
    EXPECT_EQ(HeadlessPixel(State.MainWindow, 0, 0), t.At(0, 0));
}

TEST_F(OutputTest, AnArrayTooSmallForTheBitmapIsNotRead) {
    TestImage t(8, 4);
    PutImage(t.image, 1);
    HeadlessClearSurface(State.MainWindow, 0x777777);
    t.image.PixelsSize = 8 * 4 - 1;
    EXPECT_EQ(PutImage(t.image, 1), 1);
    EXPECT_EQ(HeadlessPixel(State.MainWindow, 0, 0), 0x777777u);
}

TEST_F(OutputTest, ElapsedMsFollowsTheMonotonicClockFromItsFirstReading) {
    EXPECT_EQ(ElapsedMs(), 0);
    HeadlessAdvanceClockMs(250);
    EXPECT_EQ(ElapsedMs(), 250);
    Headless().ClockTicks += HeadlessClockFrequency / 1000 - 1;
    EXPECT_EQ(ElapsedMs(), 250);  // whole milliseconds only
}

TEST_F(OutputTest, WithoutAPauseTheClockIsNeverRead) {
    TestImage t(4, 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(PutImage(t.image, 1), 1);
    EXPECT_EQ(State.ClockOriginTaken, 0);
    EXPECT_EQ(State.LastTime, 0);
}

TEST_F(OutputTest, PacedAndUnpacedPutsAgainstWait) {
    State.Wait = 100;
    TestImage t(4, 2);
    EXPECT_EQ(PutImage(t.image, 1), 1);  // never refused: LastTime is unset
    HeadlessAdvanceClockMs(1);
    EXPECT_EQ(PutImage(t.image, 1), 1);  // never refused: LastTime read as unset
    EXPECT_EQ(State.LastTime, 1);
    HeadlessAdvanceClockMs(99);
    EXPECT_EQ(PutImage(t.image, 1), 0);
    EXPECT_EQ(PutImage(t.image, 0), 1);  // unpaced: drawn, and the pause restarts
    EXPECT_EQ(State.LastTime, 100);
    HeadlessAdvanceClockMs(100);
    EXPECT_EQ(PutImage(t.image, 1), 1);
    EXPECT_EQ(State.LastTime, 200);
}

TEST_F(OutputTest, PassesCountOnlyAtTheirFirstImage) {
    struct Case {
        int32_t mode;
        int index;
        int16_t direction;
        bool counts;
    } cases[] = {
        {Loop, 0, 1, true},     {Loop, 1, 1, false},     {Cycle, 1, 1, true},
        {Cycle, 1, -1, false},  {Cycle, 0, 1, false},    {Forward, 0, 1, false},
        {Stopped, 0, 1, false}, {Backward, 1, 1, false},
    };
    for (const Case& c : cases) {
        State.Mode = c.mode;
        State.Direction = c.direction;
        State.RepeatLimit = 5;
        State.RepeatCount = 0;
        TestImage t(4, 2, c.index);
        PutImage(t.image, 0);
        EXPECT_EQ(State.RepeatCount, c.counts ? 1 : 0) << c.mode << " " << c.index;
    }
    // A refused put counts nothing; at the limit the process ends before drawing.
    State.Mode = Loop;
    State.RepeatLimit = 2;
    State.RepeatCount = 0;
    State.Wait = 100;
    TestImage first(4, 2, 0);
    PutImage(first.image, 1);
    HeadlessAdvanceClockMs(5);
    PutImage(first.image, 1);
    EXPECT_EQ(State.RepeatCount, 2);
    HeadlessAdvanceClockMs(5);
    EXPECT_EQ(PutImage(first.image, 1), 0);
    EXPECT_EQ(State.RepeatCount, 2);
    HeadlessAdvanceClockMs(100);
    HeadlessClearSurface(State.MainWindow, 0x777777);
    EXPECT_EQ(ExpectProcessEnd([&] { PutImage(first.image, 1); }), 0);
    EXPECT_EQ(State.Mode, Quit);
    EXPECT_EQ(HeadlessPixel(State.MainWindow, 0, 0), 0x777777u);
    EXPECT_EQ(core::Find<core::PaletteRecord>(State.Palette), nullptr);  // released by CleanUp
}

}  // namespace
