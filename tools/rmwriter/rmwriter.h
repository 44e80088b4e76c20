// rmwriter: writes Raster Metafiles, for tests, demos, benchmarks and tools. It is not part of
// the viewer, which only reads.
//
// Two levels:
//  - frames: AddFrame(frame) writes a header block, the colour table and a pixel stream that
//    codes the given rows (top row first) with runs, fills and literal pixels;
//  - words and blocks: every opcode as a raw word, junk blocks anywhere, any header field
//    value, truncation. This is how hostile files are made.
//
// The layout is format/metafile_format.h's: header block, one LUT block for a grey table or three
// (red, green, blue) for a colour table, then the stream, which starts at a block boundary with the
// start word and ends with an end-of-frame word; the rest of that block is padded with zero
// bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "format/metafile_format.h"

namespace rmwriter {

// The format's names, as the writer's users spell them (rmwriter::OpLiteral, ...).
constexpr size_t BlockSize = ::BlockSize;
constexpr int MaxCount = MaxWordCount;
using ::HeaderMarker;
using ::Opcode;
using ::OpColormap;
using ::OpEndOfFrame;
using ::OpEndOfScanLine;
using ::OpFill;
using ::OpLiteral;
using ::OpNoOp;
using ::OpRepeatedRun;
using ::OpSetRunLength;
using ::OpStartFrame;

// The end of the run of equal pixels that starts at `start` (< count): the index after it.
// Eight pixels are compared at a time, so that finding a run's end costs one branch that is
// hard to predict at most, not one per pixel.
inline size_t RunEnd(const uint8_t* pixels, size_t start, size_t count) {
    const uint8_t value = pixels[start];
    size_t end = start + 1;
    // Single pixels first: dithered pictures are mostly made of them.
    if (end == count || pixels[end] != value) return end;
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t same = 0x0101010101010101ull * value;
        for (; end + 8 <= count; end += 8) {
            uint64_t word;
            std::memcpy(&word, pixels + end, sizeof word);
            if (word != same) return end + static_cast<size_t>(std::countr_zero(word ^ same)) / 8;
        }
    }
    while (end < count && pixels[end] == value) ++end;
    return end;
}

// A stream word from an opcode (0 to 15) and a 12-bit value.
constexpr uint16_t Word(int opcode, int value) {
    return static_cast<uint16_t>(((opcode & 0xF) << 12) | (value & 0xFFF));
}

// The fields of a header block. Any value can be written, legal or not.
struct Header {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Components = 1;
    uint16_t ColorFlag = 0;  // 0 grey table, 1 red, green and blue tables
    int32_t BitsPerLUTEntry = 8;
    int32_t Depth = 8;
    uint8_t Fill[3] = {0, 0, 0};  // only the first byte of each field is used by readers
};

// A colour table: up to 256 entries per component. Missing entries are written as 0.
// With a grey header only Red is written.
struct ColorTable {
    std::vector<uint8_t> Red;
    std::vector<uint8_t> Green;
    std::vector<uint8_t> Blue;
    uint8_t HighByte = 0;  // written as the high byte of every LUT word (readers ignore it)
};

// A grey ramp of 2^depth entries spread over 0 to 255; a colour table with three ramps.
ColorTable GreyRamp(int depth);
ColorTable ColourRamp(int depth);

// One frame to encode. Rows are top row first, each Header.Width pixels long (rows may be
// given shorter or longer on purpose).
struct Frame {
    Header header;
    ColorTable colors;
    std::vector<std::vector<uint8_t>> rows;
    bool useFill = true;       // code runs of the fill value 0 pixel with the fill opcode
    int junkBeforeStream = 0;  // junk blocks between the LUT and the start word
    bool writeLUT = true;      // false: no LUT blocks (a hostile frame)
};

class Metafile {
   public:
    // Whole frames.
    void AddFrame(const Frame& frame);
    // A frame from one array of header.Height rows of header.Width pixels, top row first,
    // coded as AddFrame codes its rows.
    void AddFrame(const Header& header, const ColorTable& colors, const uint8_t* pixels,
                  bool useFill);

    // Blocks.
    void AddBlock(const std::vector<uint8_t>& bytes);  // padded with zeros or cut to a block
    void AddHeader(const Header& header);
    void AddColorTable(const Header& header, const ColorTable& colors);
    // `count` blocks that are neither a header block nor start a stream; `seed` varies
    // their contents.
    void AddJunk(int count = 1, uint8_t seed = 0x5A);

    // The pixel stream. BeginStream starts a new block with the start word (byte 0 is
    // `firstByte`, which readers ignore). Words then run on from block to block.
    void BeginStream(uint8_t firstByte = 0);
    void AddWord(uint16_t word);
    void SetRunLength(int length) { AddWord(Word(OpSetRunLength, length)); }
    void Literal(uint8_t pixel, int highBits = 0) {
        AddWord(Word(OpLiteral, pixel | (highBits << 8)));
    }
    void RepeatedRun(uint8_t pixel) { AddWord(Word(OpRepeatedRun, pixel)); }
    void Fill(int count) { AddWord(Word(OpFill, count)); }
    void EndOfScanLine() { AddWord(Word(OpEndOfScanLine, 0)); }
    void EndOfFrame() { AddWord(Word(OpEndOfFrame, 0)); }
    void NoOp() { AddWord(Word(OpNoOp, 0)); }
    // `count` pixels of one value as set-run-length / repeated-run pairs (4095 at most each).
    void Run(uint8_t pixel, int count);
    // `count` fill pixels as fill words.
    void Fills(int count);
    // Codes one scan line: runs of three or more as run pairs, runs of two or more of
    // `fillValue` as fills when `useFill`, everything else as literal pixels. No
    // end-of-scan-line word.
    void Row(const std::vector<uint8_t>& pixels, uint8_t fillValue, bool useFill) {
        Row(pixels.data(), pixels.size(), fillValue, useFill);
    }
    void Row(const uint8_t* pixels, size_t count, uint8_t fillValue, bool useFill);
    // The words Row has written so far, by kind (a run pair counts as two run words).
    struct RowWords {
        uint64_t run = 0;
        uint64_t fill = 0;
        uint64_t literal = 0;
    };
    const RowWords& RowWordCounts() const { return rowWords_; }
    // Pads the block in progress with zero bytes, so that the next block starts clean.
    void EndBlock();

    // Words written in the block in progress (0 when at a block boundary).
    size_t WordInBlock() const { return (bytes_.size() % BlockSize) / 2; }
    size_t BlockCount() const { return bytes_.size() / BlockSize; }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t>& MutableBytes() { return bytes_; }
    void Truncate(size_t size);  // keeps the first `size` bytes
    // Moves the bytes so far into `out` and goes on with an empty file, so that a long file
    // can be written out frame by frame instead of held whole.
    void TakeBytes(std::vector<uint8_t>& out);
    // Writes the file; false when it cannot be written.
    bool Save(const std::string& path) const;

   private:
    void Put16(uint16_t v);
    void Put32(uint32_t v);
    std::vector<uint8_t> bytes_;
    RowWords rowWords_;
};

}  // namespace rmwriter
