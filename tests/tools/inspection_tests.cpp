// info and check: what they say about files with junk, gaps, size changes and damage.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <sstream>

#include "platform/headless/headless_control.h"
#include "rm/frame_locator.h"
#include "shell/command_line.h"
#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"

namespace {

rmwriter::Frame GreyFrame(int width, int height, int seed, int junkBeforeStream = 0) {
    rmwriter::Frame f;
    f.header.Width = width;
    f.header.Height = height;
    f.header.Depth = 8;
    f.header.Fill[0] = 9;
    f.header.Fill[1] = 4;
    f.header.Fill[2] = 250;
    f.colors = rmwriter::GreyRamp(8);
    f.junkBeforeStream = junkBeforeStream;
    for (int r = 0; r < height; ++r) {
        std::vector<uint8_t> row;
        for (int c = 0; c < width; ++c)
            row.push_back(static_cast<uint8_t>(c < width / 2 ? 9 : (c * 7 + r + seed) & 0xFF));
        f.rows.push_back(row);
    }
    return f;
}

// The JSON row of one image ("image": n), and a field of it as written.
std::string FrameLine(const std::string& json, int image) {
    std::istringstream lines(json);
    std::string line, mark = "    {\"image\": " + std::to_string(image) + ",";
    while (std::getline(lines, line))
        if (line.rfind(mark, 0) == 0) return line;
    return "";
}

std::string Field(const std::string& text, const std::string& key) {
    std::smatch m;
    std::regex pattern("\"" + key + "\": (\\[[^\\]]*\\]|[^,}\\n]+)");
    return std::regex_search(text, m, pattern) ? m[1].str() : "(missing " + key + ")";
}

// Two junk blocks before the first header, one between frames 0 and 1, two inside frame 1
// between its colour table and its stream, a change of size at frame 1, and a short block
// at the end.
std::string JunkAndGapsFile(const std::string& dir) {
    rmwriter::Metafile file;
    file.AddJunk(2);
    file.AddFrame(GreyFrame(8, 4, 1));
    file.AddJunk(1);
    file.AddFrame(GreyFrame(600, 5, 2, 2));
    rmwriter::Frame colour = GreyFrame(600, 5, 3);
    colour.header.ColorFlag = 1;
    colour.colors = rmwriter::ColourRamp(8);
    file.AddFrame(colour);
    file.MutableBytes().resize(file.Bytes().size() + 100, 0x11);
    std::string path = dir + "/junk.rm";
    EXPECT_TRUE(file.Save(path));
    return path;
}

TEST(Info, ReportsJunkGapsAndSizeChanges) {
    std::string path = JunkAndGapsFile(MakeTempDir());
    ToolRun run = RunTool({"info", "--json", path});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string& j = run.out;
    EXPECT_EQ(Field(j, "trailing_bytes"), "100");
    EXPECT_EQ(Field(j, "header_blocks"), "3");

    struct Expected {
        const char *headerBlock, *width, *junkBefore, *junkInside, *sizeChanged, *colorFlag,
            *streamFirst, *streamBlocks;
    };
    // Frame 0: blocks 2 (header), 3 (table), 4 (stream: 8x4 fits one block).
    // Frame 1: junk 5; header 6, table 7, junk 8-9, stream from 10 (600x5 takes more).
    const Expected expected[] = {
        {"2", "8", "2", "0", "false", "0", "4", "1"},
        {"6", "600", "1", "2", "true", "0", "10", nullptr},
        {nullptr, "600", "0", "0", "false", "1", nullptr, nullptr},
    };
    for (int n = 0; n < 3; ++n) {
        std::string line = FrameLine(j, n);
        ASSERT_FALSE(line.empty()) << "no row for image " << n << "\n" << j;
        const Expected& e = expected[n];
        if (e.headerBlock) {
            EXPECT_EQ(Field(line, "header_block"), e.headerBlock) << line;
        }
        EXPECT_EQ(Field(line, "width"), e.width) << line;
        EXPECT_EQ(Field(line, "junk_before"), e.junkBefore) << line;
        EXPECT_EQ(Field(line, "junk_inside"), e.junkInside) << line;
        EXPECT_EQ(Field(line, "size_changed"), e.sizeChanged) << line;
        EXPECT_EQ(Field(line, "color_flag"), e.colorFlag) << line;
        if (e.streamFirst) {
            EXPECT_EQ(Field(line, "stream_first_block"), e.streamFirst) << line;
        }
        if (e.streamBlocks) {
            EXPECT_EQ(Field(line, "stream_blocks"), e.streamBlocks) << line;
        }
        EXPECT_EQ(Field(line, "fill_values"), "[9, 4, 250]") << line;
    }
    // Each header's offset is its block times 512, and the frames follow one another.
    EXPECT_EQ(Field(FrameLine(j, 1), "header_offset"), std::to_string(6 * 512));
    int last1 = std::stoi(Field(FrameLine(j, 1), "stream_last_block"));
    EXPECT_EQ(Field(FrameLine(j, 2), "header_block"), std::to_string(last1 + 1));
    EXPECT_EQ(Field(j, "junk_blocks"), "5");
    // The frames take their blocks from header to end word: everything but the junk before
    // frames 0 and 1 and the short block at the end.
    EXPECT_EQ(Field(j, "frame_bytes"), std::to_string((std::stoi(Field(j, "blocks")) - 3) * 512));
    EXPECT_EQ(Field(j, "size_changes"), "1");
    EXPECT_EQ(Field(j, "error"), "null");

    // The table says the same: a '*' on the frame whose size changed only.
    ToolRun table = RunTool({"info", path});
    ASSERT_EQ(table.status, 0);
    std::istringstream rows(table.out);
    std::string header, row0, row1, row2;
    std::getline(rows, header);
    std::getline(rows, row0);
    std::getline(rows, row1);
    std::getline(rows, row2);
    EXPECT_EQ(row0.back(), '0');
    EXPECT_EQ(row1.substr(row1.size() - 2), " *");
    EXPECT_NE(table.out.find("100 trailing bytes"), std::string::npos);
}

TEST(Info, FollowsTheViewersSelectionAndAdjustments) {
    std::string path = JunkAndGapsFile(MakeTempDir());
    // Frames 2 to 3 (counted from 1), one colour map, widths 3 less.
    ToolRun run = RunTool({"info", "--json", "-f", "2,3,1", "-s", "-w", "-3", path});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string first = FrameLine(run.out, 0), second = FrameLine(run.out, 1);
    EXPECT_EQ(Field(first, "file_image"), "1");
    EXPECT_EQ(Field(second, "file_image"), "2");
    EXPECT_TRUE(FrameLine(run.out, 2).empty());
    EXPECT_EQ(Field(first, "width"), "600");
    EXPECT_EQ(Field(first, "IW"), "597");
    EXPECT_EQ(Field(run.out, "width_adjust"), "-3");
    // Single colour map: only the first frame fetched reads its table; the unread table of
    // the next is still not counted as junk.
    EXPECT_EQ(Field(first, "lut_read"), "true");
    EXPECT_EQ(Field(second, "lut_read"), "false");
    EXPECT_EQ(Field(second, "junk_inside"), "0");
    EXPECT_EQ(Field(first, "junk_before"), "null") << "frame 0 was not read, so the gap is unknown";
}

// What the viewer's reader itself reports for a file: reads image after image as the viewer
// does (ending with "File is not in Raster Metafile format" when image 0 is missing) and
// returns the error box text and block number of the fatal error.
struct ViewerVerdict {
    std::string text;
    int32_t block = -1;
};
ViewerVerdict ViewerReads(const std::string& path) {
    ResetViewer();
    Headless().Quiet = true;
    char program[] = "kinaro";
    char* argv[] = {program, nullptr};
    ParseCommandLine(1, argv);
    State.MetafileStream = fopen(path.c_str(), "rb");
    ScopedImage image;
    InitImage(image);
    ViewerVerdict verdict;
    try {
        for (uint32_t i = 0;; ++i) {
            if (GetFileImage(image, i) != -1) continue;
            if (i == 0) FatalError("DoImage", "File is not in Raster Metafile format", 0);
            break;
        }
    } catch (const ProcessEnded& ended) {
        if (ended.fatal) verdict.text = ended.fatal->text, verdict.block = ended.fatal->blockNumber;
    }
    return verdict;
}

struct Damage {
    const char* name;
    std::function<void(rmwriter::Metafile&)> build;
    const char* routine;
    const char* message;
    int badImage;
};

rmwriter::Header SmallHeader() {
    rmwriter::Header h;
    h.Width = 4;
    h.Height = 2;
    return h;
}

void GoodFrame(rmwriter::Metafile& f) {
    f.AddFrame(GreyFrame(4, 2, 0));
}

// A frame whose stream holds `word` after a few good words.
void FrameWithWord(rmwriter::Metafile& f, uint16_t word) {
    f.AddHeader(SmallHeader());
    f.AddColorTable(SmallHeader(), rmwriter::GreyRamp(8));
    f.BeginStream();
    f.SetRunLength(4);
    f.RepeatedRun(3);
    f.AddWord(word);
    f.EndOfFrame();
    f.EndBlock();
}

void HeaderOnly(rmwriter::Metafile& f, std::function<void(rmwriter::Header&)> change) {
    rmwriter::Header h = SmallHeader();
    change(h);
    f.AddHeader(h);
    f.AddColorTable(SmallHeader(), rmwriter::GreyRamp(8));
    f.BeginStream();
    f.EndOfFrame();
    f.EndBlock();
}

const Damage Damages[] = {
    {"illegal_opcode",
     [](auto& f) {
         GoodFrame(f);
         FrameWithWord(f, 0x2000);
     },
     "GetRLE", "Error: Illegal opcode (32) in Raster Metafile", 1},
    {"colormap_opcode", [](auto& f) { FrameWithWord(f, 0xB000); }, "GetRLE",
     "Error: Unexpected colormap in Raster Metafile", 0},
    {"start_inside_frame",
     [](auto& f) {
         f.AddHeader(SmallHeader());
         f.AddColorTable(SmallHeader(), rmwriter::GreyRamp(8));
         f.BeginStream();
         for (int i = 0; i < 255; ++i) f.NoOp();
         f.BeginStream();  // a block that starts like a new frame
         f.EndOfFrame();
         f.EndBlock();
     },
     "GetRLE", "Error: Start frame encountered before end of last frame", 0},
    {"truncated_stream",
     [](auto& f) {
         GoodFrame(f);
         f.AddFrame(GreyFrame(3000, 40, 1));
         f.Truncate(f.Bytes().size() - 3 * 512 - 100);
     },
     "GetRLE", "Error: End of file encountered before end of frame", 1},
    {"no_start_word",
     [](auto& f) {
         f.AddHeader(SmallHeader());
         f.AddColorTable(SmallHeader(), rmwriter::GreyRamp(8));
         f.AddJunk(2);
     },
     "GetRLE", "Error: Start frame not found", 0},
    {"missing_table", [](auto& f) { f.AddHeader(SmallHeader()); }, "GetLUT",
     "Error: Cannot read red/grey LUT", 0},
    {"rgb_header", [](auto& f) { HeaderOnly(f, [](auto& h) { h.Components = 3; }); }, "GetHeader",
     "Error: RGB images not supported (3)", 0},
    {"colour_flag", [](auto& f) { HeaderOnly(f, [](auto& h) { h.ColorFlag = 2; }); }, "GetHeader",
     "Error: Illegal color flag (2) in Raster Metafile", 0},
    {"bits_per_entry",
     [](auto& f) {
         GoodFrame(f);
         HeaderOnly(f, [](auto& h) { h.BitsPerLUTEntry = -1; });
     },
     "GetHeader", "Error: Bits per LUT entry (-1) must be < = 8", 1},
    {"depth", [](auto& f) { HeaderOnly(f, [](auto& h) { h.Depth = 9; }); }, "GetHeader",
     "Error: Depth of image (9) must be < = 8", 0},
    {"not_a_metafile", [](auto& f) { f.AddJunk(3); }, "DoImage",
     "Error: File is not in Raster Metafile format", 0},
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.name;
}

class CheckDamaged : public ::testing::TestWithParam<Damage> {};

TEST_P(CheckDamaged, GivesTheViewersMessage) {
    const Damage& d = GetParam();
    rmwriter::Metafile file;
    d.build(file);
    std::string path = MakeTempDir() + "/" + d.name + ".rm";
    ASSERT_TRUE(file.Save(path));

    ViewerVerdict viewer = ViewerReads(path);
    ASSERT_EQ(viewer.text, d.message) << "the viewer's own reader on this file";

    ToolRun run = RunTool({"check", path});
    EXPECT_EQ(run.status, 1);
    std::string lines = std::string("Fatal error in routine \"") + d.routine + "\"\n" +
                        viewer.text +
                        "\nRaster Metafile Block Number = " + std::to_string(viewer.block) + "\n";
    EXPECT_NE(run.out.find(lines), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(std::to_string(d.badImage) + " frame"), std::string::npos) << run.out;
    // One line on stderr, naming the file, the image and the message.
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_EQ(run.err.rfind("rmtool: " + path + ": image " + std::to_string(d.badImage), 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find(d.message), std::string::npos) << run.err;

    // info shows the frames before the damage, then the same error.
    ToolRun info = RunTool({"info", "--json", path});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(Field(info.out, "routine"), std::string("\"") + d.routine + "\"");
    EXPECT_EQ(Field(info.out, "block_number"), std::to_string(viewer.block));
    EXPECT_EQ(FrameLine(info.out, d.badImage), "");
    if (d.badImage > 0) {
        EXPECT_NE(FrameLine(info.out, d.badImage - 1), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CheckDamaged, ::testing::ValuesIn(Damages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Check, SoundFileEndsWithZeroAndSaysNothingOnStderr) {
    std::string path = JunkAndGapsFile(MakeTempDir());
    ToolRun run = RunTool({"check", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, path + ": 3 frames decode\n");
    EXPECT_EQ(run.err, "") << "no progress bar when stderr is not a terminal";
}

}  // namespace
