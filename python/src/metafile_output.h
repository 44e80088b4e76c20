// A metafile written frame by frame with rmtool encode's encoder: only the frame being coded
// is held, and the file appears under its name whole or not at all (AtomicFile).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rmtool/encoding.h"

class MetafileOutput {
   public:
    // Refuses an existing `path` unless `force` (OpenFailure with EEXIST); other failures to
    // start the file are ToolError.
    MetafileOutput(const std::string& path, bool force);

    // A frame with its own colour indices (width * height, top row first) and palette (1 to
    // 256 entries): the indices are written as they are, so they read back exactly. Throws
    // std::invalid_argument when a size is out of range or an index is past the palette.
    void AddIndexed(int64_t width, int64_t height, const uint8_t* indices,
                    const std::vector<Rgb>& palette);
    // A true-colour frame (width * height * 3 bytes, top row first), reduced to 256 colours
    // as rmtool encode reduces it: exactly when it has that few, else quantised, the palette
    // kept for the next frames while it still fits them.
    void AddRgb(int64_t width, int64_t height, const uint8_t* rgb);

    // Puts the file in place; without it, nothing is left behind.
    void Commit();
    uint32_t Frames() const { return encoder_.Stats().frames; }

   private:
    void Put(const IndexedFrame& frame);
    AtomicFile file_;
    MetafileEncoder encoder_;
    ColourReducer reducer_;
    std::vector<uint8_t> bytes_;
};
