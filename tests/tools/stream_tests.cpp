// PNG streams through pipes: ffmpeg into encode -, export --png - into ffmpeg, and streams
// that break.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/png_io.h"

namespace {

// A PNG stream of `frames` written with our own PNG writer.
void WriteStream(const std::string& path, const std::vector<IndexedFrame>& frames) {
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (const IndexedFrame& f : frames) WritePngToStream(out, f, path);
    fclose(out);
}

std::vector<IndexedFrame> ReadStream(const std::string& path) {
    std::vector<IndexedFrame> frames;
    FILE* in = fopen(path.c_str(), "rb");
    EXPECT_NE(in, nullptr);
    if (in == nullptr) return frames;
    PngStreamReader reader(in, path);
    SourcePicture picture;
    while (reader.Next(picture)) {
        EXPECT_TRUE(picture.indexed);
        frames.push_back(picture.frame);
    }
    fclose(in);
    return frames;
}

TEST(PngStream, FromFfmpegThroughTheMetafileBackIntoFfmpegPixelForPixel) {
    const std::string dir = MakeTempDir();
    // A palette stream from ffmpeg's test pattern; ffmpeg decodes it to RGB as the reference.
    const std::string source =
        "ffmpeg -v error -f lavfi -i testsrc=s=120x90:rate=10 "
        "-frames:v 7 -pix_fmt pal8 -f image2pipe -c:v png -";
    const std::string toRgb = "ffmpeg -v error -f image2pipe -i - -f rawvideo -pix_fmt rgb24 -";
    ASSERT_EQ(RunShell(source + " | " + toRgb + " > " + dir + "/source.rgb"), 0)
        << "ffmpeg is needed (scripts/install-deps.sh installs it)";
    ASSERT_EQ(RunShell(source + " | \"$RMTOOL\" encode " + dir + "/movie.rm - > /dev/null"), 0);
    ASSERT_EQ(RunShell("\"$RMTOOL\" export " + dir + "/movie.rm --png - 2>/dev/null | " + toRgb +
                       " > " + dir + "/back.rgb"),
              0);
    const std::string expected = ReadWholeFile(dir + "/source.rgb");
    EXPECT_EQ(expected.size(), size_t{120} * 90 * 3 * 7);
    EXPECT_TRUE(ReadWholeFile(dir + "/back.rgb") == expected);
}

// A video's true-colour frames change slowly: one palette serves several of them, and each
// frame still comes out close to its colours.
TEST(PngStream, TrueColourVideoFramesShareAPaletteWhileItFits) {
    const std::string dir = MakeTempDir();
    const std::string source =
        "ffmpeg -v error -f lavfi -i mandelbrot=s=160x120:rate=25 "
        "-frames:v 8 -f image2pipe -c:v png -";
    ASSERT_EQ(RunShell(source + " > " + dir + "/in.png"), 0);
    ASSERT_EQ(RunShell(source + " | \"$RMTOOL\" encode " + dir + "/m.rm - 2> /dev/null"), 0);
    ASSERT_EQ(
        RunShell("\"$RMTOOL\" export " + dir + "/m.rm --png - 2>/dev/null > " + dir + "/out.png"),
        0);
    std::vector<IndexedFrame> back = ReadStream(dir + "/out.png");
    ASSERT_EQ(back.size(), 8u);
    FILE* in = fopen((dir + "/in.png").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    PngStreamReader reader(in, "in.png");
    SourcePicture picture;
    int palettes = 0;
    for (size_t n = 0; n < back.size() && reader.Next(picture); ++n) {
        ASSERT_FALSE(picture.indexed);
        palettes += n == 0 || back[n].palette != back[n - 1].palette;
        EXPECT_LT(MeanChannelError(picture.rgb, back[n]), 4.0) << "frame " << n;
    }
    fclose(in);
    EXPECT_LE(palettes, 4) << "8 frames of one scene";
}

TEST(PngStream, FramesOfOtherSizesKeepTheirExactIndices) {
    const std::string dir = MakeTempDir();
    const std::vector<IndexedFrame> frames = {
        PatternedFrame(31, 9, 200, 1), PatternedFrame(8, 40, 16, 2), PatternedFrame(31, 9, 2, 3)};
    WriteStream(dir + "/in.png", frames);
    ToolRun encode = RunTool({"encode", dir + "/m.rm", "-"}, dir + "/in.png");
    ASSERT_EQ(encode.status, 0) << encode.err;
    EXPECT_NE(encode.out.find("3 frames"), std::string::npos) << encode.out;
    ASSERT_EQ(
        RunShell("\"$RMTOOL\" export " + dir + "/m.rm --png - 2>/dev/null > " + dir + "/out.png"),
        0);
    std::vector<IndexedFrame> back = ReadStream(dir + "/out.png");
    ASSERT_EQ(back.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(back[i].width, frames[i].width) << i;
        EXPECT_EQ(back[i].pixels, frames[i].pixels) << i;
        for (size_t c = 0; c < frames[i].palette.size(); ++c)
            EXPECT_EQ(back[i].palette[c], frames[i].palette[c]) << i << " " << c;
    }
}

TEST(PngStream, ABrokenStreamNamesTheFrameAndLeavesNoFile) {
    const std::string dir = MakeTempDir();
    WriteStream(dir + "/good.png", {PatternedFrame(20, 10, 5, 1), PatternedFrame(20, 10, 5, 2)});
    const std::string good = ReadWholeFile(dir + "/good.png");
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"cut inside the second PNG", good.substr(0, good.size() - 30),
         "stdin: frame 2: damaged PNG"},
        {"not a PNG after two", good + "GIF89a and more", "stdin: frame 3: not a PNG"},
        {"a short tail", good + "\x89PN", "stdin: frame 3: the stream ends inside"},
        {"nothing", "", "stdin: no PNG image in the stream"},
    };
    for (const Case& c : cases) {
        FILE* f = fopen((dir + "/in").c_str(), "wb");
        fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        fclose(f);
        ToolRun run = RunTool({"encode", dir + "/out.rm", "-"}, dir + "/in");
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_EQ(run.err.rfind(std::string("rmtool: ") + c.message, 0), 0u)
            << c.what << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.what;
        EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"good.png", "in"})) << c.what;
    }
}

}  // namespace
