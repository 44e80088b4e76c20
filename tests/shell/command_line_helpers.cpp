#include "tests/shell/command_line_helpers.h"

#include "shell/command_line.h"

ParseOutcome Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "kinaro");
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    ParseOutcome outcome;
    try {
        const char* name = ParseCommandLine(static_cast<int>(arguments.size()), argv.data());
        outcome.metafileName = name ? name : "(none)";
    } catch (const ProcessEnded& ended) {
        outcome.ended = true;
        outcome.status = ended.status;
    }
    return outcome;
}

std::vector<uint32_t> TablePrefix(size_t n) {
    std::vector<uint32_t> prefix;
    for (size_t i = 0; i < n && i < State.MaxFrames; ++i)
        prefix.push_back(State.FileImageNumber[i]);
    return prefix;
}
