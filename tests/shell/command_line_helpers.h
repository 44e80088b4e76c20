#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

struct ParseOutcome {
    bool ended = false;  // the process ended (status below)
    int status = 0;
    std::string metafileName;  // "(none)" when no name was given
};

// Runs ParseCommandLine over "kinaro" followed by `arguments`.
ParseOutcome Parse(std::vector<std::string> arguments);

// The first `n` entries of the FileImageNumber table.
std::vector<uint32_t> TablePrefix(size_t n);
