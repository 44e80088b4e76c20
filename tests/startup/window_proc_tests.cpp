// What the window procedure does with the messages that are not input: empty paints,
// activation and palette queries, and input that means nothing.
#include "display/window_proc.h"
#include "platform/headless/headless_control.h"
#include "playback/controller.h"
#include "tests/playback/engine_test_helpers.h"

namespace {

class WindowProcTest : public ViewerTest {
   protected:
    void SetUp() override {
        ViewerTest::SetUp();
        StartViewer({ColourFrame(20, 10, 1), ColourFrame(20, 10, 2)}, false);
        DoImage(CmdRedraw);
        HeadlessPumpMessages();  // the first paint
    }
    HeadlessWindowInfo Info() const {
        HeadlessWindowInfo info;
        HeadlessWindow(State.MainWindow, &info);
        return info;
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WindowProc(State.MainWindow, message, wParam, lParam);
    }
};

TEST_F(WindowProcTest, APaintWithNothingToUpdateDoesNotEvenBeginPainting) {
    ASSERT_FALSE(HeadlessHasUpdateRegion(State.MainWindow));
    const HeadlessWindowInfo before = Info();
    EXPECT_EQ(Send(WM_PAINT), 0);
    EXPECT_EQ(Info().Paints, before.Paints);
    EXPECT_EQ(Info().Draws, before.Draws);

    InvalidateRect(State.MainWindow, nullptr, FALSE);
    EXPECT_EQ(Send(WM_PAINT), 0);
    EXPECT_EQ(Info().Paints, before.Paints + 1);
    EXPECT_GT(Info().Draws, before.Draws);
    EXPECT_EQ(State.PaintDC, nullptr);
    EXPECT_EQ(HeadlessLiveDeviceContexts(), 0);
}

TEST_F(WindowProcTest, DeactivationTouchesNothingAndActivationRealisesAndRedraws) {
    const int realized = HeadlessPaletteRealizations(State.Palette);
    const int draws = Info().Draws;
    EXPECT_EQ(Send(WM_ACTIVATEAPP, 0), 0);
    EXPECT_EQ(Send(WM_ACTIVATEAPP, (WPARAM)1 << 32), 0) << "only the low 32 bits count";
    EXPECT_EQ(HeadlessPaletteRealizations(State.Palette), realized);
    EXPECT_EQ(Info().Draws, draws);

    HeadlessSetForegroundWindow(State.MainWindow);
    const int realizedNow = HeadlessPaletteRealizations(State.Palette);
    const int drawsNow = Info().Draws;
    EXPECT_EQ(Send(WM_ACTIVATEAPP, 1), 0);
    EXPECT_EQ(HeadlessPaletteRealizations(State.Palette), realizedNow + 1);
    EXPECT_EQ(Info().Draws, drawsNow + 1);
}

TEST_F(WindowProcTest, APaletteQueryAnswersWhetherThereIsAPalette) {
    EXPECT_EQ(Send(WM_QUERYNEWPALETTE), 1);
    State.Palette = nullptr;
    const int draws = Info().Draws;
    EXPECT_EQ(Send(WM_QUERYNEWPALETTE), 0);
    EXPECT_EQ(Info().Draws, draws);
}

TEST_F(WindowProcTest, InputThatMeansNothingChangesNeitherTimerNorPicture) {
    Send(WM_CHAR, 'L');
    ASSERT_NE(State.TimerId, 0u);
    const int draws = Info().Draws;
    const UINT_PTR timer = State.TimerId;
    for (WPARAM key : {WPARAM('x'), WPARAM('?'), WPARAM(200)}) EXPECT_EQ(Send(WM_CHAR, key), 0);
    EXPECT_EQ(Send(WM_COMMAND, 40006), 0);
    EXPECT_EQ(State.TimerId, timer);
    EXPECT_TRUE(HeadlessTimerLive(State.MainWindow, AnimationTimerId));
    EXPECT_EQ(Info().Draws, draws);
}

TEST_F(WindowProcTest, TicksAfterTheWindowClosedOnlyStopTheTimer) {
    Send(WM_CHAR, 'L');
    State.WindowOpen = 0;
    const int draws = Info().Draws;
    EXPECT_EQ(Send(WM_TIMER, AnimationTimerId), 0);
    EXPECT_EQ(Info().Draws, draws);
    EXPECT_NE(State.TimerId, 0u) << "the mode is still Loop";
    State.Mode = Stopped;
    EXPECT_EQ(Send(WM_TIMER, AnimationTimerId), 0);
    EXPECT_EQ(State.TimerId, 0u);
    EXPECT_FALSE(HeadlessTimerLive(State.MainWindow, AnimationTimerId));
}

TEST_F(WindowProcTest, OtherMessagesGoToTheDefaultProcedure) {
    EXPECT_EQ(Send(WM_KEYDOWN, 'Q'), 0);
    EXPECT_NE(State.WindowOpen, 0) << "only WM_CHAR is a key";
    EXPECT_EQ(Send(WM_CLOSE), 0);
    EXPECT_TRUE(Info().Destroyed);
    EXPECT_TRUE(HeadlessQuitPosted());
}

}  // namespace
