// Pictures in, metafile, pictures out: what comes back must be what went in.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"

namespace {

struct PaletteCase {
    const char* name;
    int width, height, colours;
};

void PrintTo(const PaletteCase& c, std::ostream* os) {
    *os << c.name;
}

class IndexedPngRoundTrip : public ::testing::TestWithParam<PaletteCase> {};

TEST_P(IndexedPngRoundTrip, ExportGivesTheSameIndicesAndColours) {
    const PaletteCase& c = GetParam();
    std::string dir = MakeTempDir();
    IndexedFrame first = PatternedFrame(c.width, c.height, c.colours, 1);
    IndexedFrame second = PatternedFrame(c.width, c.height, c.colours, 2);
    WritePng(dir + "/a.png", first, false);
    WritePng(dir + "/b.png", second, false);

    ToolRun encode = RunTool({"encode", dir + "/movie.rm", dir + "/a.png", dir + "/b.png"});
    ASSERT_EQ(encode.status, 0) << encode.err;
    EXPECT_EQ(encode.err, "") << "palette entry 0 is black: nothing should need moving";
    ToolRun exported = RunTool({"export", dir + "/movie.rm", "--png", dir + "/out"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    ASSERT_EQ(FolderEntries(dir + "/out"),
              (std::vector<std::string>{"movie-0000.png", "movie-0001.png"}));

    const IndexedFrame* originals[] = {&first, &second};
    for (int n = 0; n < 2; ++n) {
        SourcePicture back = ReadPng(dir + "/out/movie-000" + std::to_string(n) + ".png");
        ASSERT_TRUE(back.indexed);
        EXPECT_EQ(back.frame.width, c.width);
        EXPECT_EQ(back.frame.height, c.height);
        EXPECT_EQ(back.frame.pixels, originals[n]->pixels) << "frame " << n;
        // The table is the frame's own, of 2^depth entries; the colours used come back.
        ASSERT_GE(back.frame.palette.size(), originals[n]->palette.size());
        EXPECT_EQ((back.frame.palette.size() & (back.frame.palette.size() - 1)), 0u);
        for (size_t i = 0; i < originals[n]->palette.size(); ++i)
            EXPECT_EQ(back.frame.palette[i], originals[n]->palette[i]) << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, IndexedPngRoundTrip,
                         ::testing::Values(PaletteCase{"two", 7, 5, 2},
                                           PaletteCase{"sixteen", 33, 17, 16},
                                           PaletteCase{"full", 300, 40, 256}),
                         [](const auto& info) { return std::string(info.param.name); });

// Index 0 is always shown black; a PNG that puts another colour there keeps every pixel's
// colour, through another index.
TEST(PngRoundTrip, ColourAtIndexZeroMovesButEveryPixelKeepsItsColour) {
    std::string dir = MakeTempDir();
    IndexedFrame frame = PatternedFrame(40, 20, 16, 3);
    frame.palette[0] = Rgb{200, 100, 50};
    WritePng(dir + "/in.png", frame, false);
    ToolRun encode = RunTool({"encode", dir + "/m.rm", dir + "/in.png"});
    ASSERT_EQ(encode.status, 0) << encode.err;
    EXPECT_NE(encode.err.find("in.png"), std::string::npos) << "a note names the input";
    ASSERT_EQ(RunTool({"export", dir + "/m.rm", "--png", dir}).status, 0);

    SourcePicture back = ReadPng(dir + "/m-0000.png");
    ASSERT_TRUE(back.indexed);
    EXPECT_EQ(ColoursOf(back.frame).pixels, ColoursOf(frame).pixels);
    for (uint8_t p : back.frame.pixels) ASSERT_NE(p, 0);
}

TEST(PngRoundTrip, GreyPngKeepsItsLevels) {
    std::string dir = MakeTempDir();
    IndexedFrame grey;
    grey.width = 256;
    grey.height = 3;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 256; ++x)
            grey.pixels.push_back(static_cast<uint8_t>(y == 1 ? 255 - x : x));
    for (int v = 0; v < 256; ++v) grey.palette.push_back(Rgb{uint8_t(v), uint8_t(v), uint8_t(v)});
    WritePng(dir + "/ramp.png", grey, false);
    // An all-grey palette PNG is a grey picture to anyone reading it.
    ASSERT_EQ(RunTool({"encode", dir + "/g.rm", dir + "/ramp.png"}).status, 0);
    ToolRun info = RunTool({"info", "--json", dir + "/g.rm"});
    EXPECT_NE(info.out.find("\"color_flag\": 0"), std::string::npos) << "written as a grey table";
    ASSERT_EQ(RunTool({"export", dir + "/g.rm", "--png", dir}).status, 0);
    SourcePicture back = ReadPng(dir + "/g-0000.png");
    EXPECT_EQ(back.frame.pixels, grey.pixels);
    EXPECT_EQ(back.frame.palette, grey.palette);
}

TEST(PngRoundTrip, TrueColourWithFewColoursIsExact) {
    std::string dir = MakeTempDir();
    RgbPicture rgb{50, 30, {}};
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x)
            rgb.pixels.push_back(Rgb{uint8_t((x / 5) * 20 + 1), uint8_t((y / 6) * 40), 7});
    WriteRgbPng(dir + "/rgb.png", rgb);
    ToolRun encode = RunTool({"encode", dir + "/m.rm", dir + "/rgb.png"});
    ASSERT_EQ(encode.status, 0) << encode.err;
    EXPECT_EQ(encode.err, "") << "50 colours need no quantising";
    ASSERT_EQ(RunTool({"export", dir + "/m.rm", "--png", dir}).status, 0);
    EXPECT_EQ(ColoursOf(ReadPng(dir + "/m-0000.png").frame).pixels, rgb.pixels);
}

TEST(PngRoundTrip, TrueColourWithManyColoursIsQuantisedClosely) {
    std::string dir = MakeTempDir();
    RgbPicture rgb{128, 96, {}};
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x)
            rgb.pixels.push_back(Rgb{uint8_t(x * 2), uint8_t(y * 2 + 40), uint8_t((x + y) & 0xFF)});
    WriteRgbPng(dir + "/many.png", rgb);
    ToolRun encode = RunTool({"encode", dir + "/m.rm", dir + "/many.png"});
    ASSERT_EQ(encode.status, 0) << encode.err;
    EXPECT_NE(encode.err.find("quantised"), std::string::npos);
    ASSERT_EQ(RunTool({"export", dir + "/m.rm", "--png", dir}).status, 0);
    SourcePicture back = ReadPng(dir + "/m-0000.png");
    ASSERT_TRUE(back.indexed);
    EXPECT_LT(MeanChannelError(rgb.pixels, back.frame), 4.0);
}

}  // namespace
