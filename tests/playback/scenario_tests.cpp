// The viewer played like a user: inputs and timer ticks go through GetEvent and DoImage, and
// every step is checked on the client surface, pixel by pixel, against the frame as it was
// written. Every scenario runs unbuffered (reading the file) and buffered (from memory).
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "playback/controller.h"
#include "resources/resource_ids.h"
#include "tests/playback/engine_test_helpers.h"
#include "tests/rm/rm_test_helpers.h"

namespace {

class ScenarioTest : public ViewerTest, public ::testing::WithParamInterface<bool> {
   protected:
    std::vector<rmwriter::Frame> frames;

    bool Buffered() const { return GetParam(); }

    void Start(std::vector<rmwriter::Frame> movie = {}) {
        frames = movie.empty()
                     ? std::vector<rmwriter::Frame>{ColourFrame(24, 16, 1), ColourFrame(24, 16, 2),
                                                    ColourFrame(24, 16, 3)}
                     : movie;
        StartViewer(frames, Buffered());
        DoImage(CmdRedraw);
    }

    // The frame on screen, pixel for pixel, or -1 when the surface matches none.
    int Shown(const rmwriter::ColorTable* colours = nullptr) const {
        const std::vector<uint32_t> surface = ClientSurface();
        for (size_t i = 0; i < frames.size(); ++i)
            if (surface == ExpectedSurface(frames[i], colours)) return static_cast<int>(i);
        return -1;
    }

    // The frame on screen after each of `count` ticks.
    std::vector<int> TickAndWatch(int count) {
        std::vector<int> seen;
        for (int i = 0; i < count; ++i) {
            Tick();
            seen.push_back(Shown());
        }
        return seen;
    }

    // Brings the viewer to: frame 1 on screen, frame 2 fetched and pending (Wait 100).
    void MakePending() {
        State.Wait = 100;
        Start();
        HeadlessAdvanceClockMs(10);
        Key('L');  // a user step: drawn at once, the second put
        HeadlessAdvanceClockMs(10);
        Tick();  // paced, 10 ms after the last frame: refused
        ASSERT_EQ(Shown(), 1);
        ASSERT_EQ(State.PutPending, 1);
        ASSERT_EQ(State.CurrentImage, 2u);
        ASSERT_EQ(State.ShownImage, 1u);
    }

    // Ticks until the process ends (at most `limit` ticks); returns what was seen.
    std::vector<int> TickUntilEnd(int limit, int* status) {
        std::vector<int> seen;
        *status = ExpectProcessEnd([&] {
            for (int i = 0; i < limit; ++i) {
                Tick();
                seen.push_back(Shown());
            }
        });
        return seen;
    }
};

INSTANTIATE_TEST_SUITE_P(Engine, ScenarioTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Buffered" : "Unbuffered"; });

TEST_P(ScenarioTest, StartUpPutOpensTheWindowSizedToImageZero) {
    Start();
    const core::WindowRecord* window = core::AnyWindow(State.MainWindow);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Text, "Kinaro");
    EXPECT_EQ(window->Class->Name, "KinaroWndClass");
    EXPECT_EQ(window->Style & ~WS_VISIBLE, WS_OVERLAPPEDWINDOW);
    EXPECT_TRUE(window->Visible);
    ASSERT_NE(core::Find<core::MenuRecord>(window->Menu), nullptr);
    EXPECT_EQ(core::Find<core::MenuRecord>(window->Menu)->ResourceId, IDM_KINARO);
    EXPECT_EQ(window->ClientWidth, 24);
    EXPECT_EQ(window->ClientHeight, 16);
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(State.WindowOpen, 1);
    EXPECT_EQ(State.ShownImage, 0u);
    EXPECT_EQ((std::vector<int32_t>{State.WL, State.WR, State.WT, State.WB, State.WW, State.WH}),
              (std::vector<int32_t>{0, 23, 0, 15, 24, 16}));
    // The palette holds image 0's colours, every entry reserved for animation.
    const std::vector<PALETTEENTRY>& palette = ViewerPalette().Entries;
    ASSERT_EQ(palette.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        uint32_t rgb = uint32_t(palette[i].peRed) << 16 | uint32_t(palette[i].peGreen) << 8 |
                       palette[i].peBlue;
        EXPECT_EQ(rgb, ColourOf(frames[0], static_cast<uint8_t>(i))) << i;
        EXPECT_EQ(palette[i].peFlags, PC_RESERVED);
    }
    EXPECT_EQ(core::CountContexts(), 0);
}

TEST_P(ScenarioTest, AClientAreaWiderThanTheImageIsBlackAroundIt) {
    Headless().MinimumWindowWidth = 101;  // the desktop will not make the window narrower
    Start();
    const int clientWidth = core::AnyWindow(State.MainWindow)->ClientWidth;
    EXPECT_EQ(clientWidth, 101 - 2 * GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(Shown(), 0);  // centred, black around, nothing left unpainted
    EXPECT_EQ(State.DisplayImage.IL, (clientWidth - 24) / 2);
}

TEST_P(ScenarioTest, ForwardRunsToTheLastImageAndStops) {
    Start();
    EXPECT_EQ(Key('F'), CmdStepForward);
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{2});
    if (!Buffered()) {
        // The tick after the last image finds the end of the file and draws nothing.
        EXPECT_EQ(State.TotalImages, AllOnes);
        EXPECT_EQ(TickAndWatch(1), std::vector<int>{2});
        EXPECT_EQ(State.TotalImages, 2u);
        EXPECT_EQ(State.CurrentImage, 2u);
        EXPECT_EQ(State.Mode, Forward);
    }
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{2});
    EXPECT_EQ(State.Mode, Stopped);
}

TEST_P(ScenarioTest, LoopWrapsFromTheLastImageToTheFirst) {
    Start();
    Key('L');
    std::vector<int> expected =
        Buffered() ? std::vector<int>{2, 0, 1, 2, 0, 1} : std::vector<int>{2, 2, 0, 1, 2, 0};
    EXPECT_EQ(TickAndWatch(6), expected);
}

TEST_P(ScenarioTest, CycleTurnsAtBothEnds) {
    Start();
    Key('C');
    EXPECT_EQ(Shown(), 1);
    std::vector<int> expected =
        Buffered() ? std::vector<int>{2, 1, 0, 1, 2, 1, 0} : std::vector<int>{2, 2, 1, 0, 1, 2, 1};
    EXPECT_EQ(TickAndWatch(7), expected);
}

TEST_P(ScenarioTest, BackwardStopsAtImageZero) {
    Start();
    Key('+');
    Key('+');
    EXPECT_EQ(Key('B'), CmdStepBackward);
    EXPECT_EQ(Shown(), 1);
    EXPECT_EQ(TickAndWatch(2), (std::vector<int>{0, 0}));
    EXPECT_EQ(State.Mode, Stopped);
}

TEST_P(ScenarioTest, PacingHoldsAFrameUntilWaitHasPassed) {
    State.Wait = 100;
    Start();  // first put: never refused
    State.Mode = Loop;
    HeadlessAdvanceClockMs(10);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{1});  // second put: never refused
    HeadlessAdvanceClockMs(10);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{1});  // 10 ms after: refused
    EXPECT_EQ(State.PutPending, 1);
    HeadlessAdvanceClockMs(89);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{1});  // 99 ms after: still refused
    HeadlessAdvanceClockMs(1);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{2});
    EXPECT_EQ(State.PutPending, 0);
    EXPECT_EQ(State.ShownImage, 2u);
    if (!Buffered()) Tick();  // finds the end of the file
    // "<" lengthens the pause from the next put on.
    Key('<');
    EXPECT_EQ(State.Wait, 150);
    HeadlessAdvanceClockMs(120);
    Tick();
    EXPECT_EQ(State.PutPending, 1);
    EXPECT_EQ(State.CurrentImage, 0u);
    HeadlessAdvanceClockMs(30);
    EXPECT_EQ(TickAndWatch(1), std::vector<int>{0});
}

TEST_P(ScenarioTest, UserStepsStopAndFirstWithAnImagePending) {
    struct Case {
        char key;
        int shown;         // frame on screen afterwards
        uint32_t current;  // CurrentImage afterwards
        int redrawn;       // frame on screen after a following redraw
    } cases[] = {
        {'+', 2, 2, 2},  // the pending image itself, drawn at once
        {'-', 0, 0, 0},  // the one before the image on screen
        {'S', 1, 1, 1},  // the image on screen fetched back, nothing drawn
        {'1', 0, 0, 0},  // image 0 at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("key ") + c.key);
        ResetViewer();
        MakePending();
        Key(c.key);
        EXPECT_EQ(Shown(), c.shown);
        EXPECT_EQ(State.CurrentImage, c.current);
        EXPECT_EQ(State.PutPending, 0);
        EXPECT_EQ(State.Mode, Stopped);
        Key('R');
        EXPECT_EQ(Shown(), c.redrawn);
    }
}

TEST_P(ScenarioTest, ToFirstShowsImageZeroEvenWhenItIsThePendingOne) {
    State.Wait = 100;
    Start();
    State.Mode = Loop;
    for (int i = 0; i < 2; ++i) {  // to image 2
        HeadlessAdvanceClockMs(100);
        Tick();
    }
    if (!Buffered()) Tick();  // finds the end of the file
    ASSERT_EQ(Shown(), 2);
    HeadlessAdvanceClockMs(10);
    Tick();  // wraps: image 0 fetched, refused
    ASSERT_EQ(State.PutPending, 1);
    ASSERT_EQ(State.CurrentImage, 0u);
    Key('1');
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(State.ShownImage, 0u);
    // Asked again with image 0 on screen: nothing to do, nothing drawn.
    const int draws = core::AnyWindow(State.MainWindow)->Draws;
    Key('1');
    EXPECT_EQ(core::AnyWindow(State.MainWindow)->Draws, draws);
}

TEST_P(ScenarioTest, RedrawWhilePendingDrawsThePendingImageAndMakesItTheShownOne) {
    MakePending();
    Key('R');
    EXPECT_EQ(Shown(), 2);
    EXPECT_EQ(State.PutPending, 0);
    EXPECT_EQ(State.ShownImage, 2u);
    // A user step now moves on from the image on screen.
    Key('-');
    EXPECT_EQ(Shown(), 1);
}

TEST_P(ScenarioTest, ARunOfRefusedPutsLogsOneWaitingLine) {
    MakePending();
    CapturedLog log(1);
    Tick();
    Tick();
    HeadlessAdvanceClockMs(100);
    Tick();
    EXPECT_EQ(log.Text(), " - Waiting to Put Image\n - Image put\n");
}

TEST_P(ScenarioTest, FindingTheEndIsLoggedAsAPutAndTheStopAsNoChange) {
    Start();
    Key('F');
    Tick();
    CapturedLog log(7);
    std::string finding;
    if (!Buffered()) {
        Tick();  // reads on past the last image
        finding = log.Text();
        EXPECT_NE(finding.find("Ready to Read File Image 3\n"), std::string::npos) << finding;
        EXPECT_NE(finding.find(" - Read File Image, TotalImages = 2\nReady to put Image\n"
                               " - Image put\n"),
                  std::string::npos)
            << finding;
    }
    Tick();
    EXPECT_EQ(log.Text().substr(finding.size()), "Entering DoImage\nLeaving DoImage - No Change\n");
}

TEST_P(ScenarioTest, RedrawWithTheWindowOpenRepaintsEverythingAtOnce) {
    State.Wait = 100;
    Start();
    HeadlessClearSurface(State.MainWindow, 0x123456);
    Key('R');
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(State.ShownImage, 0u);
}

TEST_P(ScenarioTest, LoopTwoEndsAfterTwoWholePasses) {
    State.Mode = Loop;
    State.RepeatLimit = 2;
    Start();
    EXPECT_EQ(State.RepeatCount, 1);  // the start-up put of image 0 begins the first pass
    int status = 1000;
    std::vector<int> seen = TickUntilEnd(20, &status);
    EXPECT_EQ(status, 0);
    std::vector<int> expected =
        Buffered() ? std::vector<int>{1, 2, 0, 1, 2} : std::vector<int>{1, 2, 2, 0, 1, 2};
    seen.push_back(Shown());  // the last tick ended before drawing
    expected.push_back(2);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(State.RepeatCount, 2);
    EXPECT_EQ(State.Mode, Quit);
    EXPECT_FALSE(core::AnyWindow(State.MainWindow)->Alive);
}

TEST_P(ScenarioTest, CycleOneEndsAfterOneSweepForwardAndBack) {
    State.Mode = Cycle;
    State.RepeatLimit = 1;
    Start();
    EXPECT_EQ(State.RepeatCount, 0);  // image 0 at start-up does not count
    int status = 1000;
    std::vector<int> seen = TickUntilEnd(20, &status);
    EXPECT_EQ(status, 0);
    seen.push_back(Shown());
    std::vector<int> expected =
        Buffered() ? std::vector<int>{1, 2, 1, 0, 0} : std::vector<int>{1, 2, 2, 1, 0, 0};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(State.RepeatCount, 1);
}

TEST_P(ScenarioTest, AUserStepEndsTheRunLimit) {
    State.Mode = Loop;
    State.RepeatLimit = 1;
    Start();
    Key('+');
    EXPECT_EQ(State.RepeatLimit, 0);
    State.Mode = Loop;
    for (int i = 0; i < 10; ++i) Tick();  // wraps freely now
    EXPECT_NE(Shown(), -1);
}

TEST_P(ScenarioTest, ASmallerFrameAfterALargerOneLeavesNoStalePixels) {
    Start({ColourFrame(30, 20, 1), ColourFrame(10, 6, 2), ColourFrame(30, 20, 3)});
    Key('+');
    EXPECT_EQ(Shown(), 1);  // centred, black where frame 0 was
    Key('+');
    EXPECT_EQ(Shown(), 2);
    Key('1');
    EXPECT_EQ(Shown(), 0);
}

TEST_P(ScenarioTest, ASingleColormapDrawsEveryFrameThroughTheFirstFramesColours) {
    State.MultipleColormaps = 0;
    Start();
    for (int step = 1; step <= 2; ++step) {
        Key('+');
        EXPECT_EQ(Shown(&frames[0].colors), step);
    }
    Key('1');
    EXPECT_EQ(Shown(&frames[0].colors), 0);
    EXPECT_EQ(ViewerPalette().Animations, 1);
    EXPECT_EQ(State.LUTPut, 1);
}

TEST_P(ScenarioTest, MultipleColormapsLoadEveryFramesColoursIntoThePalette) {
    Start();
    Key('+');
    Key('+');
    EXPECT_EQ(Shown(), 2);
    EXPECT_EQ(ViewerPalette().Animations, 3);
    const std::vector<PALETTEENTRY>& palette = ViewerPalette().Entries;
    EXPECT_EQ(palette[7].peRed, frames[2].colors.Red[7]);
    EXPECT_EQ(palette[7].peBlue, frames[2].colors.Blue[7]);
}

TEST_P(ScenarioTest, ASingleImageFileCyclesWithoutError) {
    Start({ColourFrame(8, 8, 4)});
    Key('C');
    EXPECT_EQ(TickAndWatch(4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(State.TotalImages, 0u);
}

// One image has no second to turn at: each wrap or turn onto it counts as a pass, so that a
// counted run ends.
TEST_P(ScenarioTest, LoopOrCycleOneOfASingleImageFileEnds) {
    State.Mode = GetParam() ? Cycle : Loop;  // unbuffered loops, buffered cycles
    State.RepeatLimit = 1;
    Start({ColourFrame(8, 8, 4)});
    int status = 1000;
    TickUntilEnd(10, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(State.RepeatCount, 1);
}

TEST_P(ScenarioTest, AFileWithoutAReadableImageIsRefused) {
    int status = ExpectProcessEnd([&] {
        StartViewer({}, Buffered());  // a file without a frame
        DoImage(CmdRedraw);
    });
    EXPECT_EQ(status, -1);
    ASSERT_FALSE(Headless().Boxes.empty());
    EXPECT_EQ(Headless().Boxes.back().Text, "Error: File is not in Raster Metafile format");
}

// The same inputs give the same pictures, whether the images come from the file or memory.
TEST(BufferingTest, BufferedAndUnbufferedShowIdenticalPixels) {
    const std::vector<rmwriter::Frame> movie = {ColourFrame(20, 12, 1), ColourFrame(14, 9, 2),
                                                ColourFrame(20, 12, 3), ColourFrame(26, 15, 4)};
    const std::string script = "Ftttt B tt + C ttttttt 1 - L tttt S R = _ tt > < ttt Q";
    auto play = [&](bool buffered) {
        ResetViewer();
        Headless().Quiet = true;
        StartViewer(movie, buffered);
        DoImage(CmdRedraw);
        std::vector<std::vector<uint32_t>> pictures{ClientSurface()};
        for (char c : script) {
            if (c == ' ') continue;
            if (c == 't')
                Tick();
            else
                Key(c);
            pictures.push_back(ClientSurface());
        }
        return pictures;
    };
    const auto unbuffered = play(false);
    const auto buffered = play(true);
    ASSERT_EQ(unbuffered.size(), buffered.size());
    for (size_t i = 0; i < unbuffered.size(); ++i)
        EXPECT_EQ(unbuffered[i], buffered[i]) << "after input " << i;
}

}  // namespace
