#include "rm/rle_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/diagnostics.h"
#include "rm/block_reader.h"

// The largest image array accepted: what a signed 32-bit size can say. Anything above is a
// damaged or hostile header, refused like a failed allocation.
constexpr int64_t MaxImageArraySize = INT32_MAX;

void AllocImageArray(Image& image) {
    // 64-bit arithmetic: a width times a height from the file can overflow 32 bits, and so
    // can the row rounded up to a multiple of 4 (the ScanLineWidth of a width near 2^31).
    // The array starts zeroed, so pixels that no frame writes show colour 0, which is black,
    // rather than whatever the heap held.
    const int64_t rowBytes = ((static_cast<int64_t>(image.IW) - 1) & ~int64_t{3}) + 4;
    int64_t size = rowBytes * image.IH;
    if (State.WidthAdjust < 0) size -= State.WidthAdjust;
    LogAt(0, "Allocating Image Array (size = %lu)\n", static_cast<unsigned long>(size));
    image.Pixels = nullptr;
    image.PixelsSize = 0;
    const bool sane = image.IW > 0 && image.IH > 0 && rowBytes == image.ScanLineWidth &&
                      size <= MaxImageArraySize;
    if (sane) image.Pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
    if (image.Pixels == nullptr)
        FatalError("AllocImageArray", "Cannot allocate memory for image array (%ld)", size);
    image.PixelsSize = static_cast<size_t>(size);
}

namespace {

// Far enough outside any array that no file can bring a position back in, near enough that
// nothing overflows: the row start saturates here.
constexpr int64_t PositionLimit = int64_t{1} << 62;

// The scan line being decoded is built in this buffer and copied into the array at its end
// (or whenever the buffer fills). That lets every pixel word store a fixed 32 bytes without
// a branch on its count, and bounds the array once per line instead of once per word. The
// copy lands exactly where the pixels would have been written one by one, in the same
// order, so the result is the same.
constexpr size_t LineCapacity = 16384;  // flushed beyond this, checked once per block
constexpr size_t StoreWidth = 32;
// A block of 256 words each adding at most StoreWidth on the fast path, then a run or fill
// of up to 4095 and its full-width store.
constexpr size_t LineHeadroom = 256 * StoreWidth;
alignas(64) uint8_t Line[LineCapacity + LineHeadroom + 4096 + StoreWidth];

// Copies `count` bytes of `source` to `pos`, dropping what falls outside [0, size).
void PutBytes(uint8_t* pixels, int64_t size, int64_t pos, const uint8_t* source, int64_t count) {
    int64_t first = pos < 0 ? 0 : pos;
    int64_t last = pos + count > size ? size : pos + count;
    if (first < last)
        std::memcpy(pixels + first, source + (first - pos), static_cast<size_t>(last - first));
}

// What one opcode does to the pixel count, the pixel value and the run length, as masks, so
// that the common words decode without a branch on the opcode:
//   count = One | (run length & RunCount) | (value & ValueCount)
//   pixel = (byte 0 & OwnPixel) | (fill value & FillPixel)
//   run length = (run length & KeepRun) | (value & SetRun)
// Special words (end of line or frame, and every error) get a count far above any real one,
// so that the one unlikely branch for long runs also catches them; they keep the run length
// (an end of scan line leaves it in force).
struct OpcodeEffect {
    uint32_t One, RunCount, ValueCount, OwnPixel, FillPixel, KeepRun, SetRun, Unused;
};
constexpr uint32_t All = 0xFFFFFFFFu;
constexpr uint32_t S = 0x10000u;  // the count of a special word
constexpr OpcodeEffect Effects[16] = {
    /* 0x0 set run length */ {0, 0, 0, 0, 0, 0, All, 0},
    /* 0x1 literal pixel  */ {1, 0, 0, 0xFF, 0, All, 0, 0},
    /* 0x2                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x3 repeated run   */ {0, All, 0, 0xFF, 0, 0, 0, 0},
    /* 0x4                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x5                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x6                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x7                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x8                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0x9                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0xA                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0xB                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0xC                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0xD fill           */ {0, 0, All, 0, All, All, 0, 0},
    /* 0xE                */ {S, 0, 0, 0, 0, All, 0, 0},
    /* 0xF no-op          */ {0, 0, 0, 0, 0, All, 0, 0},
};

// 16 copies of every byte value: one load gives the pattern a run is stored with.
struct PatternTable {
    alignas(16) uint8_t bytes[256][16];
    PatternTable() {
        for (int v = 0; v < 256; ++v) std::memset(bytes[v], v, 16);
    }
};
const PatternTable Patterns;

// Stores StoreWidth bytes of `pixel` at `at`.
inline void StorePattern(uint8_t* at, uint32_t pixel) {
#if defined(__SSE2__)
    const __m128i pattern = _mm_load_si128(reinterpret_cast<const __m128i*>(Patterns.bytes[pixel]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pattern);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 16), pattern);
#else
    const uint64_t pattern = pixel * 0x0101010101010101ull;
    std::memcpy(at, &pattern, 8);
    std::memcpy(at + 8, &pattern, 8);
    std::memcpy(at + 16, &pattern, 8);
    std::memcpy(at + 24, &pattern, 8);
#endif
}

}  // namespace

namespace {

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
        case 0x7:
            return false;
        case 0x4:
            FatalError("GetRLE", "Start frame encountered before end of last frame", 0);
        case 0xB:
            FatalError("GetRLE", "Unexpected colormap in Raster Metafile", 0);
        default:
            FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", (w >> 8) & 0xF0);
        }
    }
};

}  // namespace

void GetRLE(Image& image, int32_t channel) {
    do {
        if (!ReadBlock()) FatalError("GetRLE", "Start frame not found", 0);
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
    const uint32_t fill = image.FillValues[channel >= 0 && channel < 3 ? channel : 0];
    uint32_t runLength = 0;
    size_t count = 0;  // a register copy of d.count for the hot loop

    for (;;) {
        if (count > LineCapacity) {
            d.count = count;
            d.Flush();
            count = d.count;
        }
#pragma GCC unroll 4
        for (const uint8_t* word = State.Block; word < State.Block + BlockSize; word += 2) {
            const uint32_t w = word[0] | static_cast<uint32_t>(word[1]) << 8;
            const OpcodeEffect& e = Effects[w >> 12];
            const uint32_t value = w & 0xFFF;
            const uint32_t n = e.One | (runLength & e.RunCount) | (value & e.ValueCount);
            const uint32_t pixel = (w & e.OwnPixel) | (fill & e.FillPixel);
            runLength = (runLength & e.KeepRun) | (value & e.SetRun);
            StorePattern(Line + count, pixel);
            if (n > StoreWidth) [[unlikely]] {
                if (n >= S) {
                    d.count = count;
                    const bool more = d.Special(w);
                    count = d.count;
                    if (!more) return;
                    continue;
                }
                if (count + n > LineCapacity + LineHeadroom) {
                    d.count = count;
                    d.Flush();
                    count = d.count;
                    StorePattern(Line, pixel);
                }
                std::memset(Line + count + StoreWidth, static_cast<int>(pixel), n - StoreWidth);
            }
            count += n;
        }
        if (!ReadBlock()) {
            d.count = count;
            d.Flush();
            FatalError("GetRLE", "End of file encountered before end of frame", 0);
        }
    }
}
