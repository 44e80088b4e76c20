// Frames into a metafile: colour tables, the fill value, and the writer's run-length coding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rmtool/colour_reduction.h"
#include "tools/rmtool/tool_common.h"
#include "tools/rmwriter/rmwriter.h"

struct EncodeChoices {
    bool grey = false;    // write grey tables, colours turned grey as the viewer's -g does
    bool dither = false;  // dither when quantising
    bool force = false;   // replace an existing output
};

struct EncodeStats {
    uint32_t frames = 0;
    uint64_t rawBytes = 0;  // width x height of every frame: raw 8-bit frames
    uint64_t fileBytes = 0;
    uint64_t streamBytes = 0;  // the blocks of the pixel streams
    uint64_t runWords = 0;     // set-run-length + repeated-run pairs count as two
    uint64_t fillWords = 0;
    uint64_t literalWords = 0;
    uint64_t endOfLineWords = 0;
};

// The fill value that saves most words in this frame: a run of n >= 2 pixels of it costs
// ceil(n / 4095) fill words instead of two words per 4095 (a run pair) or n literals.
// `saves` receives the words saved (0: no colour is worth it).
uint8_t ChooseFillValue(const IndexedFrame& frame, uint64_t* saves);

// Smallest depth whose table (2^depth entries) holds the palette.
int DepthFor(size_t paletteSize);

class MetafileEncoder {
   public:
    explicit MetafileEncoder(const EncodeChoices& choices) : choices_(choices) {}

    // What had to change in a picture on its way to a frame.
    struct Changes {
        ZeroFix zero = ZeroFix::Kept;
        bool quantised = false;
    };
    // A picture made ready for AddFrame (colour reduction, black at index 0). It needs no
    // encoder, so that it can run on another thread. The pictures of one file go through
    // one reducer, in order.
    static IndexedFrame Prepare(const SourcePicture& picture, ColourReducer& reducer,
                                Changes& changes);
    // Prepare for a picture that has its indices already: only black at index 0, which is
    // quick.
    static IndexedFrame PrepareIndexed(IndexedFrame frame, Changes& changes);
    // Adds a frame that already has index 0 black or unused.
    void AddFrame(const IndexedFrame& frame);

    const EncodeStats& Stats() const { return stats_; }
    // The frames coded since the last TakeBytes, as whole blocks.
    const rmwriter::Metafile& File() const { return file_; }
    // Hands the coded blocks over (for writing) and starts an empty buffer.
    void TakeBytes(std::vector<uint8_t>& bytes) { file_.TakeBytes(bytes); }

   private:
    EncodeChoices choices_;
    EncodeStats stats_;
    rmwriter::Metafile file_;
};
