// GIF files in and out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/rmtool/colour_reduction.h"
#include "tools/rmtool/tool_common.h"

bool LooksLikeGif(const std::string& path);

// The frames of a GIF one at a time, as they are seen: composed on the canvas (offsets,
// transparency and disposal applied; the background shows as black). A frame that covers the
// whole canvas with no transparent pixel keeps its colour indices and colour table exactly.
// Only the canvas and the frame being read are held, however long the animation.
class GifReader {
   public:
    explicit GifReader(const std::string& path);
    ~GifReader();
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;
    // The next frame into `picture`; false after the last one.
    bool Next(SourcePicture& picture);

   private:
    void DisposePrevious(int disposal);
    std::string path_;
    void* gif_ = nullptr;  // GifFileType, kept out of this header
    int width_ = 0;
    int height_ = 0;
    int frames_ = 0;
    std::vector<Rgb> canvas_;
    std::vector<Rgb> saved_;
    std::vector<uint8_t> raster_;
    int previousDisposal_ = 0;
    int previousRect_[4] = {0, 0, 0, 0};  // left, top, width, height
};

// How many frames a GIF holds, counted without decoding them; 0 when it cannot be read.
uint32_t CountGifFrames(const std::string& path);

// An animated GIF written frame by frame, looping forever, one local colour table per frame.
// The file appears under its name only when Finish succeeds.
class GifWriter {
   public:
    GifWriter(const std::string& path, int32_t width, int32_t height, bool force);
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // `frame` must have the size given to the constructor. Delay in hundredths of a second.
    void AddFrame(const IndexedFrame& frame, int delayCentiseconds);
    void Finish();

   private:
    [[noreturn]] void FailWith(const std::string& what, int error);
    std::string path_;
    std::optional<AtomicFile> file_;  // made once the size is known to fit a GIF
    int32_t width_;
    int32_t height_;
    void* gif_ = nullptr;  // GifFileType, kept out of this header
};
