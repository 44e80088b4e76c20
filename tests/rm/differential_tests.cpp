// The reader's decoder against the oracle (the decoder it replaced, tests/rm/oracle): the
// same array bytes, fatal errors, Block, BlockNumber and stream position, on every committed
// test file, the fuzz corpus and random streams, from seekable streams and pipes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "format/metafile_format.h"
#include "tests/rm/oracle/decoder_comparison.h"

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int32_t Field(const std::vector<uint8_t>& file, size_t at) {
    if (file.size() < at + 4) return 0;
    return static_cast<int32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                static_cast<uint32_t>(file[at + 3]) << 24);
}

// Every frame of the file in turn, sized by its first header (kept small when absurd),
// seekable and as a pipe, without and with spare bytes after the rows.
void CompareFile(const std::filesystem::path& path) {
    const std::vector<uint8_t> file = ReadFile(path);
    DecodeSetup setup;
    const int32_t width = Field(file, 4), height = Field(file, 8);
    setup.width = width > 0 && width <= 4096 ? width : 33;
    setup.height = height > 0 && height <= 4096 ? height : 7;
    setup.fill[0] = file.size() > 32 ? file[32] : 0;
    setup.initial = 0xEE;
    setup.frames = 64;
    for (int variant = 0; variant < 4; ++variant) {
        setup.seekable = variant % 2 == 0;
        setup.spareBytes = variant < 2 ? 0 : 3;
        EXPECT_EQ(CompareWithOracle(file, setup), "")
            << path << (setup.seekable ? "" : " as a pipe") << ", spare " << setup.spareBytes;
    }
}

void CompareFolder(const char* relative) {
    const char* source = std::getenv("KINARO_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "KINARO_SOURCE_DIR is not set";
    const std::filesystem::path folder = std::filesystem::path(source) / relative;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) CompareFile(entry.path()), ++files;
    EXPECT_GT(files, 0) << folder;
}

// A random stream: junk blocks, the start word, then words of every opcode, mostly the ones
// real frames hold (literal pixels in rows, runs, fills, ends of line), in as many blocks as
// asked, some ending in an error, some cut short, some with a second frame after.
std::vector<uint8_t> RandomStream(std::mt19937& rng, int blocks) {
    std::vector<uint16_t> words;
    auto pad = [&] {
        while (words.size() % WordsPerBlock != 0) words.push_back(static_cast<uint16_t>(rng()));
    };
    auto frame = [&](int frameBlocks) {
        for (int junk = static_cast<int>(rng() % 3); junk > 0; --junk) {
            for (int i = 0; i < WordsPerBlock; ++i)
                words.push_back(static_cast<uint16_t>(rng() & 0x0FFF));
        }
        words.push_back(static_cast<uint16_t>(0x4000 | (rng() & 0xFF)));
        const size_t end = words.size() + static_cast<size_t>(frameBlocks) * WordsPerBlock - 1;
        const bool errors = rng() % 4 == 0;
        while (words.size() < end) {
            const unsigned pick = rng() % 1000;
            const uint16_t pixel = static_cast<uint16_t>(rng() & 0xFF);
            const uint16_t high = static_cast<uint16_t>(rng() & 0x0F00);
            if (pick < 600) {
                int literals = 1 + static_cast<int>(rng() % 40);
                while (literals-- > 0) words.push_back(0x1000 | high | (rng() & 0xFF));
            } else if (pick < 800) {
                words.push_back(
                    static_cast<uint16_t>(rng() % 8 == 0 ? rng() & 0x0FFF : rng() % 48));
                words.push_back(0x3000 | high | pixel);
            } else if (pick < 860) {
                words.push_back(
                    static_cast<uint16_t>(0xD000 | (rng() % 8 == 0 ? rng() & 0x0FFF : rng() % 64)));
            } else if (pick < 920) {
                words.push_back(static_cast<uint16_t>(0x6000 | (rng() & 0x0FFF)));
            } else if (pick < 960) {
                words.push_back(static_cast<uint16_t>(0xF000 | (rng() & 0x0FFF)));
            } else if (pick < 980) {
                words.push_back(0x3000 | pixel);  // a spent run
            } else if (errors) {
                words.push_back(static_cast<uint16_t>(rng()));  // any opcode, errors included
            }
        }
        words.resize(end);
        if (rng() % 8 != 0) words.push_back(0x7000);
        pad();
    };
    frame(blocks);
    if (rng() % 2 == 0) frame(1 + static_cast<int>(rng() % 40));
    std::vector<uint8_t> bytes;
    for (uint16_t w : words) bytes.push_back(w & 0xFF), bytes.push_back(w >> 8);
    // A short tail, or whole blocks cut off the end.
    if (rng() % 4 == 0) bytes.resize(bytes.size() - std::min<size_t>(bytes.size(), rng() % 2048));
    if (rng() % 4 == 0) bytes.resize(bytes.size() + rng() % BlockSize, 0x70);
    return bytes;
}

}  // namespace

TEST(DifferentialTest, TestFilesCrashFilesAndTheFuzzCorpusDecodeAsTheOracleDoes) {
    CompareFolder("tests/rm/good");
    CompareFolder("tests/rm/crashers");
    CompareFolder("fuzz/corpus");
}

TEST(DifferentialTest, RandomStreamsDecodeAsTheOracleDoes) {
    std::mt19937 rng(19);
    for (int round = 0; round < 300; ++round) {
        const int blocks = 1 + static_cast<int>(rng() % (round % 10 == 0 ? 600 : 60));
        const std::vector<uint8_t> stream = RandomStream(rng, blocks);
        DecodeSetup setup;
        setup.width = 1 + static_cast<int>(rng() % (round % 3 == 0 ? 2000 : 300));
        setup.height = 1 + static_cast<int>(rng() % 200);
        setup.spareBytes = static_cast<int>(rng() % 4);
        setup.fill[0] = static_cast<uint8_t>(rng());
        setup.fill[1] = static_cast<uint8_t>(rng());
        setup.fill[2] = static_cast<uint8_t>(rng());
        setup.channel = static_cast<int>(rng() % 5) - 1;
        setup.initial = static_cast<uint8_t>(rng());
        setup.seekable = round % 5 != 0;
        setup.frames = 3;
        // Near the block counter's limit: the 1 TiB rule inside a frame.
        if (round % 7 == 0) setup.firstBlock = LastBlockNumber - static_cast<int32_t>(rng() % 80);
        ASSERT_EQ(CompareWithOracle(stream, setup), "")
            << "round " << round << ", " << blocks << " blocks, " << setup.width << " x "
            << setup.height << (setup.seekable ? "" : ", a pipe") << ", first block "
            << setup.firstBlock;
    }
}

TEST(DifferentialTest, RunPairsSplitByTheEndOfAReadDecodeAsTheOracleDoes) {
    // The decoder reads the start block and 7 more, then 16, 32, ... blocks: a set-run-length
    // word last in a read, its repeated run first in the next read or in the file's short tail.
    for (int blocks : {1, 8, 24, 56, 120, 248}) {
        for (bool shortTail : {false, true}) {
            std::vector<uint16_t> words = {0x4000};
            while (words.size() < static_cast<size_t>(blocks) * WordsPerBlock - 1)
                words.push_back(static_cast<uint16_t>(0x1000 | (words.size() & 0xFF)));
            words.push_back(0x0005);
            std::vector<uint8_t> stream;
            for (uint16_t w : words) stream.push_back(w & 0xFF), stream.push_back(w >> 8);
            const std::vector<uint8_t> rest =
                shortTail ? std::vector<uint8_t>{0x07, 0x30, 0x09}
                          : std::vector<uint8_t>{0x07, 0x30, 0x09, 0x10, 0x00, 0x70};
            stream.insert(stream.end(), rest.begin(), rest.end());
            if (!shortTail) stream.resize(stream.size() + BlockSize - rest.size(), 0);
            DecodeSetup setup;
            setup.width = 101;
            setup.height = 700;
            for (bool seekable : {true, false}) {
                setup.seekable = seekable;
                EXPECT_EQ(CompareWithOracle(stream, setup), "")
                    << blocks << " blocks" << (shortTail ? ", a short tail" : "")
                    << (seekable ? "" : ", a pipe");
            }
        }
    }
}
