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
    const core::WindowRecord& Info() const { return *core::AnyWindow(State.MainWindow); }
    int Realizations() const { return ViewerPalette().Realizations; }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WindowProc(State.MainWindow, message, wParam, lParam);
    }
};

TEST_F(WindowProcTest, APaintWithNothingToUpdateDoesNotEvenBeginPainting) {
    ASSERT_FALSE(GetUpdateRect(State.MainWindow, nullptr, FALSE));
    const int paints = Info().Paints, draws = Info().Draws;
    EXPECT_EQ(Send(WM_PAINT), 0);
    EXPECT_EQ(Info().Paints, paints);
    EXPECT_EQ(Info().Draws, draws);

    InvalidateRect(State.MainWindow, nullptr, FALSE);
    EXPECT_EQ(Send(WM_PAINT), 0);
    EXPECT_EQ(Info().Paints, paints + 1);
    EXPECT_GT(Info().Draws, draws);
    EXPECT_EQ(State.PaintDC, nullptr);
    EXPECT_EQ(core::CountContexts(), 0);
}

TEST_F(WindowProcTest, DeactivationTouchesNothingAndActivationRealisesAndRedraws) {
    const int realized = Realizations();
    const int draws = Info().Draws;
    EXPECT_EQ(Send(WM_ACTIVATEAPP, 0), 0);
    EXPECT_EQ(Send(WM_ACTIVATEAPP, (WPARAM)1 << 32), 0) << "only the low 32 bits count";
    EXPECT_EQ(Realizations(), realized);
    EXPECT_EQ(Info().Draws, draws);

    core::SetForeground(State.MainWindow);
    const int realizedNow = Realizations();
    const int drawsNow = Info().Draws;
    EXPECT_EQ(Send(WM_ACTIVATEAPP, 1), 0);
    EXPECT_EQ(Realizations(), realizedNow + 1);
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
    EXPECT_TRUE(AnimationTimerRuns());
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
    EXPECT_FALSE(AnimationTimerRuns());
}

TEST_F(WindowProcTest, OtherMessagesGoToTheDefaultProcedure) {
    EXPECT_EQ(Send(WM_KEYDOWN, 'Q'), 0);
    EXPECT_NE(State.WindowOpen, 0) << "only WM_CHAR is a key";
    EXPECT_EQ(Send(WM_CLOSE), 0);
    EXPECT_FALSE(Info().Alive);
    EXPECT_TRUE(core::QuitPending());
}

}  // namespace
