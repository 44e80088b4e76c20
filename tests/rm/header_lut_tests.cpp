// Block reader, frame header, colour table, grey conversion and placement.
#include <cstring>
#include <iterator>
#include "placement/placement.h"
#include "rm/block_reader.h"
#include "rm/frame_header.h"
#include "tests/rm/rm_test_helpers.h"

using rmwriter::Header;
using rmwriter::Metafile;

class HeaderTest : public ViewerTest {};

TEST_F(HeaderTest, ReadBlockCountsWholeBlocksAndIgnoresAShortTail) {
    Metafile m;
    m.AddJunk(2);
    m.MutableBytes().resize(2 * BlockSize + 100, 7);
    OpenMetafile(m);
    EXPECT_EQ(State.BlockNumber, -1);
    EXPECT_TRUE(ReadBlock());
    EXPECT_EQ(State.BlockNumber, 0);
    EXPECT_TRUE(ReadBlock());
    EXPECT_EQ(State.BlockNumber, 1);
    EXPECT_FALSE(ReadBlock());  // 100 bytes left: not a block
    EXPECT_EQ(State.BlockNumber, 2);
    EXPECT_FALSE(ReadBlock());
    EXPECT_EQ(State.BlockNumber, 3);
}

// Puts one header block into Block, as the locator leaves it.
static void LoadHeader(const Header& h) {
    Metafile m;
    m.AddHeader(h);
    std::memcpy(State.Block, m.Bytes().data(), BlockSize);
}

TEST_F(HeaderTest, DecodesTheFieldsAndAppliesWidthAdjust) {
    Header h;
    h.Width = 640;
    h.Height = 480;
    h.ColorFlag = 1;
    h.Depth = 4;
    h.Fill[0] = 9;
    h.Fill[1] = 200;
    h.Fill[2] = 255;
    LoadHeader(h);
    State.Block[33] = 0x77;  // only the first byte of a fill field counts
    State.WidthAdjust = -1;
    ScopedImage im;
    GetHeader(im);
    EXPECT_EQ(im.IW, 639);
    EXPECT_EQ(im.IH, 480);
    EXPECT_EQ(im.ColorFlag, 1);
    EXPECT_EQ(im.Depth, 4);
    EXPECT_EQ(im.FillValues[0], 9);
    EXPECT_EQ(im.FillValues[1], 200);
    EXPECT_EQ(im.FillValues[2], 255);
}

TEST_F(HeaderTest, RejectsBadFieldsInOrder) {
    struct Case {
        const char* what;
        void (*change)(Header&);
        const char* text;
    } cases[] = {
        {"components 3", [](Header& h) { h.Components = 3; },
         "Error: RGB images not supported (3)"},
        {"components 3 and flag 2",
         [](Header& h) {
             h.Components = 3;
             h.ColorFlag = 2;
         },
         "Error: RGB images not supported (3)"},
        {"flag 2", [](Header& h) { h.ColorFlag = 2; },
         "Error: Illegal color flag (2) in Raster Metafile"},
        {"flag 65535", [](Header& h) { h.ColorFlag = 65535; },
         "Error: Illegal color flag (65535) in Raster Metafile"},
        {"bits -1", [](Header& h) { h.BitsPerLUTEntry = -1; },
         "Error: Bits per LUT entry (-1) must be < = 8"},
        {"bits 9", [](Header& h) { h.BitsPerLUTEntry = 9; },
         "Error: Bits per LUT entry (9) must be < = 8"},
        {"depth 9", [](Header& h) { h.Depth = 9; }, "Error: Depth of image (9) must be < = 8"},
        {"depth -1", [](Header& h) { h.Depth = -1; }, "Error: Depth of image (-1) must be < = 8"},
        {"width 0", [](Header& h) { h.Width = 0; }, "Error: Width of image (0) must be > 0"},
        {"height -5", [](Header& h) { h.Height = -5; }, "Error: Height of image (-5) must be > 0"},
    };
    for (const Case& c : cases) {
        ResetViewer();
        Header h;
        h.Width = 8;
        h.Height = 8;
        c.change(h);
        LoadHeader(h);
        ScopedImage im;
        EXPECT_EQ(FatalText([&] { GetHeader(im); }), c.text) << c.what;
    }
}

TEST_F(HeaderTest, WidthAdjustCanMakeTheWidthIllegal) {
    Header h;
    h.Width = 3;
    h.Height = 2;
    LoadHeader(h);
    State.WidthAdjust = -3;
    ScopedImage im;
    EXPECT_EQ(FatalText([&] { GetHeader(im); }), "Error: Width of image (0) must be > 0");
}

TEST_F(HeaderTest, LogsSizeAndEntryAtTheirLevels) {
    Header h;
    h.Width = 5;
    h.Height = 6;
    LoadHeader(h);
    ScopedImage im;
    {
        CapturedLog log(1);
        GetHeader(im);
        EXPECT_EQ(log.Text(), "Image WxH = 5x6\n");
    }
    {
        CapturedLog log(9);
        GetHeader(im);
        EXPECT_EQ(log.Text(), "Entering GetHeader\nImage WxH = 5x6\nLeaving GetHeader\n");
    }
}

// Writes a header and its LUT, reads the header block, leaving the LUT to be read.
static void OpenHeaderAndLUT(const Header& h, const rmwriter::ColorTable& colors) {
    Metafile m;
    m.AddHeader(h);
    m.AddColorTable(h, colors);
    OpenMetafile(m);
    ASSERT_TRUE(ReadBlock());
}

TEST_F(HeaderTest, GreyLUTOfDepth8) {
    Header h;
    h.Depth = 8;
    rmwriter::ColorTable t;
    for (int i = 0; i < 256; ++i) t.Red.push_back(static_cast<uint8_t>(255 - i));
    t.HighByte = 0x3C;  // ignored
    OpenHeaderAndLUT(h, t);
    ScopedImage im;
    im.Depth = 8;
    im.ColorFlag = 0;
    GetLUT(im);
    EXPECT_EQ(State.BlockNumber, 1);  // one block for a grey table
    ASSERT_EQ(im.LUTSize, 256);
    EXPECT_EQ(im.LUT[0].Red, 0);  // entry 0 is always black
    EXPECT_EQ(im.LUT[0].Flags, 1);
    for (int i = 1; i < 256; ++i) {
        EXPECT_EQ(im.LUT[i].Red, 255 - i);
        EXPECT_EQ(im.LUT[i].Green, 255 - i);
        EXPECT_EQ(im.LUT[i].Blue, 255 - i);
        EXPECT_EQ(im.LUT[i].Flags, 1);
    }
}

TEST_F(HeaderTest, ColourLUTOfDepth4ReadsThreeBlocksAndEveryWord) {
    Header h;
    h.ColorFlag = 1;
    h.Depth = 4;
    rmwriter::ColorTable t;
    for (int i = 0; i < 256; ++i) {
        t.Red.push_back(static_cast<uint8_t>(i));
        t.Green.push_back(static_cast<uint8_t>(i + 1));
        t.Blue.push_back(static_cast<uint8_t>(i + 2));
    }
    OpenHeaderAndLUT(h, t);
    ScopedImage im;
    im.Depth = 4;
    im.ColorFlag = 1;
    CapturedLog log(6);
    GetLUT(im);
    EXPECT_EQ(log.Text(), "Creating New LUT of size 16\n");
    EXPECT_EQ(State.BlockNumber, 3);
    EXPECT_EQ(im.LUTSize, 16);
    EXPECT_EQ(im.LUT[0].Red + im.LUT[0].Green + im.LUT[0].Blue, 0);
    EXPECT_EQ(im.LUT[15].Red, 15);
    EXPECT_EQ(im.LUT[15].Green, 16);
    EXPECT_EQ(im.LUT[15].Blue, 17);
    EXPECT_EQ(im.LUT[255].Red, 255);  // the whole block lands in the table
    EXPECT_EQ(im.LUT[255].Blue, 1);   // 257 as a byte
}

TEST_F(HeaderTest, GreyLUTOfDepth4CopiesOnlyItsEntries) {
    Header h;
    h.Depth = 4;
    rmwriter::ColorTable t;
    for (int i = 0; i < 256; ++i) t.Red.push_back(static_cast<uint8_t>(i));
    OpenHeaderAndLUT(h, t);
    ScopedImage im;
    im.Depth = 4;
    GetLUT(im);
    EXPECT_EQ(im.LUT[15].Green, 15);
    EXPECT_EQ(im.LUT[16].Red, 16);
    EXPECT_EQ(im.LUT[16].Green, 0);
}

TEST_F(HeaderTest, LUTIsReusedForTheSameDepthAndReplacedForAnother) {
    Metafile m;
    Header h8;
    Header h4;
    h4.Depth = 4;
    m.AddColorTable(h8, rmwriter::GreyRamp(8));
    m.AddColorTable(h8, rmwriter::GreyRamp(8));
    m.AddColorTable(h4, rmwriter::GreyRamp(4));
    OpenMetafile(m);
    ScopedImage im;
    CapturedLog log(6);
    im.Depth = 8;
    GetLUT(im);
    GetLUT(im);
    EXPECT_EQ(log.Text(), "Creating New LUT of size 256\n");
    im.Depth = 4;
    GetLUT(im);
    EXPECT_EQ(log.Text(), "Creating New LUT of size 256\nCreating New LUT of size 16\n");
    EXPECT_EQ(im.LUTSize, 16);
    EXPECT_EQ(im.LUT[15].Red, 255);
}

TEST_F(HeaderTest, MissingLUTBlocksAreFatalWithTheirBlockNumber) {
    struct Case {
        int blocksPresent;
        const char* text;
        int blockNumber;
    } cases[] = {
        {0, "Error: Cannot read red/grey LUT", 1},
        {1, "Error: Cannot read green LUT", 2},
        {2, "Error: Cannot read blue LUT", 3},
    };
    for (const Case& c : cases) {
        ResetViewer();
        Header h;
        h.ColorFlag = 1;
        Metafile m;
        m.AddHeader(h);
        m.AddColorTable(h, rmwriter::ColourRamp(8));
        m.Truncate(BlockSize * (1 + c.blocksPresent) + 300);
        OpenMetafile(m);
        ASSERT_TRUE(ReadBlock());
        ScopedImage im;
        im.ColorFlag = 1;
        CapturedLog log(1);
        EXPECT_EQ(FatalText([&] { GetLUT(im); }), c.text);
        EXPECT_NE(log.Text().find("Fatal error in routine \"GetLUT\"\n"), std::string::npos);
        EXPECT_EQ(State.BlockNumber, c.blockNumber);
    }
}

TEST_F(HeaderTest, GreyConversionTruncates) {
    struct Case {
        uint8_t r, g, b, grey;
    } cases[] = {
        {255, 0, 0, 76}, {0, 255, 0, 150},     {0, 0, 255, 28},      {1, 1, 1, 0},
        {2, 2, 2, 1},    {100, 100, 100, 100}, {255, 255, 255, 255},
    };
    Image im;
    im.LUTSize = 8;
    LUTEntry lut[256] = {};
    im.LUT = lut;
    for (size_t i = 0; i < std::size(cases); ++i) lut[i] = {cases[i].r, cases[i].g, cases[i].b, 1};
    lut[7] = {10, 20, 30, 1};
    SetUpLUT(im);  // Grayscale off: unchanged
    EXPECT_EQ(lut[0].Red, 255);
    State.Grayscale = 1;
    SetUpLUT(im);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(lut[i].Red, cases[i].grey) << i;
        EXPECT_EQ(lut[i].Green, cases[i].grey) << i;
        EXPECT_EQ(lut[i].Blue, cases[i].grey) << i;
        EXPECT_EQ(lut[i].Flags, 1);
    }
}

TEST_F(HeaderTest, PlacementCentresAndRoundsTheRow) {
    struct Case {
        int wl, wt, ww, wh, iw, ih;
        int il, ir, it, ib, slw;
    } cases[] = {
        {0, 0, 640, 480, 640, 480, 0, 639, 0, 479, 640},
        {0, 0, 301, 100, 100, 100, 100, 199, 0, 99, 100},
        {10, 0, 100, 100, 105, 1, 8, 112, 49, 49, 108},  // 5 wider: IL = WL - 2
        {0, 0, 20001, 20001, 640, 480, 9680, 10319, 9760, 10239, 640},
        {0, 0, 4, 4, 1, 1, 1, 1, 1, 1, 4},
        {0, 0, 4, 4, 5, 5, 0, 4, 0, 4, 8},
        {0, 0, 4, 4, 641, 5, -318, 322, 0, 4, 644},
    };
    for (const Case& c : cases) {
        State.WL = c.wl;
        State.WT = c.wt;
        State.WW = c.ww;
        State.WH = c.wh;
        ScopedImage im;
        im.IW = c.iw;
        im.IH = c.ih;
        PlaceImage(im);
        EXPECT_EQ(im.IL, c.il) << c.iw;
        EXPECT_EQ(im.IR, c.ir) << c.iw;
        EXPECT_EQ(im.IT, c.it) << c.iw;
        EXPECT_EQ(im.IB, c.ib) << c.iw;
        EXPECT_EQ(im.ScanLineWidth, c.slw) << c.iw;
    }
}

TEST_F(HeaderTest, PlacementLogsTheGeometryAboveLevel1) {
    State.WL = 0;
    State.WR = 9;
    State.WT = 0;
    State.WB = 9;
    State.WW = 10;
    State.WH = 10;
    ScopedImage im;
    im.IW = 4;
    im.IH = 2;
    CapturedLog log(2);
    PlaceImage(im);
    EXPECT_EQ(log.Text(),
              "WL = 0, WR = 9, WT = 0, WB = 9, WW = 10, WH = 10\n"
              "IL = 3, IR = 6, IT = 4, IB = 5, IW = 4, IH = 2\n"
              "ScanLineWidth = 4\n");
}
