// The RLE decoder before it read in bulk and took literal words many at a time (see
// oracle_decoder.h). Only the names differ from that version.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "rm/block_reader.h"
#include "shell/diagnostics.h"
#include "tests/rm/oracle/oracle_decoder.h"

namespace {

// Far enough outside any array that no file can bring a position back in, near enough that
// nothing overflows: the row start saturates here.
constexpr int64_t PositionLimit = int64_t{1} << 62;

// The scan line being decoded is built in this buffer and copied into the array at its end
// (or whenever the buffer fills). That lets every pixel word store a fixed StoreWidth bytes
// without a branch on its count, and bounds the array once per line instead of once per
// word. The copy lands exactly where the pixels would have been written one by one, in the
// same order, so the result is the same.
//
// At the start of a block at most LineCapacity bytes are in use. A word on the fast path adds
// at most StoreWidth; a longer run or fill (at most 4095) first flushes unless it ends within
// LineCapacity + LineHeadroom. So nothing is stored past LineCapacity + 2 × LineHeadroom +
// StoreWidth.
constexpr size_t LineCapacity = 16384;
constexpr size_t StoreWidth = 16;
constexpr size_t LineHeadroom = 256 * StoreWidth;  // a block of 256 words
static_assert(LineHeadroom >= 4095, "a run or fill must fit in the headroom");
alignas(64) uint8_t Line[LineCapacity + 2 * LineHeadroom + StoreWidth];

// Copies `count` bytes of `source` to `pos`, dropping what falls outside [0, size).
void PutBytes(uint8_t* pixels, int64_t size, int64_t pos, const uint8_t* source, int64_t count) {
    int64_t first = pos < 0 ? 0 : pos;
    int64_t last = pos + count > size ? size : pos + count;
    if (first < last)
        std::memcpy(pixels + first, source + (first - pos), static_cast<size_t>(last - first));
}

// What one opcode does to the pixel count, the pixel and the run length, as masks, so that
// the common words decode without a branch on the opcode:
//   count = One | (run length & RunCount) | (word & ValueCount)
//   pixel × 16 = ((word << 4) & OwnPixel) | FillPixel
//   run length = (run length & KeepRun) | (word & SetRun)
// ValueCount and SetRun take the word's 12-bit value field; the pixel comes scaled by 16, as
// the offset of its pattern (below), and FillPixel is set to the frame's fill value × 16.
// Special words (end of line or frame, and every error) get a count far above any real one,
// so that the one unlikely branch for long runs also catches them; they keep the run length
// (an end of scan line leaves it in force).
// Kept as one array per mask, so that the opcode indexes each directly.
struct OpcodeEffects {
    uint64_t One[16], RunCount[16], ValueCount[16], OwnPixel[16], FillPixel[16], KeepRun[16],
        SetRun[16];
};
constexpr uint64_t All = ~uint64_t{0};
constexpr uint64_t V = 0xFFF;    // the value field
constexpr uint64_t P = 0xFF0;    // the pixel byte, scaled by 16
constexpr uint64_t S = 0x10000;  // the count of a special word
//                    0x0  0x1  0x2  0x3  0x4  0x5  0x6  0x7  0x8  0x9  0xA  0xB  0xC  0xD  0xE  0xF
//                    set  lit       run            eol  end                 map       fill      nop
constexpr OpcodeEffects Effects = {
    /* One        */ {0, 1, S, 0, S, S, S, S, S, S, S, S, S, 0, S, 0},
    /* RunCount   */ {0, 0, 0, All, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* ValueCount */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, V, 0, 0},
    /* OwnPixel   */ {0, P, 0, P, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* FillPixel  */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* KeepRun    */ {0, All, All, 0, All, All, All, All, All, All, All, All, All, All, All, All},
    /* SetRun     */ {V, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// 16 copies of every byte value: the pattern a pixel is stored with, at offset pixel × 16.
struct PatternTable {
    alignas(16) uint8_t bytes[256 * 16];
    PatternTable() {
        for (int v = 0; v < 256; ++v) std::memset(bytes + v * 16, v, 16);
    }
};
const PatternTable Patterns;

// Stores StoreWidth bytes of the pixel whose pattern is at `offset` (pixel × 16) at `at`.
inline void StorePattern(uint8_t* at, uint64_t offset) {
#if defined(__SSE2__)
    const __m128i pattern =
        _mm_load_si128(reinterpret_cast<const __m128i*>(Patterns.bytes + offset));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pattern);
#else
    const uint64_t pattern = (offset >> 4) * 0x0101010101010101ull;
    std::memcpy(at, &pattern, 8);
    std::memcpy(at + 8, &pattern, 8);
#endif
}

// The decoder's state for one frame. Positions are 64-bit offsets into the array, free to
// wander outside it (an end-of-scan-line after the last row, a scan line longer than the
// array): only writes are bounded, and a pixel that would fall outside the array is dropped.
struct Decoder {
    uint8_t* pixels;
    int64_t size;
    int64_t rowStep;
    int64_t rowStart;
    int64_t linePos;  // where Line[0] goes in the array
    size_t count;     // pixels in Line

    void Flush() {
        PutBytes(pixels, size, linePos, Line, static_cast<int64_t>(count));
        linePos += static_cast<int64_t>(count);
        count = 0;
    }

    // Every word that is not a pixel word, set-run-length or no-op: the end of a scan line
    // or of the frame (false), or an error.
    [[gnu::noinline]] bool Special(uint32_t w) {
        Flush();
        switch (w >> 12) {
            case 0x6:
                rowStart -= rowStep;
                if (rowStart < -PositionLimit) rowStart = -PositionLimit;
                if (rowStart > PositionLimit) rowStart = PositionLimit;
                linePos = rowStart;
                return true;
            case 0x7: return false;
            case 0x4: FatalError("GetRLE", "Start frame encountered before end of last frame", 0);
            case 0xB: FatalError("GetRLE", "Unexpected colormap in Raster Metafile", 0);
            default:
                FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", (w >> 8) & 0xF0);
        }
    }
};

}  // namespace

void OracleGetRLE(Image& image, int32_t channel) {
    do {
        if (!OracleReadBlock()) FatalError("GetRLE", "Start frame not found", 0);
    } while (State.Block[1] != 0x40);
    State.Block[1] = 0xF0;  // the start word decodes as a no-op

    LogAt(6, "addto = %d\n", -image.ScanLineWidth);

    Decoder d;
    d.pixels = image.Pixels;
    d.size = image.Pixels != nullptr ? static_cast<int64_t>(image.PixelsSize) : 0;
    d.rowStep = image.ScanLineWidth;
    d.rowStart = (static_cast<int64_t>(image.IH) - 1) * d.rowStep;
    d.linePos = d.rowStart;
    d.count = 0;
    // The frame's own copy of the opcode table, with the fill value in place.
    OpcodeEffects e = Effects;
    e.FillPixel[0xD] = uint64_t{image.FillValues[channel >= 0 && channel < 3 ? channel : 0]} << 4;
    uint64_t runLength = 0;
    uint8_t* out = Line;  // where the next pixel of the line goes; d.count = out - Line

    for (;;) {
        if (out > Line + LineCapacity) {
            d.count = static_cast<size_t>(out - Line);
            d.Flush();
            out = Line;
        }
#pragma GCC unroll 4
        for (const uint8_t* word = State.Block; word < State.Block + BlockSize; word += 2) {
            const uint64_t w = word[0] | static_cast<uint64_t>(word[1]) << 8;
            const uint64_t op = w >> 12;
            const uint64_t n = e.One[op] | (runLength & e.RunCount[op]) | (w & e.ValueCount[op]);
            const uint64_t pattern = ((w << 4) & e.OwnPixel[op]) | e.FillPixel[op];
            runLength = (runLength & e.KeepRun[op]) | (w & e.SetRun[op]);
            StorePattern(out, pattern);
            if (n > StoreWidth) [[unlikely]] {
                d.count = static_cast<size_t>(out - Line);
                if (n >= S) {
                    // Read the word again rather than keep a copy of it alive in the loop.
                    const bool more = d.Special(word[0] | static_cast<uint32_t>(word[1]) << 8);
                    out = Line + d.count;
                    if (!more) return;
                    continue;
                }
                if (d.count + n > LineCapacity + LineHeadroom) {
                    d.Flush();
                    out = Line;
                }
                std::memset(out, static_cast<int>(pattern >> 4), n);
            }
            out += n;
        }
        if (!OracleReadBlock()) {
            d.count = static_cast<size_t>(out - Line);
            d.Flush();
            FatalError("GetRLE", "End of file encountered before end of frame", 0);
        }
    }
}
