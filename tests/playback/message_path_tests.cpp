// The engine reached the way the desktop reaches it: messages to the window procedure, ticks
// of timer 101, the message loop. Everything must work unchanged behind the real window
// procedure, as it will on the GTK and Windows desktops.
#include <vector>

#include "display/window_proc.h"
#include "platform/headless/headless_control.h"
#include "playback/controller.h"
#include "resources/resource_ids.h"
#include "tests/playback/engine_test_helpers.h"

namespace {

class MessagePathTest : public ViewerTest, public ::testing::WithParamInterface<bool> {
   protected:
    std::vector<rmwriter::Frame> frames;

    void Start() {
        frames = {ColourFrame(24, 16, 1), ColourFrame(24, 16, 2), ColourFrame(24, 16, 3)};
        StartViewer(frames, GetParam());
        DoImage(CmdRedraw);
    }
    int Shown() const {
        const std::vector<uint32_t> surface = ClientSurface();
        for (size_t i = 0; i < frames.size(); ++i)
            if (surface == ExpectedSurface(frames[i])) return static_cast<int>(i);
        return -1;
    }
    void Send(UINT message, WPARAM wParam = 0) {
        SendMessageA(State.MainWindow, message, wParam, 0);
    }
    int Draws() const { return core::AnyWindow(State.MainWindow)->Draws; }
};

INSTANTIATE_TEST_SUITE_P(Engine, MessagePathTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Buffered" : "Unbuffered"; });

TEST_P(MessagePathTest, AKeyStartsTheTimerWhoseTicksRunToTheEndAndStopIt) {
    Start();
    EXPECT_FALSE(AnimationTimerRuns());
    Send(WM_CHAR, 'f');
    EXPECT_EQ(Shown(), 1);
    ASSERT_TRUE(AnimationTimerRuns());
    EXPECT_EQ(core::Timers()[0].Period, 1u);
    int ticks = 0;
    while (AnimationTimerRuns() && ticks < 20) {
        core::FireTimer(State.MainWindow, AnimationTimerId);
        ++ticks;
    }
    EXPECT_EQ(ticks, GetParam() ? 2 : 3);  // unbuffered spends one finding the end
    EXPECT_EQ(Shown(), 2);
    EXPECT_EQ(State.Mode, Stopped);
    EXPECT_EQ(State.TimerId, 0u);
}

TEST_P(MessagePathTest, StopAndQuitStopTheTimer) {
    Start();
    Send(WM_COMMAND, IDM_GO_LOOP);
    ASSERT_TRUE(AnimationTimerRuns());
    Send(WM_CHAR, ' ');
    EXPECT_FALSE(AnimationTimerRuns());
    Send(WM_CHAR, 'L');
    Send(WM_CHAR, 27);
    EXPECT_FALSE(AnimationTimerRuns());
    EXPECT_EQ(State.WindowOpen, 0);
    EXPECT_TRUE(core::QuitPending());
}

TEST_P(MessagePathTest, ALoopFromTheCommandLinePlaysTwoPassesFromTheEventLoop) {
    State.Mode = Loop;
    State.RepeatLimit = 2;
    Start();
    Headless().AutoTimerTicks = 100;
    EXPECT_EQ(ExpectProcessEnd([] { EventLoop(); }), 0);
    EXPECT_EQ(Draws(), 6);  // 0 1 2 0 1 2, and the third image 0 is never drawn
}

TEST_P(MessagePathTest, TheOneMillisecondTimerPlaysAtThePaceOfWait) {
    State.Wait = 100;
    Start();
    Send(WM_CHAR, 'l');
    const int before = Draws();
    const LONGLONG start = Headless().ClockTicks;
    Headless().AutoTimerTicks = 1000;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    EXPECT_EQ(Headless().ClockTicks - start, 1000 * HeadlessClockFrequency / 1000);
    EXPECT_EQ(Draws() - before, 10);  // one frame per 100 ms of ticks
    EXPECT_NE(Shown(), -1);
}

TEST_P(MessagePathTest, AResizeRecentresTheImageOnTheFollowingPaint) {
    Start();
    HeadlessSetClientSize(State.MainWindow, 80, 50);
    EXPECT_EQ(State.WW, 80);
    EXPECT_EQ(State.WB, 49);
    EXPECT_GE(HeadlessPumpMessages(), 1);
    EXPECT_EQ(Shown(), 0);  // centred, black around
    EXPECT_EQ(State.DisplayImage.IL, 28);
    HeadlessSetClientSize(State.MainWindow, 0, 0, 1);  // minimised
    EXPECT_EQ(State.WR, -1);
    HeadlessPumpMessages();
    HeadlessSetClientSize(State.MainWindow, 30, 20);
    HeadlessPumpMessages();
    EXPECT_EQ(Shown(), 0);
    EXPECT_EQ(core::CountContexts(), 0);
}

TEST_P(MessagePathTest, TheAnimationGoesOnWhileAHelpBoxIsOpen) {
    Start();
    Send(WM_CHAR, 'L');
    int shownDuringBox = -1;
    Headless().BoxHandler = [&](const HeadlessBox&) {
        core::FireTimer(State.MainWindow, AnimationTimerId);
        shownDuringBox = Shown();
        return IDOK;
    };
    Send(WM_COMMAND, IDM_HELP_ABOUT);
    EXPECT_EQ(shownDuringBox, 2);
    EXPECT_TRUE(AnimationTimerRuns());
}

TEST_P(MessagePathTest, ClosingTheWindowEndsTheViewer) {
    Start();
    Send(WM_CHAR, 'L');
    Send(WM_CLOSE);
    EXPECT_EQ(State.WindowOpen, 0);
    EXPECT_FALSE(AnimationTimerRuns());
    EXPECT_TRUE(core::QuitPending());
    EXPECT_FALSE(core::AnyWindow(State.MainWindow)->Alive);
}

}  // namespace
