#include "tests/support/test_support.h"

#include "platform/headless/headless_control.h"

class ViewerStateTest : public ViewerTest {};

TEST_F(ViewerStateTest, DefaultsBeforeTheCommandLine) {
    EXPECT_EQ(State.MaxFrames, 512u);
    EXPECT_EQ(State.MultipleColormaps, 1);
    EXPECT_EQ(State.BufferCount, 0u);
    EXPECT_EQ(State.Direction, 1);
    EXPECT_EQ(State.LastFrame, 2147483647u);
    EXPECT_EQ(State.BlockNumber, -1);
    EXPECT_EQ(State.ResizePending, 1);
    EXPECT_EQ(State.ShownImage, AllOnes);
    EXPECT_STREQ(State.WindowClassName, "KinaroWndClass");
}

TEST_F(ViewerStateTest, MouseButtonNumbering) {
    struct Case {
        DWORD version;
        int buttons;
        int middle, right;
    } cases[] = {
        {0x0A00, 3, 2, 3},      // current system, three buttons: right quits
        {0x0A00, 2, 3, 2},      // two buttons: right plays forward
        {0x80000003, 3, 3, 2},  // old system: right always plays forward
        {0x80000004, 3, 2, 3},  // top bit set but major version 4: not old
        {0x00000003, 3, 2, 3},  // major version 3 without the top bit: not old
    };
    for (const Case& c : cases) {
        Headless().Version = c.version;
        Headless().Metrics[SM_CMOUSEBUTTONS] = c.buttons;
        InitDefaults();
        EXPECT_EQ(State.LeftButton, 1);
        EXPECT_EQ(State.MiddleButton, c.middle) << std::hex << c.version << " " << c.buttons;
        EXPECT_EQ(State.RightButton, c.right) << std::hex << c.version << " " << c.buttons;
    }
}
