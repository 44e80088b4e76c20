// GetFileImage: reading forward, seeking back, selections, size changes and the colormap rule.
#include <cstring>

#include "rm/frame_locator.h"
#include "tests/rm/rm_test_helpers.h"

using rmwriter::Frame;
using rmwriter::Metafile;

class LocatorTest : public ReaderTest {
   protected:
    // A file of `count` pattern frames of one size; junk blocks before the first and
    // between frames when `gaps`.
    std::vector<Frame> WriteFrames(int count, bool gaps = false, int width = 13, int height = 7) {
        std::vector<Frame> frames;
        Metafile m;
        if (gaps) m.AddJunk(2);
        for (int i = 0; i < count; ++i) {
            frames.push_back(PatternFrame(width, height, i));
            if (gaps) frames.back().junkBeforeStream = i % 3;
            m.AddFrame(frames.back());
            if (gaps) m.AddJunk(i + 1);
        }
        OpenMetafile(m);
        return frames;
    }
    void ExpectFrame(const Frame& frame) {
        EXPECT_EQ(image.IW, frame.header.Width);
        EXPECT_EQ(image.IH, frame.header.Height);
        EXPECT_EQ(ArrayOf(image), ExpectedArray(frame, image.ScanLineWidth));
    }
};

TEST_F(LocatorTest, ReadsEveryFrameInTurnThroughGapsAndJunk) {
    for (bool gaps : {false, true}) {
        ResetViewer();
        SetUp();
        std::vector<Frame> frames = WriteFrames(5, gaps);
        SelectFrames();
        for (uint32_t i = 0; i < 5; ++i) {
            ASSERT_EQ(GetFileImage(image, i), static_cast<int32_t>(i)) << gaps;
            EXPECT_EQ(image.Index, static_cast<int32_t>(i));
            ExpectFrame(frames[i]);
            EXPECT_EQ(State.LastFileImage, static_cast<int32_t>(i));
        }
        // The end: -1, positions kept, the record unchanged.
        std::vector<uint8_t> before = ArrayOf(image);
        EXPECT_EQ(GetFileImage(image, 5), -1);
        EXPECT_EQ(State.LastFileImage, 4);
        EXPECT_EQ(ArrayOf(image), before);
        EXPECT_EQ(image.Index, 4);
        // Every frame is found again by seeking.
        for (uint32_t i : {3u, 0u, 4u}) {
            ASSERT_EQ(GetFileImage(image, i), static_cast<int32_t>(i));
            ExpectFrame(frames[i]);
        }
    }
}

TEST_F(LocatorTest, FirstCallRecordsOffsetZeroAndLogsEveryStep) {
    WriteFrames(2);
    SelectFrames();
    CapturedLog log(10);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(State.ImageFilePositions[0], 0);
    EXPECT_EQ(log.Text(),
              "Getting Image #0/0\n"
              " - New One In File (0/0)\n"
              "Entering GetHeader\n"
              "Image WxH = 13x7\n"
              "Leaving GetHeader\n"
              "WL = 0, WR = 99, WT = 0, WB = 99, WW = 100, WH = 100\n"
              "IL = 43, IR = 55, IT = 46, IB = 52, IW = 13, IH = 7\n"
              "ScanLineWidth = 16\n"
              "Creating New LUT of size 256\n"
              "Leaving GetLUT\n"
              "Allocating Image Array (size = 112)\n"
              "addto = -16\n"
              "Leaving GetFileImage\n");
}

TEST_F(LocatorTest, SkipsFramesOfASelection) {
    std::vector<Frame> frames = WriteFrames(8);
    SelectFrames(0, 3);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    CapturedLog log(4);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    ExpectFrame(frames[3]);
    EXPECT_EQ(log.Text(),
              "Getting Image #1/3\n - New One In File (1/3)\nSkipping to next\nSkipping to next\n"
              "Image WxH = 13x7\n"
              "WL = 0, WR = 99, WT = 0, WB = 99, WW = 100, WH = 100\n"
              "IL = 43, IR = 55, IT = 46, IB = 52, IW = 13, IH = 7\nScanLineWidth = 16\n");
    EXPECT_EQ(State.LastFileImage, 3);
    for (int n = 1; n <= 3; ++n)
        EXPECT_GT(State.ImageFilePositions[n], State.ImageFilePositions[n - 1]);
}

TEST_F(LocatorTest, SeekingBackToFrameZeroAndReadingOn) {
    std::vector<Frame> frames = WriteFrames(3, true);
    SelectFrames();
    ASSERT_EQ(GetFileImage(image, 0), 0);
    {
        CapturedLog log(4);
        ASSERT_EQ(GetFileImage(image, 0), 0);
        EXPECT_EQ(log.Text(),
                  "Getting Image #0/0\n - Old One In File (0/0)\nImage WxH = 13x7\n"
                  "WL = 0, WR = 99, WT = 0, WB = 99, WW = 100, WH = 100\n"
                  "IL = 43, IR = 55, IT = 46, IB = 52, IW = 13, IH = 7\nScanLineWidth = 16\n");
    }
    ExpectFrame(frames[0]);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    ExpectFrame(frames[1]);
    // File image 0 sits behind two junk blocks; file image 1 behind frame 0 and its junk.
    EXPECT_EQ(State.ImageFilePositions[0], 2 * BlockSize);
    EXPECT_EQ(State.ImageFilePositions[1], (2 + 1 + 1 + 1 + 1) * BlockSize);
}

TEST_F(LocatorTest, SeekingBackSetsTheBlockNumber) {
    WriteFrames(2);
    SelectFrames();
    ASSERT_EQ(GetFileImage(image, 0), 0);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    EXPECT_EQ(State.BlockNumber, 5);  // header, LUT, stream: 3 blocks a frame
    // A stream that stops right after the header: the seek shows in the block number.
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(State.BlockNumber, 2);
}

TEST_F(LocatorTest, BeyondTheSelectionReadsNothing) {
    WriteFrames(2);
    SelectFrames();
    State.FileImageNumber[1] = AllOnes;
    for (uint32_t index : {1u, State.MaxFrames, AllOnes}) {
        CapturedLog log(4);
        EXPECT_EQ(GetFileImage(image, index), -1);
        EXPECT_EQ(log.Text(), "Getting Image #" + std::to_string(static_cast<int>(index)) +
                                  "/-1\nBeyond FileImageNumber\n");
        EXPECT_EQ(State.BlockNumber, -1);
    }
}

TEST_F(LocatorTest, EndOfFileWhileSearchingKeepsWhatWasFound) {
    WriteFrames(3);
    SelectFrames(0, 2);
    ASSERT_EQ(GetFileImage(image, 0), 0);
    ASSERT_EQ(GetFileImage(image, 1), 1);  // file image 2
    CapturedLog log(4);
    EXPECT_EQ(GetFileImage(image, 2), -1);  // file image 4 is not there
    EXPECT_EQ(log.Text(), "Getting Image #2/4\n - New One In File (2/4)\nFailed to read\n");
    EXPECT_EQ(State.LastFileImage, 2);
    SelectFrames();
    EXPECT_EQ(GetFileImage(image, 1), 1);  // file image 1, recorded on the way
}

TEST_F(LocatorTest, ASizeChangeReplacesTheArray) {
    Metafile m;
    Frame a = PatternFrame(8, 4, 1);
    Frame b = PatternFrame(8, 4, 2);
    Frame c = PatternFrame(9, 4, 3);
    // b codes only half of each row: a's pixels remain in the other half.
    for (auto& row : b.rows) row.resize(4);
    m.AddFrame(a);
    m.AddFrame(b);
    m.AddFrame(c);
    OpenMetafile(m);
    SelectFrames();
    ASSERT_EQ(GetFileImage(image, 0), 0);
    State.ResizePending = 0;
    uint8_t* first = image.Pixels;
    ASSERT_EQ(GetFileImage(image, 1), 1);
    EXPECT_EQ(image.Pixels, first);
    EXPECT_EQ(State.ResizePending, 0);
    EXPECT_EQ(ArrayOf(image), ExpectedArray(b, 8, ExpectedArray(a, 8)));
    CapturedLog log(5);
    ASSERT_EQ(GetFileImage(image, 2), 2);
    EXPECT_NE(log.Text().find("Image WxH = 9x4\nChange in image size, resizing\nWL = "),
              std::string::npos);
    EXPECT_NE(log.Text().find("\nAllocating Image Array (size = 48)\n"), std::string::npos);
    EXPECT_EQ(State.ResizePending, 1);
    EXPECT_EQ(image.ScanLineWidth, 12);
    EXPECT_EQ(ArrayOf(image), ExpectedArray(c, 12));
}

TEST_F(LocatorTest, SingleColormapReadsOnlyTheFirstLUT) {
    Metafile m;
    Frame a = PatternFrame(5, 3, 1, 8);
    Frame b = PatternFrame(5, 3, 2, 4);
    b.header.ColorFlag = 1;  // three LUT blocks to pass over
    b.colors = rmwriter::ColourRamp(4);
    m.AddFrame(a);
    m.AddFrame(b);
    OpenMetafile(m);
    SelectFrames();
    State.MultipleColormaps = 0;
    ASSERT_EQ(GetFileImage(image, 0), 0);
    EXPECT_EQ(State.LUTLoaded, 1);
    LUTEntry* lut = image.LUT;
    CapturedLog log(9);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    EXPECT_EQ(log.Text().find("LUT"), std::string::npos);
    EXPECT_EQ(image.LUT, lut);
    EXPECT_EQ(image.LUTSize, 256);
    EXPECT_EQ(image.LUT[255].Red, 255);
    EXPECT_EQ(ArrayOf(image), ExpectedArray(b, 8));
}

TEST_F(LocatorTest, GreyConversionOfEveryFrame) {
    Metafile m;
    Frame f = PatternFrame(4, 1, 0, 2);
    f.header.ColorFlag = 1;
    f.colors.Red = {9, 255, 0, 0};
    f.colors.Green = {9, 0, 255, 0};
    f.colors.Blue = {9, 0, 0, 255};
    m.AddFrame(f);
    OpenMetafile(m);
    SelectFrames();
    State.Grayscale = 1;
    ASSERT_EQ(GetFileImage(image, 0), 0);
    ASSERT_EQ(image.LUTSize, 4);
    const uint8_t grey[] = {0, 76, 150, 28};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(image.LUT[i].Red, grey[i]);
        EXPECT_EQ(image.LUT[i].Green, grey[i]);
        EXPECT_EQ(image.LUT[i].Blue, grey[i]);
    }
}

TEST_F(LocatorTest, AHeaderPastTheTableIsFatal) {
    WriteFrames(3);
    State.MaxFrames = 2;
    SelectFrames();
    ASSERT_EQ(GetFileImage(image, 0), 0);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    // The table of positions was made for two; a larger MaxFrames later does not grow it.
    State.MaxFrames = 3;
    SelectFrames();
    CapturedLog log(1);
    EXPECT_EQ(
        FatalText([&] { GetFileImage(image, 2); }),
        "Error: Too many images in Raster Metafile (MAX = 2)\n\tSet \"-max\" parameter higher");
    EXPECT_NE(log.Text().find("Fatal error in routine \"GetFileImage\"\n"), std::string::npos);
    EXPECT_EQ(State.BlockNumber, 6);
}

TEST_F(LocatorTest, ARecordedPositionThatCannotBeReadIsFatal) {
    WriteFrames(2);
    SelectFrames();
    ASSERT_EQ(GetFileImage(image, 0), 0);
    ASSERT_EQ(GetFileImage(image, 1), 1);
    State.ImageFilePositions[1] = 1 << 20;  // past the end of the file
    EXPECT_EQ(FatalText([&] { GetFileImage(image, 1); }),
              "Error: Header not found on return to previous file position");
    EXPECT_EQ(State.BlockNumber, (1 << 20) / BlockSize);
}
