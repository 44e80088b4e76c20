// True colour to 256 colours: the nearest-colour search, and palettes kept from frame to frame.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/colour_reduction.h"

namespace {

int Distance(const Rgb& a, const Rgb& b) {
    int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

// The lowest index among the nearest of entries 1 on, by trying every one.
uint8_t NearestByTrying(const std::vector<Rgb>& palette, const Rgb& c) {
    size_t best = 1;
    for (size_t e = 2; e < palette.size(); ++e)
        if (Distance(c, palette[e]) < Distance(c, palette[best])) best = e;
    return static_cast<uint8_t>(best);
}

uint32_t Next(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// A width x height picture of smooth gradients in about `hue`, thousands of colours.
std::vector<Rgb> Gradient(int width, int height, Rgb hue, int shift) {
    std::vector<Rgb> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int t = (x + shift) % width, u = (y + shift) % height;
            auto level = [](int v) { return static_cast<uint8_t>(std::min(v, 255)); };
            rgb.push_back(Rgb{level(hue.r * t / width + u / 4), level(hue.g * u / height + t / 8),
                              level(hue.b * (t + u) / (width + height))});
        }
    return rgb;
}

// Clustered palettes (many entries close together, as quantised ones are), duplicates and
// colours at equal distance from two entries: always the entry trying all of them finds.
TEST(NearestColours, FindsTheNearestEntryLowestIndexFirst) {
    uint32_t state = 7;
    for (int round = 0; round < 4; ++round) {
        std::vector<Rgb> palette{Rgb{0, 0, 0}};
        const int spread = round == 0 ? 256 : 256 >> (2 * round);
        for (int e = 1; e < 256; ++e)
            palette.push_back(Rgb{uint8_t(100 + Next(state) % spread), uint8_t(Next(state) % 256),
                                  uint8_t(60 + Next(state) % spread)});
        palette[200] = palette[50];
        palette[201] = Rgb{10, 10, 10};
        palette[202] = Rgb{12, 10, 10};
        NearestColours nearest;
        nearest.SetPalette(palette);
        std::vector<Rgb> colours{Rgb{11, 10, 10}, palette[50], Rgb{0, 0, 0}, Rgb{255, 255, 255}};
        for (int i = 0; i < 20000; ++i)
            colours.push_back(
                Rgb{uint8_t(Next(state)), uint8_t(Next(state)), uint8_t(Next(state))});
        for (const Rgb& c : colours)
            ASSERT_EQ(nearest.Nearest(c), NearestByTrying(palette, c))
                << "round " << round << " colour " << int(c.r) << "," << int(c.g) << ","
                << int(c.b);
        // Kept answers are the same as fresh ones.
        std::vector<uint8_t> pixels;
        nearest.Map(colours, pixels);
        for (size_t i = 0; i < colours.size(); ++i)
            ASSERT_EQ(pixels[i], NearestByTrying(palette, colours[i]));
    }
}

TEST(ColourReducer, FramesOfOneSceneShareAPaletteAndEachPixelTakesItsNearestEntry) {
    ColourReducer reducer(false);
    bool quantised = false;
    const std::vector<Rgb> first = Gradient(160, 120, Rgb{200, 150, 90}, 0);
    IndexedFrame a = reducer.Reduce(160, 120, first, &quantised);
    EXPECT_TRUE(quantised);
    EXPECT_LT(MeanChannelError(first, a), 3.0);
    // The same colours, moved: nothing calls for a new palette.
    const std::vector<Rgb> second = Gradient(160, 120, Rgb{200, 150, 90}, 17);
    IndexedFrame b = reducer.Reduce(160, 120, second, &quantised);
    EXPECT_TRUE(quantised);
    EXPECT_EQ(reducer.PalettesMade(), 1u);
    ASSERT_EQ(b.palette, a.palette);
    for (size_t i = 0; i < second.size(); ++i)
        ASSERT_EQ(b.pixels[i], NearestByTrying(b.palette, second[i])) << "pixel " << i;
}

TEST(ColourReducer, NewColoursGetANewPalette) {
    ColourReducer reducer(false);
    bool quantised = false;
    IndexedFrame reds =
        reducer.Reduce(160, 120, Gradient(160, 120, Rgb{250, 40, 20}, 0), &quantised);
    const std::vector<Rgb> blue = Gradient(160, 120, Rgb{20, 60, 250}, 0);
    IndexedFrame blues = reducer.Reduce(160, 120, blue, &quantised);
    EXPECT_EQ(reducer.PalettesMade(), 2u);
    EXPECT_NE(blues.palette, reds.palette);
    EXPECT_LT(MeanChannelError(blue, blues), 3.0) << "not the stale palette";
    EXPECT_EQ(blues.palette[0], (Rgb{0, 0, 0}));
}

TEST(ColourReducer, FewColoursStayExactAfterAQuantisedFrame) {
    ColourReducer reducer(false);
    bool quantised = false;
    reducer.Reduce(160, 120, Gradient(160, 120, Rgb{200, 150, 90}, 0), &quantised);
    IndexedFrame few;
    few.width = 16;
    few.height = 16;
    few.palette.push_back(Rgb{0, 0, 0});
    for (int i = 1; i < 256; ++i) few.palette.push_back(Rgb{uint8_t(i), uint8_t(255 - i), 77});
    for (int i = 0; i < 256; ++i) few.pixels.push_back(uint8_t(255 - i));
    const RgbPicture colours = ColoursOf(few);
    IndexedFrame back = reducer.Reduce(16, 16, colours.pixels, &quantised);
    EXPECT_FALSE(quantised);
    EXPECT_EQ(ColoursOf(back).pixels, colours.pixels);
    EXPECT_EQ(reducer.PalettesMade(), 1u);
}

}  // namespace
