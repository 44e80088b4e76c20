// An animated GIF in, a metafile, an animated GIF out: the frames seen must be the same.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"

namespace {

struct GifFrameToWrite {
    int left, top, width, height;
    std::vector<Rgb> localMap;  // empty: the global map
    int transparent = NO_TRANSPARENT_COLOR;
    int disposal = DISPOSE_DO_NOT;
    std::vector<uint8_t> pixels;
};

ColorMapObject* MakeMap(const std::vector<Rgb>& colours) {
    int size = 2;
    while (size < static_cast<int>(colours.size())) size *= 2;
    std::vector<GifColorType> entries(size, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i)
        entries[i] = GifColorType{colours[i].r, colours[i].g, colours[i].b};
    return GifMakeMapObject(size, entries.data());
}

void WriteGif(const std::string& path, int width, int height, const std::vector<Rgb>& globalMap,
              const std::vector<GifFrameToWrite>& frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(globalMap);
    ASSERT_EQ(EGifPutScreenDesc(gif, width, height, 8, 0, global), GIF_OK);
    GifFreeMapObject(global);
    for (const GifFrameToWrite& f : frames) {
        GraphicsControlBlock control{f.disposal, false, 5, f.transparent};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension), GIF_OK);
        ColorMapObject* local = f.localMap.empty() ? nullptr : MakeMap(f.localMap);
        ASSERT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, local), GIF_OK);
        if (local) GifFreeMapObject(local);
        std::vector<GifPixelType> row(f.width);
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) row[x] = f.pixels[y * f.width + x];
            ASSERT_EQ(EGifPutLine(gif, row.data(), f.width), GIF_OK);
        }
    }
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

std::vector<Rgb> Colours(int count, int seed) {
    std::vector<Rgb> map;
    for (int i = 0; i < count; ++i)
        map.push_back(
            Rgb{uint8_t(10 + i * 29 + seed), uint8_t(200 - i * 11), uint8_t(seed * 3 + i)});
    return map;
}

// Three frames: a full one whose colour table has no black at index 0; a smaller one placed
// inside it with transparent pixels, which asks to be cleared to the background afterwards;
// a partial one in the global table drawn after that clearing.
TEST(GifRoundTrip, FramesAsSeenComeBackTheSame) {
    const int W = 24, H = 16;
    std::vector<Rgb> global = {Rgb{0, 0, 0}, Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 0, 255}};
    GifFrameToWrite full{0, 0, W, H, Colours(8, 1), NO_TRANSPARENT_COLOR, DISPOSE_DO_NOT, {}};
    for (int i = 0; i < W * H; ++i) full.pixels.push_back(static_cast<uint8_t>((i / 5) % 8));
    GifFrameToWrite inset{5, 3, 10, 6, Colours(16, 2), 7, DISPOSE_BACKGROUND, {}};
    for (int i = 0; i < 60; ++i)
        inset.pixels.push_back(static_cast<uint8_t>(i % 3 == 0 ? 7 : i % 16));
    GifFrameToWrite corner{0, 0, 12, 8, {}, NO_TRANSPARENT_COLOR, DISPOSE_DO_NOT, {}};
    for (int i = 0; i < 96; ++i) corner.pixels.push_back(static_cast<uint8_t>(1 + (i / 12) % 3));

    // What a GIF viewer shows after each frame, worked out by hand.
    std::vector<std::vector<Rgb>> expected;
    std::vector<Rgb> canvas(W * H);
    for (int i = 0; i < W * H; ++i) canvas[i] = full.localMap[full.pixels[i]];
    expected.push_back(canvas);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            uint8_t p = inset.pixels[y * 10 + x];
            if (p != 7) canvas[(3 + y) * W + 5 + x] = inset.localMap[p];
        }
    expected.push_back(canvas);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) canvas[(3 + y) * W + 5 + x] = Rgb{0, 0, 0};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) canvas[y * W + x] = global[corner.pixels[y * 12 + x]];
    expected.push_back(canvas);

    std::string dir = MakeTempDir();
    WriteGif(dir + "/in.gif", W, H, global, {full, inset, corner});
    ToolRun encode = RunTool({"encode", dir + "/m.rm", dir + "/in.gif"});
    ASSERT_EQ(encode.status, 0) << encode.err;
    ToolRun exported = RunTool({"export", dir + "/m.rm", "--gif", dir + "/out.gif", "-p", "70"});
    ASSERT_EQ(exported.status, 0) << exported.err;

    std::vector<int> delays;
    std::vector<RgbPicture> frames = DecodeGifFrames(dir + "/out.gif", &delays);
    ASSERT_EQ(frames.size(), 3u);
    for (size_t n = 0; n < frames.size(); ++n) {
        EXPECT_EQ(frames[n].width, W);
        EXPECT_EQ(frames[n].height, H);
        EXPECT_EQ(frames[n].pixels, expected[n]) << "frame " << n;
        EXPECT_EQ(delays[n], 7) << "-p 70 is 7 hundredths";
    }
}

// The same check by a decoder that is not ours: ImageMagick's compare counts the pixels
// that differ between each source frame and the exported one.
TEST(GifRoundTrip, ImageMagickSeesNoDifference) {
    if (access("/usr/bin/compare", X_OK) != 0) GTEST_SKIP() << "ImageMagick's compare is missing";
    const int W = 31, H = 9;
    std::vector<GifFrameToWrite> frames;
    for (int n = 0; n < 3; ++n) {
        GifFrameToWrite f{0, 0, W, H, Colours(4 << n, n), NO_TRANSPARENT_COLOR, DISPOSE_DO_NOT, {}};
        for (int i = 0; i < W * H; ++i)
            f.pixels.push_back(static_cast<uint8_t>((i * (n + 1) / 7) % (4 << n)));
        frames.push_back(f);
    }
    std::string dir = MakeTempDir();
    WriteGif(dir + "/in.gif", W, H, Colours(2, 9), frames);
    ASSERT_EQ(RunTool({"encode", dir + "/m.rm", dir + "/in.gif"}).status, 0);
    ASSERT_EQ(RunTool({"export", dir + "/m.rm", "--gif", dir + "/out.gif"}).status, 0);
    for (int n = 0; n < 3; ++n) {
        std::string command = "/usr/bin/compare -metric AE '" + dir + "/in.gif[" +
                              std::to_string(n) + "]' '" + dir + "/out.gif[" + std::to_string(n) +
                              "]' null: 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char text[64] = {};
        size_t got = fread(text, 1, sizeof text - 1, pipe);
        pclose(pipe);
        EXPECT_EQ(std::string(text, got), "0") << "frame " << n;
    }
}

TEST(GifInput, OversizedOrDamagedGifIsRefusedNamingIt) {
    std::string dir = MakeTempDir();
    GifFrameToWrite dot{0, 0, 1, 1, {}, NO_TRANSPARENT_COLOR, DISPOSE_DO_NOT, {1}};
    WriteGif(dir + "/huge.gif", 65535, 65535, Colours(2, 1), {dot});
    ToolRun huge = RunTool({"encode", dir + "/m.rm", dir + "/huge.gif"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_EQ(huge.err, "rmtool: " + dir + "/huge.gif: picture too large (65535x65535)\n");

    WriteGif(dir + "/ok.gif", 8, 8, Colours(2, 1), {dot});
    std::string whole = ReadWholeFile(dir + "/ok.gif");
    FILE* f = fopen((dir + "/cut.gif").c_str(), "wb");
    fwrite(whole.data(), 1, whole.size() - 6, f);
    fclose(f);
    ToolRun cut = RunTool({"encode", dir + "/m.rm", dir + "/cut.gif"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err.rfind("rmtool: " + dir + "/cut.gif: damaged GIF: ", 0), 0u) << cut.err;
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"cut.gif", "huge.gif", "ok.gif"}));
}

}  // namespace
