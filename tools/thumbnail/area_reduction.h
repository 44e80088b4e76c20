// The thumbnail of a decoded frame: its size within a box and its pixels, each the average
// of the area of the frame it covers. rmtool thumbnail and the Windows thumbnail handler
// both draw with this, so both show the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/viewer_state.h"

struct Extent {
    int32_t width = 0;
    int32_t height = 0;
};

// The largest size within `box` x `box` with the frame's aspect, never larger than the frame.
Extent FitWithin(int32_t width, int32_t height, int32_t box);

// The frame as the viewer draws it (its own colour table, indices past it black), reduced to
// `out`: 8-bit RGB, top row first. The image array must hold all IH rows of IW pixels.
std::vector<uint8_t> ReduceByAreaAverage(const Image& image, Extent out);
