// Hostile input: whatever a file holds, nothing is written outside the image array (the
// sanitizer build checks that too), nothing is allocated from an overflowing size, and
// pixels that would fall outside the array are dropped while the rest of the frame decodes.
#include <unistd.h>

#include <cstring>

#include "rm/frame_locator.h"
#include "rm/rle_decoder.h"
#include "tests/rm/rm_test_helpers.h"
#include "tests/rm/sample_files.h"

using rmwriter::Metafile;

class SafetyTest : public ViewerTest {
   protected:
    void SetUp() override {
        ViewerTest::SetUp();
        FreeImage(image);  // a case run again from the same test starts empty
        SelectFrames();
    }
    // One grey frame of `width` x `height` with the raw stream `words` (end of frame added).
    void OpenRaw(int width, int height, std::vector<uint16_t> words) {
        words.push_back(0x7000);  // end of frame
        OpenMetafile(RawStream(width, height, words));
    }
    ScopedImage image;
};

TEST_F(SafetyTest, PixelsOutsideTheArrayAreDroppedAndTheFrameGoesOn) {
    struct Case {
        const char* what;
        int width, height;
        std::vector<uint16_t> words;
        std::vector<uint8_t> array;
    } cases[] = {
        {"a run past the end", 3, 2, {0x1001, 0x0FFF, 0x3002}, {0, 0, 0, 0, 1, 2, 2, 2}},
        {"a fill past the end", 3, 2, {0xDFFF, 0x1001}, {0, 0, 0, 0, 0xF0, 0xF0, 0xF0, 0xF0}},
        {"literal pixels past the end",
         1,
         1,
         {0x1001, 0x1002, 0x1003, 0x1004, 0x1005},
         {1, 2, 3, 4}},
        {"more scan lines than rows",
         2,
         2,
         {0x1001, 0x6000, 0x1002, 0x6000, 0x1003, 0x6000, 0x1004},
         {2, 0, 0, 0, 1, 0, 0, 0}},
        {"a run reaching back into the array from before it",
         4,
         2,
         {0x6000, 0x6000, 0x6000, 0x000A, 0x3007},
         {7, 7, 0, 0, 0, 0, 0, 0}},
        {"a fill from before the array to past its end",
         4,
         2,
         {0x6000, 0x6000, 0xD00F},
         {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0}},
        {"a spent run repeated writes nothing",
         4,
         2,
         {0x3005, 0x0002, 0x3006, 0x3007, 0x1009},
         {0, 0, 0, 0, 6, 6, 9, 0}},
    };
    for (const Case& c : cases) {
        ResetViewer();
        SetUp();
        OpenRaw(c.width, c.height, c.words);
        ASSERT_EQ(GetFileImage(image, 0), 0) << c.what;
        EXPECT_EQ(ArrayOf(image), c.array) << c.what;
    }
}

TEST_F(SafetyTest, ThousandsOfLinesPastTheStartDoNotWrapAround) {
    std::vector<uint16_t> words(3000, 0x6000);
    for (int i = 0; i < 3000; ++i) words.push_back(0xDFFF);  // 12 million pixels forward
    words.push_back(0x1005);
    OpenRaw(4, 1, words);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(ArrayOf(image), (std::vector<uint8_t>{0xF0, 0xF0, 0xF0, 0xF0}));
}

TEST_F(SafetyTest, NegativeWidthAdjustLeavesRoomForTheLongerFirstLine) {
    // Header width 8, WidthAdjust -4: IW 4, ScanLineWidth 4, four spare bytes. The file's
    // first scan line (8 pixels) runs on into the spare bytes; the last one into the row above.
    State.WidthAdjust = -4;
    rmwriter::Frame f = PatternFrame(8, 2, 0);
    f.rows = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
    f.useFill = false;
    Metafile m;
    m.AddFrame(f);
    OpenMetafile(m);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(image.IW, 4);
    EXPECT_EQ(ArrayOf(image), (std::vector<uint8_t>{9, 10, 11, 12, 13, 14, 15, 16, 5, 6, 7, 8}));
}

TEST_F(SafetyTest, SizesAreCheckedBeforeAllocating) {
    struct Case {
        int32_t width, height, adjust;
        const char* text;
    } cases[] = {
        {65536, 65536, 0, "Error: Cannot allocate memory for image array (4294967296)"},
        {65536, 32768, 0, "Error: Cannot allocate memory for image array (2147483648)"},
        {INT32_MAX, 1, 0, "Error: Cannot allocate memory for image array (2147483648)"},
        {INT32_MAX, 1, -2, "Error: Cannot allocate memory for image array (2147483650)"},
        {INT32_MAX, 1, 1, "Error: Width of image (-2147483648) must be > 0"},
        {5, 1, -5, "Error: Width of image (0) must be > 0"},
    };
    for (const Case& c : cases) {
        ResetViewer();
        SetUp();
        State.WidthAdjust = c.adjust;
        rmwriter::Header h;
        h.Width = c.width;
        h.Height = c.height;
        Metafile m;
        m.AddHeader(h);
        m.AddColorTable(h, rmwriter::GreyRamp(8));
        OpenMetafile(m);
        EXPECT_EQ(FatalText([&] { GetFileImage(image, 0); }), c.text) << c.width << "x" << c.height;
        EXPECT_EQ(image.Pixels, nullptr);
    }
}

TEST_F(SafetyTest, TheLargestArrayThatFitsIsAccepted) {
    // 2^31 - 4 bytes is under the limit; the allocation is lazy, so this costs no memory
    // until written (only the first row is).
    rmwriter::Header h;
    h.Width = 65532;
    h.Height = 32769;
    Metafile m;
    m.AddHeader(h);
    m.AddColorTable(h, rmwriter::GreyRamp(8));
    m.BeginStream();
    m.Literal(7);
    m.EndOfFrame();
    m.EndBlock();
    OpenMetafile(m);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(image.PixelsSize, size_t{65532} * 32769);
    EXPECT_EQ(image.Pixels[size_t{65532} * 32768], 7);
    FreeImageArray(image);
}
