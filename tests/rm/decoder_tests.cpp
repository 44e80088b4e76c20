// The image array and the RLE decoder, word by word.
#include <cstring>

#include "rm/block_reader.h"
#include "rm/rle_decoder.h"
#include "tests/rm/rm_test_helpers.h"

using rmwriter::Metafile;
using rmwriter::Word;

class DecoderTest : public ViewerTest {
protected:
    // An image of `width` x `height` with an array whose bytes are all `initial`.
    Image MakeImage(int width, int height, uint8_t initial = 0xEE) {
        Image im;
        im.IW = width;
        im.IH = height;
        im.ScanLineWidth = ((width - 1) & ~3) + 4;
        im.FillValues[0] = 0xF0;
        im.FillValues[1] = 0xF1;
        im.FillValues[2] = 0xF2;
        AllocImageArray(im);
        std::memset(im.Pixels, initial, im.PixelsSize);
        return im;
    }
    // Opens a file that holds one stream of `words` (the start word comes first).
    void OpenStream(const std::vector<uint16_t>& words) {
        Metafile m;
        m.BeginStream();
        for (uint16_t w : words) m.AddWord(w);
        m.EndBlock();
        OpenMetafile(m);
    }
};

TEST_F(DecoderTest, DecodesEveryPixelOpcodeBottomUp) {
    // Run length 3, run of 5, literal 9, end of line, fill 2, end of frame.
    Image im = MakeImage(4, 2);
    OpenStream({0x0003, 0x3005, 0x1009, 0x6000, 0xD002, 0x7000});
    CapturedLog log(7);
    GetRLE(im, 0);
    EXPECT_EQ(log.Text(), "addto = -4\n");
    EXPECT_EQ(ArrayOf(im), (std::vector<uint8_t>{0xF0, 0xF0, 0xEE, 0xEE, 5, 5, 5, 9}));
    EXPECT_EQ(State.BlockNumber, 0);
}

TEST_F(DecoderTest, WordsAndTheirCornerCases) {
    struct Case {
        const char* what;
        std::vector<uint16_t> words;  // before the end of frame
        std::vector<uint8_t> top;     // the top row (array row 1) of a 6 x 2 image
        int channel = 0;
    } cases[] = {
        {"run before any length writes nothing", {0x3007, 0x1001}, {1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"length 5 then run of 7", {0x0005, 0x3007}, {7, 7, 7, 7, 7, 0xEE}},
        {"a spent run writes nothing", {0x0002, 0x3007, 0x3008, 0x1001}, {7, 7, 1, 0xEE, 0xEE, 0xEE}},
        {"length survives literals, fills, no-ops", {0x0002, 0x1001, 0xD001, 0xF123, 0x3004},
         {1, 0xF0, 4, 4, 0xEE, 0xEE}},
        {"fill neither uses nor changes the length", {0x0001, 0xD003, 0x3009}, {0xF0, 0xF0, 0xF0, 9, 0xEE, 0xEE}},
        {"fill count 0", {0xD000, 0x1003}, {3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"literal ignores value bits 8-11", {0x1203}, {3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"a new length replaces the old", {0x0F02, 0x0003, 0x3001}, {1, 1, 1, 0xEE, 0xEE, 0xEE}},
        {"fill of channel 2", {0xD002}, {0xF2, 0xF2, 0xEE, 0xEE, 0xEE, 0xEE}, 2},
        {"a scan line as long as the row fills its padding", {0x0008, 0x3004},
         {4, 4, 4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        ResetViewer();
        Image im = MakeImage(6, 2);
        std::vector<uint16_t> words = c.words;
        words.push_back(0x7000);
        OpenStream(words);
        GetRLE(im, c.channel);
        std::vector<uint8_t> array = ArrayOf(im);
        ASSERT_EQ(array.size(), 16u);
        EXPECT_EQ(std::vector<uint8_t>(array.begin() + 8, array.begin() + 14), c.top) << c.what;
    }
}

TEST_F(DecoderTest, ALongScanLineContinuesIntoTheNextRowOfTheArray) {
    // 10 pixels on a 6-wide image (ScanLineWidth 8): the last two reach array row 2's start.
    Image im = MakeImage(6, 3);
    OpenStream({0x000A, 0x3004, 0x7000});
    GetRLE(im, 0);
    std::vector<uint8_t> a = ArrayOf(im);
    for (int i = 16; i < 24; ++i) EXPECT_EQ(a[i], 4) << i;
    EXPECT_EQ(a[15], 0xEE);  // the rest of the array is untouched
}

TEST_F(DecoderTest, FindsTheStartWordPastOtherBlocksAndIgnoresItsFirstByte) {
    Metafile m;
    m.AddJunk(2);
    std::vector<uint8_t> almost(512, 0);
    almost[1] = 0x41;  // not a start word
    m.AddBlock(almost);
    m.BeginStream(0xAB);
    m.Literal(3);
    m.EndOfFrame();
    m.EndBlock();
    OpenMetafile(m);
    Image im = MakeImage(1, 1);
    GetRLE(im, 0);
    EXPECT_EQ(State.BlockNumber, 3);
    EXPECT_EQ(im.Pixels[0], 3);
    EXPECT_EQ(State.Block[1], 0xF0);  // the start word decodes as a no-op
}

TEST_F(DecoderTest, StateCarriesAcrossBlocksAndTheStreamEndsBehindTheLastBlock) {
    Metafile m;
    m.BeginStream();
    while (m.WordInBlock() != 255) m.NoOp();
    m.SetRunLength(3);  // last word of block 0
    m.RepeatedRun(6);   // first word of block 1
    m.EndOfFrame();
    m.EndBlock();
    m.AddJunk(1);
    OpenMetafile(m);
    Image im = MakeImage(4, 1);
    GetRLE(im, 0);
    EXPECT_EQ(State.BlockNumber, 1);
    EXPECT_EQ(ArrayOf(im), (std::vector<uint8_t>{6, 6, 6, 0xEE}));
    EXPECT_EQ(std::ftell(State.MetafileStream), 1024);
}

TEST_F(DecoderTest, FatalStreamErrorsNameTheirBlock) {
    struct Case {
        std::vector<uint16_t> secondBlock;  // words of block 1 (block 0 holds the start word)
        const char* text;
    } cases[] = {
        {{Word(0x2, 0)}, "Error: Illegal opcode (32) in Raster Metafile"},
        {{Word(0x5, 0)}, "Error: Illegal opcode (80) in Raster Metafile"},
        {{0x1001, Word(0x8, 0xFFF)}, "Error: Illegal opcode (128) in Raster Metafile"},
        {{Word(0x9, 0)}, "Error: Illegal opcode (144) in Raster Metafile"},
        {{Word(0xA, 0)}, "Error: Illegal opcode (160) in Raster Metafile"},
        {{Word(0xC, 0)}, "Error: Illegal opcode (192) in Raster Metafile"},
        {{Word(0xE, 0)}, "Error: Illegal opcode (224) in Raster Metafile"},
        {{Word(0xB, 0)}, "Error: Unexpected colormap in Raster Metafile"},
        {{0x1001, 0x4000}, "Error: Start frame encountered before end of last frame"},
        {{0x1001, 0x4123}, "Error: Start frame encountered before end of last frame"},
    };
    for (const Case& c : cases) {
        ResetViewer();
        Metafile m;
        m.BeginStream();
        m.EndBlock();
        std::vector<uint8_t> block;
        for (uint16_t w : c.secondBlock) {
            block.push_back(static_cast<uint8_t>(w));
            block.push_back(static_cast<uint8_t>(w >> 8));
        }
        m.AddBlock(block);
        OpenMetafile(m);
        Image im = MakeImage(4, 4);
        CapturedLog log(1);
        EXPECT_EQ(FatalText([&] { GetRLE(im, 0); }), c.text);
        EXPECT_NE(log.Text().find("Fatal error in routine \"GetRLE\"\n"), std::string::npos);
        EXPECT_EQ(State.BlockNumber, 1) << c.text;
    }
}

TEST_F(DecoderTest, ABlockThatStartsLikeAStreamInsideAFrameIsRejected) {
    Metafile m;
    m.BeginStream();
    m.EndBlock();
    m.BeginStream();  // a second start word as the first word of the next block
    m.EndOfFrame();
    m.EndBlock();
    OpenMetafile(m);
    Image im = MakeImage(4, 4);
    EXPECT_EQ(FatalText([&] { GetRLE(im, 0); }),
              "Error: Start frame encountered before end of last frame");
}

TEST_F(DecoderTest, EndOfFileIsFatal) {
    {
        Metafile m;
        m.AddJunk(2);
        OpenMetafile(m);
        Image im = MakeImage(4, 4);
        EXPECT_EQ(FatalText([&] { GetRLE(im, 0); }), "Error: Start frame not found");
        EXPECT_EQ(State.BlockNumber, 2);
    }
    {
        ResetViewer();
        Metafile m;
        m.BeginStream();
        m.Literal(1);
        m.EndBlock();
        m.AddBlock({0x01, 0x10});
        m.MutableBytes().resize(1024 + 300, 0x70);  // a short block is never used
        OpenMetafile(m);
        Image im = MakeImage(4, 4);
        EXPECT_EQ(FatalText([&] { GetRLE(im, 0); }),
                  "Error: End of file encountered before end of frame");
        EXPECT_EQ(State.BlockNumber, 2);  // the block that could not be read
    }
}

TEST_F(DecoderTest, AllocationSizesAndTheLogLine) {
    struct Case {
        int width, adjust;
        size_t size;
    } cases[] = {{640, 0, 640 * 480}, {639, -1, 640 * 480 + 1}, {641, 0, 644 * 480}};
    for (const Case& c : cases) {
        ResetViewer();
        State.WidthAdjust = c.adjust;
        Image im;
        im.IW = c.width;
        im.IH = 480;
        im.ScanLineWidth = ((c.width - 1) & ~3) + 4;
        CapturedLog log(1);
        AllocImageArray(im);
        EXPECT_EQ(im.PixelsSize, c.size);
        EXPECT_EQ(log.Text(), "Allocating Image Array (size = " + std::to_string(c.size) + ")\n");
        for (size_t i = 0; i < im.PixelsSize; i += 997) EXPECT_EQ(im.Pixels[i], 0);
        std::free(im.Pixels);
    }
}
