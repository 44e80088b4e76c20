// The test files kept in tests/rm/good and tests/rm/crashers, made with rmwriter. The
// reference test checks that the committed files are these, and records what reading
// each gives in tests/rm/reference.txt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rmwriter/rmwriter.h"

struct SampleFile {
    std::string path;  // relative to tests/rm, e.g. "crashers/depth-9.rm"
    rmwriter::Metafile file;
};

std::vector<SampleFile> SampleFiles();

// Header and LUT of a `width` x `height` grey frame (fill value 0xF0), then a stream of raw
// `words` as given (no end of frame added).
rmwriter::Metafile RawStream(int width, int height, const std::vector<uint16_t>& words);
