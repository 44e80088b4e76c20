// The real ends of the process, as the shell sees them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

namespace {
void ParseForReal(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "kinaro");
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    InitDefaults();
    ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    std::exit(42);  // not reached when the command line ends the process
}
}  // namespace

TEST(ProcessExitTest, CommandLineErrorsEndWith255) {
    EXPECT_EXIT(ParseForReal({"-zzz"}), testing::ExitedWithCode(255), "Kinaro Usage: Usage:");
    EXPECT_EXIT(ParseForReal({"-d", "/nonexistent-dir/x.log"}), testing::ExitedWithCode(255),
                "Kinaro Error: Cannot open");
}

TEST(ProcessExitTest, HelpAndVersionEndWithZero) {
    EXPECT_EXIT(ParseForReal({"-v"}), testing::ExitedWithCode(0), "Kinaro Version: Kinaro 1.62");
    EXPECT_EXIT(ParseForReal({"-help"}), testing::ExitedWithCode(0), "Kinaro Controls:");
}

TEST(ProcessExitTest, FatalErrorEndsWith255) {
    EXPECT_EXIT(FatalError("main", "Cannot initialize graphics", 0), testing::ExitedWithCode(255),
                "Kinaro Error: Error: Cannot initialize graphics");
}

TEST(ProcessExitTest, AnAcceptedCommandLineReturns) {
    EXPECT_EXIT(ParseForReal({"-b", "4", "film.rm"}), testing::ExitedWithCode(42), "");
}
