// The choices the encoder makes: which colour fills, where black goes, how small it gets.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/encoding.h"

namespace {

IndexedFrame FrameOfRows(const std::vector<std::vector<uint8_t>>& rows, int colours) {
    IndexedFrame f;
    f.width = static_cast<int32_t>(rows[0].size());
    f.height = static_cast<int32_t>(rows.size());
    for (const auto& r : rows) f.pixels.insert(f.pixels.end(), r.begin(), r.end());
    for (int i = 0; i < colours; ++i) f.palette.push_back(Rgb{uint8_t(i), uint8_t(i * 2), 9});
    return f;
}

// Runs of every length up to past two words of eight, ending anywhere in a word and at the end.
TEST(RunEnd, EndsWhereThePixelChanges) {
    std::vector<uint8_t> pixels;
    for (int length = 1; length <= 20; ++length)
        for (int k = 0; k < length; ++k) pixels.push_back(static_cast<uint8_t>(length * 7));
    pixels.insert(pixels.end(), 13, 5);
    for (size_t start = 0; start < pixels.size(); ++start) {
        size_t end = start + 1;
        while (end < pixels.size() && pixels[end] == pixels[start]) ++end;
        for (size_t count : {pixels.size(), end, start + 1})
            ASSERT_EQ(rmwriter::RunEnd(pixels.data(), start, count), std::min(end, count))
                << "start " << start << ", count " << count;
    }
}

// The fill saves a word per run, not per pixel: many short runs of a colour beat one long
// run of a colour that covers more of the picture.
TEST(ChooseFillValue, CountsWordsSavedNotPixels) {
    std::vector<uint8_t> row(60, 5);
    for (int i = 0; i < 13; ++i) row.insert(row.end(), {7, 7, 8});
    IndexedFrame frame = FrameOfRows({row, row, row}, 10);
    uint64_t saves = 0;
    EXPECT_EQ(ChooseFillValue(frame, &saves), 7);
    EXPECT_EQ(saves, 3u * 13u);
}

TEST(ChooseFillValue, RunsLongerThanOneWordCountOncePerWord) {
    // 9000 pixels of 3 take three fill words instead of six run words: 3 saved; 4 runs of 2
    // pixels of 4 save 4.
    std::vector<uint8_t> row(9000, 3);
    for (int i = 0; i < 4; ++i) row.insert(row.end(), {4, 4, 6});
    uint64_t saves = 0;
    EXPECT_EQ(ChooseFillValue(FrameOfRows({row}, 8), &saves), 4);
    EXPECT_EQ(saves, 4u);
    // Single pixels save nothing.
    EXPECT_EQ(ChooseFillValue(FrameOfRows({{1, 2, 1, 2, 1}}, 3), &saves), 0);
    EXPECT_EQ(saves, 0u);
}

struct ZeroCase {
    const char* name;
    std::vector<Rgb> palette;
    std::vector<uint8_t> pixels;
    ZeroFix expected;
};

void PrintTo(const ZeroCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Rgb> Distinct(int n, Rgb first) {
    std::vector<Rgb> p{first};
    for (int i = 1; i < n; ++i) p.push_back(Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2 + 1)});
    return p;
}

std::vector<uint8_t> AllIndices() {
    std::vector<uint8_t> p;
    for (int i = 0; i < 256; ++i) p.push_back(static_cast<uint8_t>(i));
    return p;
}

const ZeroCase ZeroCases[] = {
    {"black_already", Distinct(4, Rgb{0, 0, 0}), {0, 1, 2, 3, 0}, ZeroFix::Kept},
    {"zero_unused", Distinct(4, Rgb{9, 9, 9}), {1, 2, 3}, ZeroFix::Kept},
    {"short_palette", Distinct(16, Rgb{9, 8, 7}), {0, 1, 0, 15}, ZeroFix::Moved},
    {"full_with_free_index", Distinct(256, Rgb{9, 8, 7}), {0, 1, 2, 0}, ZeroFix::Moved},
    {"full_with_a_twin",
     [] {
         auto p = Distinct(256, Rgb{9, 8, 7});
         p[200] = Rgb{9, 8, 7};
         return p;
     }(),
     AllIndices(), ZeroFix::Moved},
    {"full_and_distinct", Distinct(256, Rgb{3, 250, 1}), AllIndices(), ZeroFix::Merged},
};

class ReserveBlack : public ::testing::TestWithParam<ZeroCase> {};

TEST_P(ReserveBlack, IndexZeroIsBlackAndPixelsKeepTheirColours) {
    const ZeroCase& c = GetParam();
    IndexedFrame frame;
    frame.width = static_cast<int32_t>(c.pixels.size());
    frame.height = 1;
    frame.pixels = c.pixels;
    frame.palette = c.palette;
    const RgbPicture before = ColoursOf(frame);
    EXPECT_EQ(ReserveBlackAtZero(frame), c.expected);
    EXPECT_EQ(frame.palette[0], (Rgb{0, 0, 0}));
    EXPECT_LE(frame.palette.size(), 256u);
    const RgbPicture after = ColoursOf(frame);
    for (size_t i = 0; i < c.pixels.size(); ++i) {
        if (c.expected == ZeroFix::Merged && c.pixels[i] == 0) {
            EXPECT_NE(frame.pixels[i], 0) << "a pixel of index 0 would show black";
            continue;
        }
        EXPECT_EQ(after.pixels[i], before.pixels[i]) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Palettes, ReserveBlack, ::testing::ValuesIn(ZeroCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A picture with flat areas, runs and noise: every kind of word is used, and the file is a
// small part of the raw frame.
TEST(MetafileEncoder, UsesRunsFillsAndLiteralsAndBeatsRawFrames) {
    IndexedFrame frame;
    frame.width = 320;
    frame.height = 200;
    for (int i = 0; i < 16; ++i) frame.palette.push_back(Rgb{uint8_t(i * 16), 0, 0});
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            uint8_t v = 3;                                            // sky: the fill
            if (y > 120) v = static_cast<uint8_t>(4 + (x / 40) % 3);  // bands: runs
            if (y > 180 && x > 300) v = static_cast<uint8_t>((x * 7 + y * 3) % 16);  // noise
            frame.pixels.push_back(v);
        }
    MetafileEncoder encoder(EncodeChoices{});
    encoder.AddFrame(frame);
    const EncodeStats& s = encoder.Stats();
    EXPECT_EQ(s.rawBytes, 64000u);
    EXPECT_GT(s.fillWords, 0u);
    EXPECT_GT(s.runWords, 0u);
    EXPECT_GT(s.literalWords, 0u);
    EXPECT_EQ(s.endOfLineWords, 199u);
    // Header, three colour-table blocks, and about 1850 words of stream: 8 blocks.
    EXPECT_LE(s.fileBytes, 12u * 512u);
    EXPECT_EQ(s.fileBytes, encoder.File().Bytes().size());
    // The fill went to colour 4, not to the sky that covers more pixels: the sky is one run
    // a row on 121 rows, colour 4 three runs a row on 79.
    EXPECT_EQ(encoder.File().Bytes()[32], 4);
}

}  // namespace
