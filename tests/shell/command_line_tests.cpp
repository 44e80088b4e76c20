#include <cstdio>

#include "platform/headless/headless_control.h"
#include "tests/shell/command_line_helpers.h"

using Table = std::vector<uint32_t>;

class CommandLineTest : public ViewerTest {};

TEST_F(CommandLineTest, NoArgumentsSelectsTheFirst512Frames) {
    ParseOutcome out = Parse({});
    ASSERT_FALSE(out.ended);
    EXPECT_EQ(out.metafileName, "(none)");
    EXPECT_EQ(State.MaxFrames, 512u);
    EXPECT_EQ(State.LastFrame, 512u);
    for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(State.FileImageNumber[i], i);
}

struct BufferCase {
    std::vector<std::string> args;
    uint32_t bufferCount, maxFrames, lastFrame;
    std::string name;
};

TEST_F(CommandLineTest, BufferCountAndCapacity) {
    const BufferCase cases[] = {
        {{"-b"}, 512, 512, 512, "(none)"},
        {{"-max", "1000", "-b"}, 1000, 1000, 1000, "(none)"},
        {{"-b", "-max", "1000"}, 1000, 1000, 1000, "(none)"},
        {{"-b", "100", "-max", "1000"}, 100, 100, 100, "(none)"},
        {{"-b", "0"}, 0, 512, 512, "(none)"},
        {{"-b", "-1"}, 512, 512, 512, "(none)"},
        {{"-b", "7.rm"}, 7, 7, 7, "(none)"},
        {{"-b", "movie.rm"}, 512, 512, 512, "movie.rm"},
        {{"-B", "3", "x.rm"}, 3, 3, 3, "x.rm"},
    };
    for (const auto& c : cases) {
        ResetViewer();
        ParseOutcome out = Parse(c.args);
        ASSERT_FALSE(out.ended) << testing::PrintToString(c.args);
        EXPECT_EQ(State.BufferCount, c.bufferCount) << testing::PrintToString(c.args);
        EXPECT_EQ(State.MaxFrames, c.maxFrames) << testing::PrintToString(c.args);
        EXPECT_EQ(State.LastFrame, c.lastFrame) << testing::PrintToString(c.args);
        EXPECT_EQ(out.metafileName, c.name) << testing::PrintToString(c.args);
    }
}

TEST_F(CommandLineTest, FrameSelections) {
    struct Case {
        std::vector<std::string> args;
        Table prefix;
        size_t filled;  // entries before the first all-ones
    } cases[] = {
        {{"-f", "2,10,3"}, {1, 4, 7, AllOnes}, 3},
        {{"-f", "1,1000,1"}, {0, 1, 2}, 512},
        {{"-f", "1,-1,2"}, {0, 2, 4}, 256},
        {{"-f", "10,20,-1"}, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, AllOnes}, 10},
        {{"-f", "0,10,1"}, {AllOnes, AllOnes}, 0},
    };
    for (const auto& c : cases) {
        ResetViewer();
        ASSERT_FALSE(Parse(c.args).ended) << c.args[1];
        EXPECT_EQ(TablePrefix(c.prefix.size()), c.prefix) << c.args[1];
        size_t filled = 0;
        while (filled < State.MaxFrames && State.FileImageNumber[filled] != AllOnes) ++filled;
        EXPECT_EQ(filled, c.filled) << c.args[1];
        for (size_t i = filled; i < State.MaxFrames; ++i)
            ASSERT_EQ(State.FileImageNumber[i], AllOnes);
    }
}

TEST_F(CommandLineTest, ValuesAndFlags) {
    ASSERT_FALSE(Parse({"-p", "25ms", "-w", "-3", "-s", "-g", "-x", "-noinfo", "a.rm"}).ended);
    EXPECT_EQ(State.Wait, 25);
    EXPECT_EQ(State.WidthAdjust, -3);
    EXPECT_EQ(State.MultipleColormaps, 0);
    EXPECT_EQ(State.Grayscale, 1);
    EXPECT_EQ(State.FullScreen, 1);
    EXPECT_EQ(State.ShowInfo, 0);

    ResetViewer();
    ASSERT_FALSE(Parse({"-loop", "3", "-cycle", "2", "-S", "-M"}).ended);
    EXPECT_EQ(State.Mode, Cycle);
    EXPECT_EQ(State.RepeatLimit, 2);
    EXPECT_EQ(State.MultipleColormaps, 1);

    // An empty value is taken and leaves the setting as it was.
    ResetViewer();
    ASSERT_FALSE(Parse({"-p", "40", "-p", "", "-Max", "64"}).ended);
    EXPECT_EQ(State.Wait, 40);
    EXPECT_EQ(State.MaxFrames, 64u);
}

TEST_F(CommandLineTest, RejectedCommandLinesShowTheUsageBoxAndEndWithMinusOne) {
    const std::vector<std::vector<std::string>> rejected = {
        {"-p"},          {"-p", "-5"},     {"-p", "fast"}, {"-f", "5,10"},
        {"-f", "a,b,c"}, {"-f", "1,10,0"}, {"-w"},         {"-w", "wide"},
        {"-loop"},       {"-cycle", "x"},  {"-max", "-b"}, {"-nom"},
        {"-zzz"},        {"a.rm", "b.rm"}, {"-max", "0"},  {"-f", ""},
    };
    for (const auto& args : rejected) {
        ResetViewer();
        ParseOutcome out = Parse(args);
        EXPECT_TRUE(out.ended) << testing::PrintToString(args);
        EXPECT_EQ(out.status, -1) << testing::PrintToString(args);
        ASSERT_EQ(Headless().Boxes.size(), 1u) << testing::PrintToString(args);
        EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Usage");
        EXPECT_EQ(Headless().Boxes[0].Owner, nullptr);
    }
}

TEST_F(CommandLineTest, MaxZeroIsAcceptedWhenABufferCountRaisesIt) {
    ASSERT_FALSE(Parse({"-max", "0", "-b", "5"}).ended);
    EXPECT_EQ(State.MaxFrames, 5u);
    EXPECT_EQ(TablePrefix(5), (Table{0, 1, 2, 3, 4}));
}

TEST_F(CommandLineTest, TablesNoFileCouldFillAreRefusedAsAnAllocationFailure) {
    ParseOutcome out = Parse({"-max", "99999999"});
    EXPECT_EQ(out.status, -1);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Error");
    EXPECT_EQ(Headless().Boxes[0].Text,
              "Error: Cannot allocate memory for image positions (399999996)\n"
              "\tCheck \"-b\" or \"-max\" parameter");
}

TEST_F(CommandLineTest, HelpShowsThreeBoxesAndEndsBeforeLaterOptions) {
    ParseOutcome out = Parse({"-help", "run.rm", "-zzz"});
    EXPECT_TRUE(out.ended);
    EXPECT_EQ(out.status, 0);
    const auto& boxes = Headless().Boxes;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].Title, "Kinaro Info");
    EXPECT_EQ(boxes[1].Title, "Kinaro Usage");
    EXPECT_EQ(boxes[2].Title, "Kinaro Controls");
    for (const auto& box : boxes) {
        EXPECT_EQ(box.Owner, nullptr);
        EXPECT_EQ(box.Type, MB_OK);
    }
}

TEST_F(CommandLineTest, VersionBox) {
    ParseOutcome out = Parse({"-V"});
    EXPECT_EQ(out.status, 0);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Text, "Kinaro 1.62 - MSWIN");
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Version");
    EXPECT_EQ(Headless().Boxes[0].Type, MB_OK | MB_ICONINFORMATION);
}

TEST_F(CommandLineTest, DebugLevelsAndLogFiles) {
    struct Case {
        std::vector<std::string> args;
        int16_t level;
        bool toStdout;
    } cases[] = {
        {{"-d"}, 1, true},          {{"-d-2"}, 1, true},        {{"-D3"}, 3, true},
        {{"-debug"}, 1, true},      {{"-d12", "-x"}, 12, true}, {{"-d5", "LOG"}, 5, false},
        {{"-d0", "LOG"}, 0, false},
    };
    for (auto c : cases) {
        ResetViewer();
        std::string path = TempPath("level.log");
        std::remove(path.c_str());
        for (auto& a : c.args)
            if (a == "LOG") a = path;
        ASSERT_FALSE(Parse(c.args).ended) << c.args[0];
        EXPECT_EQ(State.LogLevel, c.level) << c.args[0];
        if (c.toStdout) {
            EXPECT_EQ(State.LogFile, stdout) << c.args[0];
        } else {
            EXPECT_NE(State.LogFile, stdout);
            FILE* probe = fopen(path.c_str(), "r");
            EXPECT_NE(probe, nullptr) << "the log file is created even at level 0";
            if (probe) fclose(probe);
            fclose(State.LogFile);
        }
    }
}

TEST_F(CommandLineTest, TheArgumentAfterDebugIsTheLogFileEvenWhenItLooksLikeAMetafile) {
    std::string path = TempPath("movie.rm");
    ParseOutcome out = Parse({"-d", path});
    ASSERT_FALSE(out.ended);
    EXPECT_EQ(out.metafileName, "(none)");
    fclose(State.LogFile);
}

TEST_F(CommandLineTest, AnUnopenableLogFileShowsItsOwnBoxWhateverTheNameLength) {
    std::string longName = "/nonexistent-dir/" + std::string(400, 'x') + ".log";
    ParseOutcome out = Parse({"-d", longName});
    EXPECT_EQ(out.status, -1);
    ASSERT_EQ(Headless().Boxes.size(), 1u);
    EXPECT_EQ(Headless().Boxes[0].Title, "Kinaro Error");
    EXPECT_EQ(Headless().Boxes[0].Type, MB_OK | MB_ICONERROR);
    EXPECT_EQ(Headless().Boxes[0].Text, "Cannot open \"" + longName + "\" for debug info");
}
