// Turning pictures into frames a metafile can hold: at most 256 colours, and colour index 0
// black, because the viewer always shows index 0 as black whatever the table says.
#pragma once

#include <string>

#include "tools/rmtool/tool_common.h"

// The largest input picture taken, in pixels: a metafile frame of that size is already far
// beyond what the viewer can show, and every stage holds a few copies of it.
constexpr uint64_t MaxPicturePixels = uint64_t{1} << 27;

// A picture as it comes from an input file: either already indexed or true colour.
struct SourcePicture {
    bool indexed = false;
    IndexedFrame frame;  // when indexed
    int32_t width = 0;   // when true colour
    int32_t height = 0;
    std::vector<Rgb> rgb;  // width * height, top row first
};

enum class ZeroFix {
    Kept,    // index 0 was black already, or unused: nothing moved
    Moved,   // the colour of index 0 moved to a free index; colours kept exactly
    Merged,  // all 256 indices in use: index 0's pixels took the nearest other colour
};

// Makes palette entry 0 black without changing what any pixel looks like, when possible.
ZeroFix ReserveBlackAtZero(IndexedFrame& frame);

// True colour to at most 256 colours: exact when the picture has few enough colours,
// otherwise quantised with libimagequant (with Floyd-Steinberg dithering when `dither`).
// The result always has index 0 black or unused. `quantised` tells which way it went.
IndexedFrame ReduceColours(int32_t width, int32_t height, const std::vector<Rgb>& rgb, bool dither,
                           bool* quantised);

// The grey the viewer shows for a colour with -g: 0.3 red, 0.59 green, 0.11 blue, truncated.
uint8_t ViewerGrey(const Rgb& colour);

// True when every palette entry is a grey (red = green = blue).
bool IsGreyPalette(const std::vector<Rgb>& palette);
