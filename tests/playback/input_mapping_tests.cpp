// Keys, menu items and mouse buttons become modes, directions, pauses and commands.
#include <string>

#include "platform/headless/headless_control.h"
#include "playback/bindings.h"
#include "playback/input_mapping.h"
#include "resources/resource_ids.h"
#include "shell/info_boxes.h"
#include "tests/support/test_support.h"

namespace {

class InputMappingTest : public ViewerTest {
   protected:
    PlaybackCommand Event(UINT message, WPARAM wParam = 0) {
        State.EventMessage = message;
        State.EventWParam = wParam;
        return GetEvent();
    }
    PlaybackCommand Char(int c) { return Event(WM_CHAR, static_cast<WPARAM>(c)); }
};

struct KeyCase {
    int key;
    int32_t mode;
    int16_t direction;
    PlaybackCommand command;
};

// From Mode Loop, Direction -1, Wait 100: what each character leaves and returns.
constexpr KeyCase KeyCases[] = {
    {27, Quit, -1, CmdQuit},
    {'Q', Quit, -1, CmdQuit},
    {'q', Quit, -1, CmdQuit},
    {' ', Stopped, -1, CmdStop},
    {'S', Stopped, -1, CmdStop},
    {'s', Stopped, -1, CmdStop},
    {'+', Stopped, -1, CmdStepForward},
    {'=', Stopped, -1, CmdStepForward},
    {'-', Stopped, -1, CmdStepBackward},
    {'_', Stopped, -1, CmdStepBackward},
    {'1', Stopped, 1, CmdFirst},
    {'F', Forward, 1, CmdStepForward},
    {'f', Forward, 1, CmdStepForward},
    {'B', Backward, -1, CmdStepBackward},
    {'b', Backward, -1, CmdStepBackward},
    {'L', Loop, 1, CmdStepForward},
    {'l', Loop, 1, CmdStepForward},
    {'C', Cycle, -1, CmdStepBackward},
    {'c', Cycle, -1, CmdStepBackward},
    {'R', Loop, -1, CmdRedraw},
    {'r', Loop, -1, CmdRedraw},
    {'x', Loop, -1, CmdNone},
    {'2', Loop, -1, CmdNone},
    {0xE9, Loop, -1, CmdNone},  // above 127
    {0xF1, Loop, -1, CmdNone},
    {'\r', Loop, -1, CmdNone},
    {0x100 | 'q', Quit, -1, CmdQuit},  // only the low byte counts
};

TEST_F(InputMappingTest, KeyTableWithCaseFolding) {
    for (const KeyCase& c : KeyCases) {
        SCOPED_TRACE("key " + std::to_string(c.key));
        State.Mode = Loop;
        State.Direction = -1;
        State.Wait = 100;
        EXPECT_EQ(Char(c.key), c.command);
        EXPECT_EQ(State.Mode, c.mode);
        EXPECT_EQ(State.Direction, c.direction);
        EXPECT_EQ(State.Wait, 100);
    }
}

TEST_F(InputMappingTest, CharacterZeroRepeatsTheMode) {
    for (int32_t mode : {Stopped, Forward, Backward, Loop, Cycle}) {
        State.Mode = mode;
        EXPECT_EQ(Char(0), mode);
        EXPECT_EQ(State.Mode, mode);
    }
}

TEST_F(InputMappingTest, CycleKeyFollowsTheLastDirection) {
    Char('B');
    EXPECT_EQ(Char('C'), CmdStepBackward);
    Char('F');
    EXPECT_EQ(Char('C'), CmdStepForward);
    Char('b');
    Char('L');
    EXPECT_EQ(Char('c'), CmdStepForward);
}

TEST_F(InputMappingTest, SpeedKeysKeepWaitAtZeroOrAbove) {
    struct Case {
        int32_t before;
        char key;
        int32_t after;
    } cases[] = {
        {30, '>', 0},
        {0, '>', 0},
        {50, '.', 0},
        {120, '>', 70},
        {0, '<', 50},
        {100, ',', 150},
        {2147483600, '<', 2147483647},
    };
    for (const Case& c : cases) {
        State.Wait = c.before;
        State.Mode = Forward;
        EXPECT_EQ(Char(c.key), CmdNone);
        EXPECT_EQ(State.Wait, c.after) << c.before << c.key;
        EXPECT_EQ(State.Mode, Forward);
    }
    State.Wait = 0;
    for (int i = 0; i < 3; ++i) Char('<');
    EXPECT_EQ(State.Wait, 150);
}

TEST_F(InputMappingTest, MenuItemsActAsTheirKeys) {
    struct Case {
        int id;
        char key;
    } cases[] = {
        {IDM_GO_FORWARD, 'F'},    {IDM_GO_BACKWARD, 'B'}, {IDM_GO_CYCLE, 'C'},
        {IDM_GO_LOOP, 'L'},       {IDM_GO_STOP, 'S'},     {IDM_GO_FASTER, '>'},
        {IDM_GO_SLOWER, '<'},     {IDM_GO_EXIT, 'Q'},     {IDM_STEP_FORWARD, '+'},
        {IDM_STEP_BACKWARD, '-'}, {IDM_STEP_FIRST, '1'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        State.Mode = Cycle;
        State.Direction = -1;
        State.Wait = 100;
        PlaybackCommand byKey = Char(c.key);
        const int32_t mode = State.Mode, direction = State.Direction, wait = State.Wait;
        State.Mode = Cycle;
        State.Direction = -1;
        State.Wait = 100;
        EXPECT_EQ(Event(WM_COMMAND, static_cast<WPARAM>(c.id)), byKey);
        EXPECT_EQ(State.Mode, mode);
        EXPECT_EQ(State.Direction, direction);
        EXPECT_EQ(State.Wait, wait);
    }
    // The command id is the low 16 bits; ids without an item do nothing.
    EXPECT_EQ(Event(WM_COMMAND, 0x10000u | IDM_GO_EXIT), CmdQuit);
    for (int id : {0, 40001, 40006, 40017, 65535}) {
        State.Mode = Loop;
        EXPECT_EQ(Event(WM_COMMAND, static_cast<WPARAM>(id)), CmdNone) << id;
        EXPECT_EQ(State.Mode, Loop);
    }
}

TEST_F(InputMappingTest, HelpItemsOpenTheirBoxes) {
    struct Case {
        int id;
        const char* title;
    } cases[] = {
        {IDM_HELP_ABOUT, "Kinaro Info"},
        {IDM_HELP_CONTROLS, "Kinaro Controls"},
        {IDM_HELP_OPTIONS, "Kinaro Usage"},
    };
    for (const Case& c : cases) {
        State.Mode = Forward;
        size_t before = Headless().Boxes.size();
        EXPECT_EQ(Event(WM_COMMAND, static_cast<WPARAM>(c.id)), CmdNone);
        ASSERT_EQ(Headless().Boxes.size(), before + 1);
        EXPECT_EQ(Headless().Boxes.back().Title, c.title);
        EXPECT_EQ(State.Mode, Forward);
    }
}

TEST_F(InputMappingTest, DestroyQuitsWithoutTouchingTheMode) {
    State.Mode = Loop;
    EXPECT_EQ(Event(WM_DESTROY), CmdQuit);
    EXPECT_EQ(State.Mode, Loop);
    EXPECT_EQ(Event(WM_MOUSEMOVE), CmdNone);
    EXPECT_EQ(Event(WM_KEYDOWN, 'Q'), CmdNone);
}

struct MouseCase {
    int buttons;
    UINT press;
    int32_t mode;
    PlaybackCommand command;
};

TEST_F(InputMappingTest, MouseButtonsOnTwoAndThreeButtonMice) {
    const MouseCase cases[] = {
        {3, WM_LBUTTONDOWN, Backward, CmdStepBackward},
        {3, WM_MBUTTONDOWN, Forward, CmdStepForward},
        {3, WM_RBUTTONDOWN, Quit, CmdQuit},
        {2, WM_LBUTTONDOWN, Backward, CmdStepBackward},
        {2, WM_RBUTTONDOWN, Forward, CmdStepForward},
        {2, WM_MBUTTONDOWN, Quit, CmdQuit},
    };
    for (const MouseCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.buttons) + " buttons, message " + std::to_string(c.press));
        ResetViewer();
        Headless().Metrics[SM_CMOUSEBUTTONS] = c.buttons;
        InitDefaults();
        State.Direction = -1;
        EXPECT_EQ(Event(c.press), c.command);
        EXPECT_EQ(State.Mode, c.mode);
        EXPECT_EQ(State.Direction, -1);  // the mouse never turns the cycle
        // Releasing it: buttons 1 and 2 stop, button 3 quits again.
        EXPECT_EQ(Event(c.press + 1), c.command == CmdQuit ? CmdQuit : CmdStop);
        EXPECT_EQ(State.Mode, c.command == CmdQuit ? Quit : Stopped);
    }
}

TEST_F(InputMappingTest, ReleaseOfAnotherButtonChangesNothing) {
    EXPECT_EQ(Event(WM_LBUTTONUP), Stopped);  // nothing pressed yet
    Event(WM_MBUTTONDOWN);                    // button 2: forward
    ASSERT_EQ(State.Mode, Forward);
    EXPECT_EQ(Event(WM_LBUTTONUP), Forward);  // not the button held: Mode repeated
    EXPECT_EQ(State.Mode, Forward);
    EXPECT_EQ(State.PressedButton, 2);
    EXPECT_EQ(Event(WM_MBUTTONUP), CmdStop);
    EXPECT_EQ(State.Mode, Stopped);
    EXPECT_EQ(State.PressedButton, 2);  // kept after the release
}

TEST_F(InputMappingTest, AButtonNumberOutsideOneToThreeIsFatal) {
    State.RightButton = 5;
    int status = ExpectProcessEnd([&] { Event(WM_RBUTTONDOWN); });
    EXPECT_EQ(status, -1);
    EXPECT_EQ(Headless().Boxes.back().Text, "Error: Mouse button error (5)");
}

// The Controls box is written by hand; it must name only bound inputs, and every key a menu
// item acts as.
TEST(BindingTableTest, TheControlsBoxNamesTheBoundKeys) {
    const std::string text = ControlsText();
    std::string named;
    for (size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at + 3)) {
        ASSERT_EQ(text[at + 2], '"') << text.substr(at);
        named += text[at + 1];
    }
    if (text.find("SpaceBar") != std::string::npos) named += ' ';
    if (text.find("Escape") != std::string::npos) named += '\x1b';
    for (char key : named) EXPECT_NE(FindBinding(InputKind::Key, key), nullptr) << key;
    for (const Binding& b : Bindings)
        if (b.Action == Effect::AsKey) {
            EXPECT_NE(named.find(b.Key), std::string::npos) << b.Key;
        }
    for (int button = 1; button <= 3; ++button) {
        const char* ordinal[] = {"1st", "2nd", "3rd"};
        EXPECT_NE(text.find(std::string(ordinal[button - 1]) + " mouse button"), std::string::npos);
        EXPECT_NE(FindBinding(InputKind::Mouse, button), nullptr) << button;
    }
}

}  // namespace
