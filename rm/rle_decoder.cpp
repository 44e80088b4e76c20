#include "rm/rle_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// Writes `count` bytes of `value` from `pos`, dropping what falls outside [0, size).
inline void PutSpan(uint8_t* pixels, int64_t size, int64_t pos, int64_t count, uint8_t value) {
    int64_t first = pos < 0 ? 0 : pos;
    int64_t last = pos + count > size ? size : pos + count;
    if (first < last) std::memset(pixels + first, value, static_cast<size_t>(last - first));
}

}  // namespace

void GetRLE(Image& image, int32_t channel) {
    do {
        if (!ReadBlock()) FatalError("GetRLE", "Start frame not found", 0);
    } while (State.Block[1] != 0x40);
    State.Block[1] = 0xF0;  // the start word decodes as a no-op

    LogAt(6, "addto = %d\n", -image.ScanLineWidth);

    // Positions are 64-bit offsets into the array, free to wander outside it (an
    // end-of-scan-line after the last row, a scan line longer than the array): only writes
    // are bounded, and a pixel that would fall outside the array is dropped.
    uint8_t* const pixels = image.Pixels;
    const int64_t size = pixels != nullptr ? static_cast<int64_t>(image.PixelsSize) : 0;
    const int64_t rowStep = image.ScanLineWidth;
    const uint8_t fill = image.FillValues[channel >= 0 && channel < 3 ? channel : 0];
    int64_t rowStart = (static_cast<int64_t>(image.IH) - 1) * rowStep;
    int64_t pos = rowStart;
    uint32_t runLength = 0;

    for (;;) {
        const uint8_t* word = State.Block;
        const uint8_t* const end = State.Block + BlockSize;
        for (; word < end; word += 2) {
            const uint8_t pixel = word[0];
            const uint8_t op = word[1] & 0xF0;
            switch (op) {
            case 0x00:
                runLength = pixel | (word[1] & 0x0Fu) << 8;
                break;
            case 0x10:
                if (static_cast<uint64_t>(pos) < static_cast<uint64_t>(size)) pixels[pos] = pixel;
                ++pos;
                break;
            case 0x30:
                // The run length is spent either way: a second repeated run without a new
                // length writes nothing.
                PutSpan(pixels, size, pos, runLength, pixel);
                pos += runLength;
                runLength = 0;
                break;
            case 0x40:
                FatalError("GetRLE", "Start frame encountered before end of last frame", 0);
            case 0x60:
                rowStart -= rowStep;
                if (rowStart < -PositionLimit) rowStart = -PositionLimit;
                if (rowStart > PositionLimit) rowStart = PositionLimit;
                pos = rowStart;
                break;
            case 0x70:
                return;
            case 0xB0:
                FatalError("GetRLE", "Unexpected colormap in Raster Metafile", 0);
            case 0xD0: {
                int64_t count = pixel | (word[1] & 0x0F) << 8;
                PutSpan(pixels, size, pos, count, fill);
                pos += count;
                break;
            }
            case 0xF0:
                break;
            default:
                FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", op);
            }
        }
        if (!ReadBlock()) FatalError("GetRLE", "End of file encountered before end of frame", 0);
    }
}
