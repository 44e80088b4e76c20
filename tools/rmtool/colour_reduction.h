// Turning pictures into frames a metafile can hold: at most 256 colours, and colour index 0
// black, because the viewer always shows index 0 as black whatever the table says.
#pragma once

#include <array>
#include <cstdlib>
#include <memory>
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

// The nearest entry of a palette to any colour, exactly: least squared distance in RGB, the
// lowest index among equals. Entry 0 is left out (it is kept for black). Answers are kept in a
// table over all 2^24 colours until the palette changes, since the frames of a video share
// most of their colours; a colour met for the first time is searched among the few entries
// that can be nearest to its cell of the colour cube.
class NearestColours {
   public:
    void SetPalette(const std::vector<Rgb>& palette);
    const std::vector<Rgb>& Palette() const { return palette_; }
    uint8_t Nearest(const Rgb& colour) {
        const uint32_t key = Interleaved(colour);
        const uint8_t known = table_.get()[key];
        return known != 0 ? known : Search(colour, key);
    }
    // Every pixel to its nearest entry.
    void Map(const std::vector<Rgb>& rgb, std::vector<uint8_t>& pixels);
    // The mean squared distance of the pixels to their nearest entries, from a sample of at
    // most about `samples` of them spread over the picture.
    double MeanError(const std::vector<Rgb>& rgb, size_t samples);

   private:
    // The table is in Morton order (the bits of red, green and blue interleaved), so that
    // colours close to each other, as neighbouring pixels mostly are, share cache lines.
    static uint32_t Interleaved(const Rgb& c) {
        return Spread[c.r] << 2 | Spread[c.g] << 1 | Spread[c.b];
    }
    static const std::array<uint32_t, 256> Spread;  // bit i of a byte to bit 3i
    uint8_t Search(const Rgb& colour, uint32_t key);
    std::vector<Rgb> palette_;
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> table_;  // by Interleaved(colour); 0: not searched yet
    std::vector<int32_t> cellFirst_;        // by cell: where its entries start; -1: not listed yet
    std::vector<uint8_t> cellEntries_;      // each listed cell's entries, ended by 0
};

// True colour to at most 256 colours, frame after frame: exact when a picture has few enough
// colours, otherwise quantised with libimagequant (with Floyd-Steinberg dithering when
// `dither`). Without dithering, the palette of the last quantised frame is kept for the next
// ones as long as it serves them nearly as well as it served its own frame, so that only a
// change of content costs a new palette. Results always have index 0 black or unused.
class ColourReducer {
   public:
    explicit ColourReducer(bool dither) : dither_(dither) {}
    // `quantised` tells whether the picture had to lose colours.
    IndexedFrame Reduce(int32_t width, int32_t height, const std::vector<Rgb>& rgb,
                        bool* quantised);
    // How many palettes have been made (a test and benchmark figure).
    uint32_t PalettesMade() const { return palettesMade_; }

   private:
    bool dither_;
    NearestColours nearest_;
    double paletteError_ = 0;  // the mean error of the kept palette on its own frame
    uint32_t palettesMade_ = 0;
};

// The grey the viewer shows for a colour with -g: 0.3 red, 0.59 green, 0.11 blue, truncated.
uint8_t ViewerGrey(const Rgb& colour);

// True when every palette entry is a grey (red = green = blue).
bool IsGreyPalette(const std::vector<Rgb>& palette);
