// The test files kept in tests/rm/good and tests/rm/crashers, made with rmwriter. The
// reference test checks that the committed files are these, and records what reading
// each gives in tests/rm/reference.txt.
#pragma once

#include <string>
#include <vector>

#include "tools/rmwriter/rmwriter.h"

struct SampleFile {
    std::string path;  // relative to tests/rm, e.g. "crashers/depth-9.rm"
    rmwriter::Metafile file;
};

std::vector<SampleFile> SampleFiles();
