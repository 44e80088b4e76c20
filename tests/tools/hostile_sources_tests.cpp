// Sources that never end or never open, tiny files that ask for giant frames, and the
// temporary file under signals and a planted symlink: nothing hangs, nothing is left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/tools/tools_test_helpers.h"

extern char** environ;

namespace {

std::string GoodFile(const std::string& dir) {
    rmwriter::Metafile file;
    for (int seed = 0; seed < 3; ++seed) {
        rmwriter::Frame f;
        f.header.Width = 16;
        f.header.Height = 8;
        f.colors = rmwriter::GreyRamp(8);
        for (int r = 0; r < 8; ++r) f.rows.push_back(std::vector<uint8_t>(16, (r + seed) * 9));
        file.AddFrame(f);
    }
    const std::string path = dir + "/good.rm";
    EXPECT_TRUE(file.Save(path));
    return path;
}

// A shell command under a deadline: a source that is waited on shows as status 124.
int RunWithin(const std::string& command) {
    return RunShell("timeout 10 " + command + " >/dev/null 2>&1");
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(HostileSources, DevicesAndUnwrittenPipesAreRefusedAtOnce) {
    const std::string dir = MakeTempDir();
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const char* command : {"info", "check", "export", "thumbnail", "cut"}) {
        std::string tail = std::string(command) == "export"      ? " --png " + dir + "/frames"
                           : std::string(command) == "thumbnail" ? " " + dir + "/t.png"
                           : std::string(command) == "cut"       ? " " + dir + "/c.rm -f 1,1,1"
                                                                 : "";
        for (const std::string& source :
             {std::string("/dev/zero"), std::string("/dev/urandom"), fifo}) {
            SCOPED_TRACE(std::string(command) + " " + source);
            EXPECT_EQ(RunWithin(std::string("\"$RMTOOL\" ") + command + " " + source + tail), 1);
        }
    }
    const ToolRun zero = RunTool({"check", "/dev/zero"});
    EXPECT_EQ(zero.err, "rmtool: /dev/zero: a character device, not a file\n");
    const ToolRun unwritten = RunTool({"info", fifo});
    EXPECT_EQ(unwritten.err, "rmtool: " + fifo + ": a named pipe that nobody writes to\n");
    const ToolRun seeking = RunTool({"cut", fifo, dir + "/c.rm", "-f", "1,1,1"});
    EXPECT_EQ(seeking.err, "rmtool: " + fifo +
                               ": a pipe, not a file (this command needs a file it can seek in)\n");
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"fifo"});  // no folder, no output
}

// A pipe is read once: the whole file through it gives what the file itself gives.
TEST(HostileSources, PipesAreReadOnceForward) {
    const std::string dir = MakeTempDir();
    const std::string good = GoodFile(dir), fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(RunWithin("sh -c 'cat " + good + " > " + fifo + " & " RMTOOL_PATH " check " + fifo +
                        " > " + dir + "/fifo.txt'"),
              0);
    EXPECT_EQ(Slurp(dir + "/fifo.txt"), fifo + ": 3 frames decode\n");
    const ToolRun fromFile = RunTool({"info", "--json", good});
    const ToolRun fromPipe = RunTool({"info", "--json", "-"}, good);  // stdin a file: seekable
    EXPECT_EQ(RunWithin("sh -c 'cat " + good + " | " RMTOOL_PATH " info --json - > " + dir +
                        "/pipe.json'"),
              0);
    auto sameButName = [&](std::string text, const std::string& name) {
        const size_t at = text.find("\"file\": \"" + name + "\"");
        if (at != std::string::npos) text.replace(at, name.size() + 10, "\"file\": X");
        return text;
    };
    EXPECT_EQ(sameButName(fromPipe.out, "-"), sameButName(fromFile.out, good));
    EXPECT_EQ(sameButName(Slurp(dir + "/pipe.json"), "-"), sameButName(fromFile.out, good));
}

// A 1.5 KB file whose frame says 40000 x 40000: the array's pages appear only as they are
// written, so check and thumbnail cost a few megabytes, not the 1.6 GB the frame would fill.
TEST(HostileSources, GiantFrameOfTinyStreamCostsLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow of the array is resident whatever the array does";
#endif
    const std::string dir = MakeTempDir();
    rmwriter::Metafile file;
    rmwriter::Header header;
    header.Width = header.Height = 40000;
    file.AddHeader(header);
    file.AddColorTable(header, rmwriter::GreyRamp(8));
    file.BeginStream();
    file.Literal(200);
    file.EndOfFrame();
    file.EndBlock();
    ASSERT_TRUE(file.Save(dir + "/giant.rm"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"check", dir + "/giant.rm"},
          std::vector<std::string>{"thumbnail", dir + "/giant.rm", dir + "/giant.png"}}) {
        SCOPED_TRACE(args[0]);
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_LT(run.peakResidentKb, 100 * 1024) << "peak resident kilobytes";
    }
}

// SIGINT, SIGTERM, SIGHUP and SIGPIPE while encode waits for its input: the temporary file
// goes, and the tool ends by the signal (a shell reports 128 + its number).
TEST(HostileSources, SignalsRemoveTheTemporaryFile) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(sig);
        const std::string dir = MakeTempDir();
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        std::vector<std::string> all{RMTOOL_PATH, "encode", dir + "/out.rm", "-"};
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, RMTOOL_PATH, &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ASSERT_EQ(spawned, 0);
        close(input[0]);
        // The temporary file appears before the tool reads its input, which never comes.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (FolderEntries(dir).empty() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(FolderEntries(dir).size(), 1u);
        EXPECT_EQ(FolderEntries(dir)[0].rfind("out.rm.tmp-", 0), 0u);
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(input[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
        EXPECT_TRUE(FolderEntries(dir).empty());
    }
}

// Someone swaps the temporary file for a symlink to a file of theirs while the tool writes:
// their file keeps its bytes and mode, and no output is put in place.
TEST(HostileSources, PlantedSymlinkIsNeverFollowed) {
    const std::string dir = MakeTempDir();
    const std::string victim = dir + "/victim";
    { std::ofstream(victim) << "victim"; }
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    bool refused = false;
    try {
        AtomicFile out(dir + "/out.rm", false);
        std::string temp;
        for (const std::string& name : FolderEntries(dir))
            if (name.rfind("out.rm.tmp-", 0) == 0) temp = dir + "/" + name;
        ASSERT_FALSE(temp.empty());
        ASSERT_EQ(unlink(temp.c_str()), 0);
        ASSERT_EQ(symlink(victim.c_str(), temp.c_str()), 0);
        out.Write("ours", 4);
        out.Commit();
    } catch (const ToolError& error) {
        refused = true;
        EXPECT_NE(error.message.find("was replaced"), std::string::npos) << error.message;
    }
    EXPECT_TRUE(refused);
    EXPECT_EQ(Slurp(victim), "victim");
    struct stat info {};
    ASSERT_EQ(stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FolderEntries(dir), std::vector<std::string>{"victim"});
}
