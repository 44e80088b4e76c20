// The first frame of a metafile read from a COM stream and reduced as rmtool thumbnail
// reduces it, for the thumbnail handler.
#pragma once

#include <objidl.h>

#include <cstdint>
#include <vector>

#include "tools/thumbnail/area_reduction.h"

struct Thumbnail {
    Extent size;
    std::vector<uint8_t> rgb;  // size.width * size.height * 3, top row first
};

// Reads the first frame through `stream` (only its blocks) with the viewer's reader and
// reduces it to fit `box` x `box`. S_OK, or a failure code for a damaged or unreadable file
// (the reader's fatal errors end here, silently), an exhausted memory or a box of 0.
// The reader keeps its state in the one State record, so requests from any number of
// threads run one at a time, each whole: reset, open, read frame 0, close.
HRESULT ReadFirstFrameThumbnail(IStream* stream, uint32_t box, Thumbnail& thumbnail);
