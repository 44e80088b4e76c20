// The writer's layout, byte for byte where the reader's tests rely on it.
#include "tests/rm/rm_test_helpers.h"

using rmwriter::Metafile;

TEST(WriterTest, HeaderAndColourTableLayout) {
    rmwriter::Header h;
    h.Width = 0x01020304;
    h.Height = -2;
    h.ColorFlag = 1;
    h.Depth = 4;
    h.Fill[0] = 0xAA;
    Metafile m;
    m.AddHeader(h);
    m.AddColorTable(h, rmwriter::ColourRamp(4));
    const auto& b = m.Bytes();
    ASSERT_EQ(b.size(), 4u * BlockSize);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 20),
              (std::vector<uint8_t>{0,    0,    0, 0xE0, 4, 3, 2, 1, 0xFE, 0xFF,
                                    0xFF, 0xFF, 1, 0,    0, 0, 1, 0, 0,    0}));
    EXPECT_EQ(b[20], 8);
    EXPECT_EQ(b[28], 4);
    EXPECT_EQ(b[32], 0xAA);
    EXPECT_EQ(b[BlockSize + 2 * 15], 255);  // red entry 15 of a 16-entry ramp
    EXPECT_EQ(b[1024 + 2 * 15], 0);         // green
    EXPECT_EQ(b[BlockSize + 2 * 16], 0);    // entries past the table
}

TEST(WriterTest, RowsAreCodedWithRunsFillsAndLiterals) {
    Metafile m;
    m.BeginStream();
    m.Row({4, 4, 4, 0, 0, 7, 8, 8}, 0, true);
    m.Run(9, 5000);
    const auto& b = m.Bytes();
    std::vector<uint16_t> words;
    for (size_t i = 0; i < b.size(); i += 2)
        words.push_back(static_cast<uint16_t>(b[i] | b[i + 1] << 8));
    EXPECT_EQ(words, (std::vector<uint16_t>{0x4000, 0x0003, 0x3004, 0xD002, 0x1007, 0x1008, 0x1008,
                                            0x0FFF, 0x3009, 0x0389, 0x3009}));
}

TEST(WriterTest, JunkIsNeitherAHeaderNorAStreamStart) {
    Metafile m;
    for (int seed = 0; seed < 256; ++seed) m.AddJunk(3, static_cast<uint8_t>(seed));
    const auto& b = m.Bytes();
    for (size_t i = 0; i < b.size(); i += BlockSize) {
        EXPECT_NE(b[i + 1], 0x40);
        EXPECT_NE(b[i + 1], 0x00);
    }
}

TEST(WriterTest, AnEmptyFileIsSavedAsAnEmptyFile) {
    std::string path = TempPath("empty.rm");
    ASSERT_TRUE(Metafile().Save(path));
    EXPECT_EQ(ReadWholeFile(path), "");
}
