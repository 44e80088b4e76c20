// What rmtool promises at its command line: files never half written or overwritten unasked,
// one line per error naming the file, help in the usual form, a progress bar only on a
// terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/test_support.h"
#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/png_io.h"

namespace {

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

struct Inputs {
    std::string dir, a, b, movie;
};

Inputs MakeInputs() {
    Inputs in;
    in.dir = MakeTempDir();
    in.a = in.dir + "/a.png";
    in.b = in.dir + "/b.png";
    in.movie = in.dir + "/movie.rm";
    WritePng(in.a, PatternedFrame(20, 10, 8, 1), false);
    WritePng(in.b, PatternedFrame(20, 10, 8, 2), false);
    EXPECT_EQ(RunTool({"encode", in.movie, in.a, in.b}).status, 0);
    return in;
}

void ExpectOneErrorLine(const ToolRun& run, const std::string& names) {
    EXPECT_NE(run.status, 0);
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(run.err.rfind("rmtool: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(names), std::string::npos) << run.err;
}

TEST(Encode, ExistingFileIsLeftUntouchedWithoutForce) {
    Inputs in = MakeInputs();
    std::string target = in.dir + "/keep.rm";
    FILE* f = fopen(target.c_str(), "wb");
    fputs("precious", f);
    fclose(f);
    struct stat before;
    ASSERT_EQ(stat(target.c_str(), &before), 0);

    ToolRun run = RunTool({"encode", target, in.a});
    ExpectOneErrorLine(run, target + ": already exists");
    EXPECT_EQ(ReadWholeFile(target), "precious");
    struct stat after;
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(FolderEntries(in.dir),
              (std::vector<std::string>{"a.png", "b.png", "keep.rm", "movie.rm"}))
        << "no temporary file left behind";

    ToolRun forced = RunTool({"encode", target, in.a, "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(RunTool({"check", target}).status, 0);
    EXPECT_EQ(ReadWholeFile(target), [&] {
        ToolRun again = RunTool({"encode", in.dir + "/same.rm", in.a});
        EXPECT_EQ(again.status, 0);
        return ReadWholeFile(in.dir + "/same.rm");
    }()) << "--force writes the same file a fresh encode does";
}

TEST(Encode, FailureHalfWayLeavesNoFile) {
    Inputs in = MakeInputs();
    // A PNG cut short: it passes the signature test, and fails while its pixels are read,
    // after the first input has been encoded.
    std::string whole = ReadWholeFile(in.b);
    std::string cut = in.dir + "/cut.png";
    FILE* f = fopen(cut.c_str(), "wb");
    fwrite(whole.data(), 1, whole.size() / 2, f);
    fclose(f);
    ToolRun run = RunTool({"encode", in.dir + "/new.rm", in.a, cut});
    ExpectOneErrorLine(run, cut + ": damaged PNG");
    EXPECT_EQ(FolderEntries(in.dir),
              (std::vector<std::string>{"a.png", "b.png", "cut.png", "movie.rm"}));
}

TEST(Export, RefusesToReplaceFilesAndLeavesThemAsTheyWere) {
    Inputs in = MakeInputs();
    std::string out = in.dir + "/frames";
    ASSERT_EQ(RunTool({"export", in.movie, "--png", out}).status, 0);
    std::string first = ReadWholeFile(out + "/movie-0000.png");
    ToolRun again = RunTool({"export", in.movie, "--png", out, "-g"});
    ExpectOneErrorLine(again, out + "/movie-0000.png: already exists");
    EXPECT_EQ(ReadWholeFile(out + "/movie-0000.png"), first);

    ToolRun forced = RunTool({"export", in.movie, "--png", out, "-g", "--force"});
    ASSERT_EQ(forced.status, 0) << forced.err;
    SourcePicture grey = ReadPng(out + "/movie-0000.png");
    for (const Rgb& c : grey.frame.palette) {
        EXPECT_EQ(c.r, c.g);
        EXPECT_EQ(c.g, c.b);
    }
    EXPECT_EQ(FolderEntries(out), (std::vector<std::string>{"movie-0000.png", "movie-0001.png"}));
}

// As the viewer does, a name that cannot be opened is tried again with ".rm" appended.
TEST(Check, NameWithoutExtensionFindsTheMetafile) {
    Inputs in = MakeInputs();
    std::string bare = in.movie.substr(0, in.movie.size() - 3);
    ToolRun run = RunTool({"check", bare});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, in.movie + ": 2 frames decode\n");
}

struct BadCall {
    const char* name;
    std::vector<std::string> args;  // "@" stands for the test folder
    const char* names;              // what the error line must name ("@" likewise)
    int status;
};

std::string Expand(const std::string& s, const std::string& dir) {
    std::string out = s;
    for (size_t at; (at = out.find('@')) != std::string::npos;) out.replace(at, 1, dir);
    return out;
}

const BadCall BadCalls[] = {
    {"missing_metafile", {"info", "@/none.rm"}, "@/none.rm: cannot open", 1},
    {"folder_as_metafile", {"check", "@"}, "@: is a directory", 1},
    {"missing_input", {"encode", "@/x.rm", "@/a.png", "@/none.png"}, "@/none.png: cannot open", 1},
    {"text_input", {"encode", "@/x.rm", "@/notes.txt"}, "@/notes.txt: not a PNG or GIF", 1},
    {"png_folder_is_a_file", {"export", "@/movie.rm", "--png", "@/a.png"}, "@/a.png", 1},
    {"gif_exists", {"export", "@/movie.rm", "--gif", "@/a.png"}, "@/a.png: already exists", 1},
    {"gif_folder_missing",
     {"export", "@/movie.rm", "--gif", "@/no/such/dir/x.gif"},
     "@/no/such/dir/x.gif",
     1},
    {"bad_selection", {"info", "-f", "5,10", "@/movie.rm"}, "-f 5,10", 2},
    {"pause_without_value", {"export", "@/movie.rm", "--gif", "@/o.gif", "-p"}, "-p", 2},
    {"unknown_option", {"check", "--frob", "@/movie.rm"}, "--frob", 2},
    {"two_metafiles", {"info", "@/movie.rm", "@/a.png"}, "@/a.png", 2},
    {"unknown_command", {"play", "@/movie.rm"}, "play", 2},
    {"nothing_to_export", {"export", "@/movie.rm"}, "--png", 2},
};

void PrintTo(const BadCall& c, std::ostream* os) {
    *os << c.name;
}

class BadCalls_ : public ::testing::TestWithParam<BadCall> {};

TEST_P(BadCalls_, OneLineOnStderrNamingWhatIsWrong) {
    const BadCall& c = GetParam();
    Inputs in = MakeInputs();
    FILE* f = fopen((in.dir + "/notes.txt").c_str(), "w");
    fputs("not a picture\n", f);
    fclose(f);
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(Expand(a, in.dir));
    ToolRun run = RunTool(args);
    ExpectOneErrorLine(run, Expand(c.names, in.dir));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Calls, BadCalls_, ::testing::ValuesIn(BadCalls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Help, EveryCommandHasItsUsage) {
    ToolRun main = RunTool({"--help"});
    EXPECT_EQ(main.status, 0);
    EXPECT_EQ(main.out.rfind("Usage: rmtool COMMAND", 0), 0u);
    for (const char* command : {"info", "check", "export", "encode", "cut", "join", "thumbnail"}) {
        ToolRun run = RunTool({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("Usage: rmtool ") + command + " ", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(main.out.find(std::string("  ") + command + " "), std::string::npos)
            << "the main usage lists " << command;
    }
    ToolRun none = RunTool({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err.rfind("Usage: rmtool", 0), 0u);
}

// On a terminal the work shows a bar with frames done and the total; elsewhere nothing
// (Check.SoundFileEndsWithZeroAndSaysNothingOnStderr).
TEST(Progress, ShownOnATerminal) {
    if (access("/usr/bin/script", X_OK) != 0) GTEST_SKIP() << "script(1) is missing";
    Inputs in = MakeInputs();
    std::string log = in.dir + "/typescript";
    std::string command = "/usr/bin/script -qec " +
                          Quoted(std::string(RMTOOL_PATH) + " check " + in.movie) + " " + log +
                          " >/dev/null 2>&1 </dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string screen = ReadWholeFile(log);
    EXPECT_NE(screen.find("check [##############################] 2/2 frames"), std::string::npos)
        << screen;
    EXPECT_NE(screen.find("movie.rm: 2 frames decode"), std::string::npos) << screen;
}

}  // namespace
