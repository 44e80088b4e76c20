// The buffered image list: read once with the progress window, fetched by sharing arrays.
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "playback/image_list.h"
#include "tests/playback/engine_test_helpers.h"
#include "tests/rm/rm_test_helpers.h"

namespace {

// The list is made for the default -max.
constexpr int32_t Frames = static_cast<int32_t>(DefaultMaxFrames);

class ImageListTest : public ViewerTest {
   protected:
    std::span<Image> list;  // State.ImageList, which the next test's reset frees

    void Open(const std::vector<rmwriter::Frame>& frames) {
        rmwriter::Metafile file;
        for (const auto& f : frames) file.AddFrame(f);
        if (frames.empty()) file.AddJunk(2);
        OpenMetafile(file, "list.rm");
        SelectFrames();
        State.ImageList = static_cast<Image*>(std::calloc(State.MaxFrames, sizeof(Image)));
        ASSERT_NE(State.ImageList, nullptr);
        list = {State.ImageList, State.MaxFrames};
    }

    std::vector<const core::WindowRecord*> ProgressWindows() {
        std::vector<const core::WindowRecord*> found;
        for (HWND h : core::WindowsInOrder())
            if (core::AnyWindow(h)->Class->Name == "Static") found.push_back(core::AnyWindow(h));
        return found;
    }
};

TEST_F(ImageListTest, ReadsEveryImageCountingInTheProgressWindow) {
    Open({ColourFrame(8, 4, 1), ColourFrame(8, 4, 2), ColourFrame(12, 6, 3)});
    State.WL = 1, State.WR = 2, State.WT = 3, State.WB = 4, State.WW = 5, State.WH = 6;
    EXPECT_EQ(FillImageList(list.data(), Frames), 2);
    auto progress = ProgressWindows();
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0]->TextHistory, (std::vector<std::string>{"", "1", "2", "3"}));
    EXPECT_FALSE(progress[0]->Alive);
    EXPECT_EQ(progress[0]->Style & WS_POPUP, WS_POPUP);
    EXPECT_EQ((std::vector<int32_t>{State.WL, State.WR, State.WT, State.WB, State.WW, State.WH}),
              (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].Index, i);
        EXPECT_NE(list[i].Pixels, nullptr);
    }
    EXPECT_EQ(list[2].IW, 12);
    EXPECT_NE(list[1].LUT, list[0].LUT);  // every frame its own colours
    EXPECT_EQ(list[2].LUT[5].Red, ColourFrame(12, 6, 3).colors.Red[5]);
}

TEST_F(ImageListTest, NoProgressWindowWithoutInfoAndStopsAtTheCount) {
    Open({ColourFrame(8, 4, 1), ColourFrame(8, 4, 2), ColourFrame(8, 4, 3)});
    State.ShowInfo = 0;
    EXPECT_EQ(FillImageList(list.data(), 2), 1);
    EXPECT_TRUE(ProgressWindows().empty());
}

TEST_F(ImageListTest, AProgressWindowThatCannotBeCreatedDoesNotStopReading) {
    Open({ColourFrame(8, 4, 1), ColourFrame(8, 4, 2)});
    HeadlessSetFault(core::Call::CreateWindow);
    EXPECT_EQ(FillImageList(list.data(), Frames), 1);
}

TEST_F(ImageListTest, ASingleColormapIsSharedByEveryEntry) {
    Open({ColourFrame(8, 4, 1), ColourFrame(8, 4, 2), ColourFrame(8, 4, 3)});
    State.MultipleColormaps = 0;
    EXPECT_EQ(FillImageList(list.data(), Frames), 2);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(list[i].LUT, list[0].LUT);
        EXPECT_EQ(list[i].LUTSize, list[0].LUTSize);
        EXPECT_EQ(list[i].ColorFlag, list[0].ColorFlag);
    }
}

TEST_F(ImageListTest, NothingReadableIsFatal) {
    for (int count : {Frames, 0, -3}) {
        ResetViewer();
        Open(count == Frames ? std::vector<rmwriter::Frame>{} : std::vector{ColourFrame(8, 4, 1)});
        EXPECT_EQ(FatalText([&] { FillImageList(list.data(), count); }),
                  "Error: File is not in Raster Metafile format")
            << count;
        for (const auto* w : ProgressWindows()) EXPECT_FALSE(w->Alive);
    }
}

TEST_F(ImageListTest, StoredImagesShareArraysAndMarkSizeChanges) {
    Open({ColourFrame(8, 4, 1), ColourFrame(8, 4, 2), ColourFrame(12, 6, 3)});
    FillImageList(list.data(), Frames);
    State.WL = 0, State.WR = 99, State.WT = 0, State.WB = 49, State.WW = 100, State.WH = 50;
    Image shown;
    InitImage(shown);
    GetStoredImage(shown, list.data(), 0);
    EXPECT_EQ(shown.Pixels, list[0].Pixels);
    EXPECT_EQ(shown.LUT, list[0].LUT);
    EXPECT_EQ(shown.IL, 46);  // placed for the real client area
    EXPECT_EQ(shown.IT, 23);
    State.ResizePending = 0;
    GetStoredImage(shown, list.data(), 1);
    EXPECT_EQ(State.ResizePending, 0);  // same size
    GetStoredImage(shown, list.data(), 2);
    EXPECT_EQ(State.ResizePending, 1);
    EXPECT_EQ(shown.Index, 2);
}

TEST_F(ImageListTest, AnIndexBeyondTheListIsFatal) {
    Open({ColourFrame(8, 4, 1)});
    FillImageList(list.data(), Frames);
    Image shown;
    InitImage(shown);
    EXPECT_EQ(FatalText([&] { GetStoredImage(shown, list.data(), State.MaxFrames); }),
              "Error: Attempt to read invalid image (512) from list");
}

// Frames large enough for arrays of their own pages: each entry still holds exactly its own
// frame, zero where the frame writes nothing, and the arrays do not overlap.
TEST_F(ImageListTest, LargeEntriesEachHoldTheirOwnZeroedArray) {
    std::vector<rmwriter::Frame> frames = {PatternFrame(1100, 1000, 1), PatternFrame(1100, 1000, 2),
                                           PatternFrame(1100, 1000, 3)};
    for (auto& row : frames[1].rows) row.resize(700);  // the rest of each row is never written
    Open(frames);
    State.ShowInfo = 0;
    ASSERT_EQ(FillImageList(list.data(), 3), 2);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(list[i].PixelsSize, size_t{1100} * 1000);
        EXPECT_EQ(ArrayOf(list[i]), ExpectedArray(frames[i], list[i].ScanLineWidth)) << i;
        for (int j = 0; j < i; ++j)
            EXPECT_TRUE(list[i].Pixels + list[i].PixelsSize <= list[j].Pixels ||
                        list[j].Pixels + list[j].PixelsSize <= list[i].Pixels);
    }
}

}  // namespace
