// cut and join: the frames' blocks copied as they are, junk left out, damaged frames refused.
#include <gtest/gtest.h>

#include "tests/rm/rm_test_helpers.h"
#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"

namespace {

using rmwriter::Frame;
using rmwriter::Metafile;

// Frames of several sizes, grey and colour tables.
std::vector<Frame> SomeFrames(int count, int seed) {
    std::vector<Frame> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(PatternFrame(11 + i, 6 + (i % 3), seed + i, i % 2 ? 8 : 4));
        if (i % 3 == 1) {
            frames.back().header.ColorFlag = 1;
            frames.back().colors = rmwriter::ColourRamp(frames.back().header.Depth);
        }
    }
    return frames;
}

// The file a writer makes of `frames`, with junk blocks before, between and inside them when
// `junk`.
std::string Write(const std::string& path, const std::vector<Frame>& frames, bool junk) {
    Metafile m;
    if (junk) m.AddJunk(2);
    for (size_t i = 0; i < frames.size(); ++i) {
        Frame f = frames[i];
        if (junk) f.junkBeforeStream = static_cast<int>(i % 2);
        m.AddFrame(f);
        if (junk) m.AddJunk(static_cast<int>(i % 3), static_cast<uint8_t>(i));
    }
    EXPECT_TRUE(m.Save(path));
    return std::string(m.Bytes().begin(), m.Bytes().end());
}

TEST(CutAndJoin, CopyTheSelectedFramesBlockForBlockWithoutTheJunk) {
    const std::string dir = MakeTempDir();
    const std::vector<Frame> a = SomeFrames(6, 1), b = SomeFrames(3, 50);
    Write(dir + "/a.rm", a, true);
    Write(dir + "/b.rm", b, true);

    // -f 2,6,2 is the viewer's frames 2, 4 and 6: file images 1, 3 and 5.
    ToolRun cut = RunTool({"cut", dir + "/a.rm", dir + "/cut.rm", "-f", "2,6,2"});
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.out.find("3 frames"), std::string::npos) << cut.out;
    EXPECT_TRUE(ReadWholeFile(dir + "/cut.rm") ==
                Write(dir + "/expected-cut.rm", {a[1], a[3], a[5]}, false));

    ToolRun join = RunTool({"join", dir + "/joined.rm", dir + "/b.rm", dir + "/cut.rm"});
    ASSERT_EQ(join.status, 0) << join.err;
    EXPECT_TRUE(ReadWholeFile(dir + "/joined.rm") ==
                Write(dir + "/expected-join.rm", {b[0], b[1], b[2], a[1], a[3], a[5]}, false));

    // Neither replaces a file without --force.
    ToolRun again = RunTool({"join", dir + "/joined.rm", dir + "/a.rm"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos);
    ASSERT_EQ(RunTool({"join", dir + "/joined.rm", dir + "/a.rm", "--force"}).status, 0);
    EXPECT_TRUE(ReadWholeFile(dir + "/joined.rm") == Write(dir + "/expected-a.rm", a, false));
}

TEST(CutAndJoin, ADamagedFrameStopsThemWithTheReadersMessageAndNoFile) {
    const std::string dir = MakeTempDir();
    std::vector<Frame> frames = SomeFrames(4, 7);
    frames[2].header.Depth = 9;  // "Depth of image (9) must be < = 8"
    Write(dir + "/bad.rm", frames, false);
    Write(dir + "/good.rm", SomeFrames(2, 3), false);

    ToolRun before = RunTool({"cut", dir + "/bad.rm", dir + "/out.rm", "-f", "1,2,1"});
    EXPECT_EQ(before.status, 0) << "frames before the damage are fine: " << before.err;
    std::remove((dir + "/out.rm").c_str());
    const std::vector<std::vector<std::string>> runs = {
        {"cut", dir + "/bad.rm", dir + "/out.rm", "-f", "2,4,1"},
        {"join", dir + "/out.rm", dir + "/good.rm", dir + "/bad.rm", "--force"},
    };
    for (const auto& args : runs) {
        ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_NE(run.err.find("(file image 2): Error: Depth of image (9) must be "
                               "< = 8 (routine \"GetHeader\""),
                  std::string::npos)
            << args[0] << ": " << run.err;
        EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"bad.rm", "good.rm"})) << args[0];
    }
}

}  // namespace
