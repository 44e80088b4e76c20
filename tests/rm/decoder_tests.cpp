// The image array and the RLE decoder, word by word.
#include <cstring>
#include <random>

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
    ScopedImage im(MakeImage(4, 2));
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
        {"run before any length writes nothing",
         {0x3007, 0x1001},
         {1, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"length 5 then run of 7", {0x0005, 0x3007}, {7, 7, 7, 7, 7, 0xEE}},
        {"a spent run writes nothing",
         {0x0002, 0x3007, 0x3008, 0x1001},
         {7, 7, 1, 0xEE, 0xEE, 0xEE}},
        {"length survives literals, fills, no-ops",
         {0x0002, 0x1001, 0xD001, 0xF123, 0x3004},
         {1, 0xF0, 4, 4, 0xEE, 0xEE}},
        {"fill neither uses nor changes the length",
         {0x0001, 0xD003, 0x3009},
         {0xF0, 0xF0, 0xF0, 9, 0xEE, 0xEE}},
        {"fill count 0", {0xD000, 0x1003}, {3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"literal ignores value bits 8-11", {0x1203}, {3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
        {"a new length replaces the old", {0x0F02, 0x0003, 0x3001}, {1, 1, 1, 0xEE, 0xEE, 0xEE}},
        {"fill of channel 2", {0xD002}, {0xF2, 0xF2, 0xEE, 0xEE, 0xEE, 0xEE}, 2},
        {"a scan line as long as the row fills its padding", {0x0008, 0x3004}, {4, 4, 4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        ResetViewer();
        ScopedImage im(MakeImage(6, 2));
        std::vector<uint16_t> words = c.words;
        words.push_back(0x7000);
        OpenStream(words);
        GetRLE(im, c.channel);
        std::vector<uint8_t> array = ArrayOf(im);
        ASSERT_EQ(array.size(), 16u);
        EXPECT_EQ(std::vector<uint8_t>(array.begin() + 8, array.begin() + 14), c.top) << c.what;
    }
}

TEST_F(DecoderTest, TheRunLengthSurvivesAnEndOfScanLine) {
    ScopedImage im(MakeImage(4, 2));
    OpenStream({0x0002, 0x6000, 0x3007, 0x7000});
    GetRLE(im, 0);
    EXPECT_EQ(ArrayOf(im), (std::vector<uint8_t>{7, 7, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(DecoderTest, ALongScanLineContinuesIntoTheNextRowOfTheArray) {
    // 10 pixels on a 6-wide image (ScanLineWidth 8): the last two reach array row 2's start.
    ScopedImage im(MakeImage(6, 3));
    OpenStream({0x000A, 0x3004, 0x7000});
    GetRLE(im, 0);
    std::vector<uint8_t> a = ArrayOf(im);
    for (int i = 16; i < 24; ++i) EXPECT_EQ(a[i], 4) << i;
    EXPECT_EQ(a[15], 0xEE);  // the rest of the array is untouched
}

TEST_F(DecoderTest, FindsTheStartWordPastOtherBlocksAndIgnoresItsFirstByte) {
    Metafile m;
    m.AddJunk(2);
    std::vector<uint8_t> almost(BlockSize, 0);
    almost[1] = 0x41;  // not a start word
    m.AddBlock(almost);
    m.BeginStream(0xAB);
    m.Literal(3);
    m.EndOfFrame();
    m.EndBlock();
    OpenMetafile(m);
    ScopedImage im(MakeImage(1, 1));
    GetRLE(im, 0);
    EXPECT_EQ(State.BlockNumber, 3);
    EXPECT_EQ(im.Pixels[0], 3);
    EXPECT_EQ(State.Block[1], 0xF0);  // the start word decodes as a no-op
}

TEST_F(DecoderTest, StateCarriesAcrossBlocksAndTheStreamEndsBehindTheLastBlock) {
    Metafile m;
    m.BeginStream();
    while (m.WordInBlock() != WordsPerBlock - 1) m.NoOp();
    m.SetRunLength(3);  // last word of block 0
    m.RepeatedRun(6);   // first word of block 1
    m.EndOfFrame();
    m.EndBlock();
    m.AddJunk(1);
    OpenMetafile(m);
    ScopedImage im(MakeImage(4, 1));
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
        ScopedImage im(MakeImage(4, 4));
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
    ScopedImage im(MakeImage(4, 4));
    EXPECT_EQ(FatalText([&] { GetRLE(im, 0); }),
              "Error: Start frame encountered before end of last frame");
}

TEST_F(DecoderTest, EndOfFileIsFatal) {
    {
        Metafile m;
        m.AddJunk(2);
        OpenMetafile(m);
        ScopedImage im(MakeImage(4, 4));
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
        ScopedImage im(MakeImage(4, 4));
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
        ScopedImage im;
        im.IW = c.width;
        im.IH = 480;
        im.ScanLineWidth = ((c.width - 1) & ~3) + 4;
        CapturedLog log(1);
        AllocImageArray(im);
        EXPECT_EQ(im.PixelsSize, c.size);
        EXPECT_EQ(log.Text(), "Allocating Image Array (size = " + std::to_string(c.size) + ")\n");
        for (size_t i = 0; i < im.PixelsSize; i += 997) EXPECT_EQ(im.Pixels[i], 0);
        FreeImageArray(im);
    }
}

// The decoder word by word as the format states it, one pixel at a time, dropping what
// falls outside the array: the reference the fast decoder must match exactly.
static void ReferenceDecode(const std::vector<uint16_t>& words, std::vector<uint8_t>& array,
                            int64_t scanLineWidth, int64_t height, uint8_t fill) {
    int64_t rowStart = (height - 1) * scanLineWidth;
    int64_t pos = rowStart;
    uint32_t run = 0;
    auto put = [&](uint8_t v) {
        if (pos >= 0 && pos < static_cast<int64_t>(array.size())) array[pos] = v;
        ++pos;
    };
    for (uint16_t w : words) {
        uint32_t value = w & 0xFFF;
        switch (w >> 12) {
            case 0x0: run = value; break;
            case 0x1: put(w & 0xFF); break;
            case 0x3:
                for (uint32_t i = 0; i < run; ++i) put(w & 0xFF);
                run = 0;
                break;
            case 0x6:
                rowStart -= scanLineWidth;
                pos = rowStart;
                break;
            case 0x7: return;
            case 0xD:
                for (uint32_t i = 0; i < value; ++i) put(fill);
                break;
            default: break;
        }
    }
}

TEST_F(DecoderTest, MatchesThePixelByPixelReferenceOnRandomStreams) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 300; ++trial) {
        ResetViewer();
        int width = 1 + static_cast<int>(rng() % (trial < 200 ? 40 : 30000));
        int height = 1 + static_cast<int>(rng() % 12);
        std::vector<uint16_t> words;
        int count = static_cast<int>(rng() % 3000);
        for (int i = 0; i < count; ++i) {
            uint32_t r = rng();
            uint32_t pick = r % 100;
            uint32_t value = (r >> 8) & 0xFFF;
            if (pick < 40)
                words.push_back(Word(0x1, value));
            else if (pick < 55)
                words.push_back(Word(0x0, trial % 3 == 0 ? value : value % 50));
            else if (pick < 75)
                words.push_back(Word(0x3, value));
            else if (pick < 85)
                words.push_back(Word(0xD, trial % 3 == 0 ? value : value % 60));
            else if (pick < 92)
                words.push_back(Word(0x6, value));
            else
                words.push_back(Word(0xF, value));
        }
        words.push_back(0x7000);
        ScopedImage im(MakeImage(width, height, 0x5C));
        std::vector<uint8_t> expected = ArrayOf(im);
        ReferenceDecode(words, expected, im.ScanLineWidth, height, im.FillValues[0]);
        OpenStream(words);
        GetRLE(im, 0);
        std::vector<uint8_t> got = ArrayOf(im);
        size_t firstDifference = 0;
        while (firstDifference < got.size() && got[firstDifference] == expected[firstDifference])
            ++firstDifference;
        ASSERT_EQ(got, expected) << "trial " << trial << ", " << width << "x" << height
                                 << ", first difference at " << firstDifference << " of "
                                 << got.size() << ", words " << words.size();
        FreeImageArray(im);
    }
}

TEST_F(DecoderTest, ScanLinesLongerThanAnyStagingBuffer) {
    // 70,000-pixel rows of runs, fills and literals; and one scan line of 200,000 pixels
    // running on through three rows of a 60,000-wide image.
    rmwriter::Frame f = PatternFrame(70000, 3, 9);
    Metafile m;
    m.AddFrame(f);
    OpenMetafile(m);
    std::fseek(State.MetafileStream, 1024, SEEK_SET);
    ScopedImage im(MakeImage(70000, 3, 0));
    im.FillValues[0] = f.header.Fill[0];
    GetRLE(im, 0);
    EXPECT_TRUE(ArrayOf(im) == ExpectedArray(f, im.ScanLineWidth));

    ResetViewer();
    std::vector<uint16_t> words;
    for (int i = 0; i < 40; ++i) words.insert(words.end(), {0x0FFF, Word(0x3, i), 0xD3E8});
    words.push_back(0x7000);
    ScopedImage wide(MakeImage(60000, 4, 0x11));
    std::vector<uint8_t> expected = ArrayOf(wide);
    ReferenceDecode(words, expected, wide.ScanLineWidth, 4, wide.FillValues[0]);
    OpenStream(words);
    GetRLE(wide, 0);
    EXPECT_TRUE(ArrayOf(wide) == expected);
}
