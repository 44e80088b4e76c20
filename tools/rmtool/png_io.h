// PNG files in and out.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/rmtool/colour_reduction.h"
#include "tools/rmtool/tool_common.h"

// True when the file begins with the PNG signature.
bool LooksLikePng(const std::string& path);

// Reads a PNG: a palette PNG keeps its indices and colours exactly; a grey one becomes
// indices equal to the grey levels over a grey ramp; anything with colour or alpha comes back
// as true colour (alpha composited over black, since a metafile has no transparency).
SourcePicture ReadPng(const std::string& path);

// Writes an 8-bit palette PNG with the frame's palette and indices, through a temporary file.
void WritePng(const std::string& path, const IndexedFrame& frame, bool force);

// Writes an 8-bit RGB PNG of `rgb` (three bytes a pixel, top row first), marked sRGB and
// compressed for speed (a thumbnail, read once), through a temporary file.
void WriteRgbPng(const std::string& path, int32_t width, int32_t height,
                 const std::vector<uint8_t>& rgb, bool force);

// The PNG images of a stream (PNG files one after another, as `ffmpeg -f image2pipe -c:v png`
// writes them), one picture each, with the colour rules of ReadPng. Errors name the stream and
// the frame, counted from 1.
class PngStreamReader {
   public:
    PngStreamReader(FILE* in, const std::string& name) : in_(in), name_(name) {}
    // The next picture; false when the stream ends cleanly between two images. The memory of
    // `picture.rgb` is reused for it.
    bool Next(SourcePicture& picture);

   private:
    FILE* in_;
    std::string name_;
    uint32_t frames_ = 0;
};

// Appends `frame` to a stream as one palette PNG; `name` heads the error.
void WritePngToStream(FILE* out, const IndexedFrame& frame, const std::string& name);
