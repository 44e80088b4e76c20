#include "rm/rle_decoder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <bit>

// SSE2 is always there on x86-64; other machines (and a WebAssembly build) take the
// portable path, which KINARO_PORTABLE_DECODER also chooses, so that its tests run here.
#if defined(__SSE2__) && !defined(KINARO_PORTABLE_DECODER)
#define KINARO_DECODER_SSE2 1
#include <emmintrin.h>
#endif

#include "app/diagnostics.h"
#include "platform/memory.h"
#include "platform/source_file.h"
#include "rm/block_reader.h"

// The largest image array accepted: what a signed 32-bit size can say. Anything above is a
// damaged or hostile header, refused like a failed allocation.
constexpr int64_t MaxImageArraySize = INT32_MAX;

// Pages made present at once pay off only when the stream can write most of them: a frame
// whose array is more than this many times the bytes left in the file is mostly never written.
constexpr int64_t EagerArrayPerStreamByte = 64;
// The most array one byte of stream can make present: a 2-byte fill word moves 4095 pixels
// on, and a page (a huge page of 2 MB at most) becomes present when one pixel is written in it.
constexpr int64_t PresentPerStreamByte = 4096;

// What the system keeps for everything else (the window, a box) when image arrays are taken.
constexpr uint64_t MemoryReserve = uint64_t{64} << 20;

struct ArrayCost {
    PagePresence presence;
    int64_t present;  // the most bytes of the array that can become present
};

static ArrayCost CostOf(int64_t size) {
    const int64_t left = BytesLeftToRead(State.MetafileStream);
    if (left < 0) return {PagePresence::AsWritten, size};
    if (size / EagerArrayPerStreamByte <= left) return {PagePresence::AllAtOnce, size};
    return {PagePresence::AsWritten,
            left > size / PresentPerStreamByte ? size : left * PresentPerStreamByte};
}

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
    // An array the system has no physical memory for is refused now, rather than left to the
    // system's out-of-memory killer once its pages are written.
    const bool sane = image.IW > 0 && image.IH > 0 && rowBytes == image.ScanLineWidth &&
                      size <= MaxImageArraySize;
    const ArrayCost cost = CostOf(size);
    if (sane && static_cast<uint64_t>(cost.present) + MemoryReserve <= AvailablePhysicalMemory())
        image.Pixels = AllocZeroedPages(static_cast<size_t>(size), cost.presence);
    if (image.Pixels == nullptr)
        FatalError("AllocImageArray", "Cannot allocate memory for image array (%ld)", size);
    image.PixelsSize = static_cast<size_t>(size);
}

namespace {

// Far enough outside any array that no file can bring a position back in, near enough that
// nothing overflows: the row start saturates here.
constexpr int64_t PositionLimit = int64_t{1} << 62;

// The decoder's scratch buffers below are static: the reader runs on one thread, and a
// program that reads from several threads serialises its calls to it.
//
// The scan line being decoded is built in Line and copied into the array at its end (or
// whenever the buffer fills). That lets every word store a fixed number of bytes without a
// branch on its count, and bounds the array once per line instead of once per word. The copy
// lands exactly where the pixels would have been written one by one, in the same order, so
// the result is the same.
//
// Literal pixels are stored LiteralWords at a time, each with at most LineCapacity bytes in
// use before it, of which it keeps those in a row. A word that counts at most StoreWidth
// stores StoreWidth bytes; a longer run or fill (at most 4095) flushes first unless it ends
// within LineCapacity + LineHeadroom, and stores whole StoreWidths. So nothing is stored
// past LineCapacity + LineHeadroom + StoreWidth.
constexpr size_t LineCapacity = 16384;
constexpr size_t StoreWidth = 32;
constexpr size_t LiteralWords = 32;
constexpr size_t LineHeadroom = 8192;
static_assert(LineHeadroom >= MaxWordCount + LiteralWords + 2 * StoreWidth,
              "a run or fill must fit in the headroom");
alignas(64) uint8_t Line[LineCapacity + LineHeadroom + 2 * StoreWidth];

// The stream is decoded from spans of whole blocks read in one go: the start block, then as
// many as SpanBlocks. The first read after the start block is short (a small frame should
// not read far past its end, which is read again for the next frame), and each further read
// twice as long.
constexpr int SpanBlocks = 128;
constexpr int FirstRead = 7;
alignas(64) uint8_t Span[SpanBlocks * BlockSize + 2 * LiteralWords];  // literals read past

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
constexpr uint64_t V = MaxWordCount;  // the value field
constexpr uint64_t P = 0xFF0;         // the pixel byte, scaled by 16
constexpr uint64_t S = 0x10000;       // the count of a special word
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
#if defined(KINARO_DECODER_SSE2)
    const __m128i pattern =
        _mm_load_si128(reinterpret_cast<const __m128i*>(Patterns.bytes + offset));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pattern);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 16), pattern);
#else
    const uint64_t pattern = (offset >> 4) * 0x0101010101010101ull;
    for (size_t i = 0; i < StoreWidth; i += 8) std::memcpy(at + i, &pattern, 8);
#endif
}

// Stores `n` (more than StoreWidth, at most 4095) bytes of the pattern at `offset` from
// `at`, whose first StoreWidth are already stored; may store up to StoreWidth - 1 bytes more.
inline void StoreLongRun(uint8_t* at, uint64_t offset, size_t n) {
    if (n > 8 * StoreWidth) {
        std::memset(at, static_cast<int>(offset >> 4), n);
        return;
    }
    for (size_t k = StoreWidth; k < n; k += StoreWidth) StorePattern(at + k, offset);
}

// One bit per word of the span, set where the word is not a literal pixel (opcode nibble 1).
alignas(64) uint8_t NotLiteral[SpanBlocks * WordsPerBlock / 8 + 16];

void MarkNotLiteral(const uint8_t* words, size_t count) {
    size_t i = 0;
#if defined(KINARO_DECODER_SSE2)
    const __m128i one = _mm_set1_epi16(OpLiteral);
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * i + 16));
        const __m128i literal = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_srli_epi16(a, 12), one),
                                                _mm_cmpeq_epi16(_mm_srli_epi16(b, 12), one));
        const uint16_t marks = static_cast<uint16_t>(~_mm_movemask_epi8(literal));
        std::memcpy(NotLiteral + i / 8, &marks, 2);
    }
#endif
    // Counts are whole blocks, so i stays a multiple of 8 here.
    for (; i < count; i += 8) {
        uint8_t marks = 0;
        for (size_t k = 0; k < 8; ++k)
            marks |= static_cast<uint8_t>(((words[2 * (i + k) + 1] >> 4) != OpLiteral) << k);
        NotLiteral[i / 8] = marks;
    }
}

// Stores the pixels of the LiteralWords words at `words` (their low bytes) at `at`.
inline void StoreLiterals(const uint8_t* words, uint8_t* at) {
#if defined(KINARO_DECODER_SSE2)
    const __m128i low = _mm_set1_epi16(0xFF);
    for (size_t k = 0; k < LiteralWords; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + 2 * k + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + k),
                         _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
    }
#else
    for (size_t k = 0; k < LiteralWords; ++k) at[k] = words[2 * k];
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
    // The span being decoded: its first block's number, its whole blocks, and how many bytes
    // of the stream were read past the block that holds the current word.
    int32_t spanFirstBlock;
    int spanBlocks;
    size_t spanTail;
    bool bulk;       // spans are read many blocks at a time (the stream can be put back)
    bool endOfFile;  // the last span ended short of what was asked

    void Flush() {
        PutBytes(pixels, size, linePos, Line, static_cast<int64_t>(count));
        linePos += static_cast<int64_t>(count);
        count = 0;
    }

    // Leaves the block that holds `word` in Block, its number in BlockNumber and the stream
    // right behind it, as reading block by block up to it would have.
    void SettleAt(const uint8_t* word) {
        const int block = static_cast<int>((word - Span) / BlockSize);
        State.BlockNumber = spanFirstBlock + block;
        std::memcpy(State.Block, Span + static_cast<size_t>(block) * BlockSize, BlockSize);
        UnreadBytes(static_cast<int64_t>(spanBlocks - 1 - block) * BlockSize +
                    static_cast<int64_t>(spanTail));
    }

    // Every word that is not a pixel word, set-run-length or no-op: the end of a scan line
    // or of the frame (false), or an error.
    [[gnu::noinline]] bool Special(const uint8_t* word) {
        Flush();
        const int op = word[1] >> 4;
        if (op == OpEndOfScanLine) {
            rowStart -= rowStep;
            if (rowStart < -PositionLimit) rowStart = -PositionLimit;
            if (rowStart > PositionLimit) rowStart = PositionLimit;
            linePos = rowStart;
            return true;
        }
        SettleAt(word);
        switch (op) {
            case OpEndOfFrame: return false;
            case OpStartFrame:
                FatalError("GetRLE", "Start frame encountered before end of last frame", 0);
            case OpColormap: FatalError("GetRLE", "Unexpected colormap in Raster Metafile", 0);
            default: FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", op << 4);
        }
    }

    // Reads the span that follows the current one; false at the end of the file, with Block
    // and BlockNumber as ReadBlock would have left them.
    bool NextSpan(int& wanted) {
        // Block holds the last block read, and a short tail read after it lies over its start,
        // as reading block by block leaves them.
        std::memcpy(State.Block, Span + static_cast<size_t>(spanBlocks - 1) * BlockSize, BlockSize);
        if (bulk && !endOfFile) {
            const BlocksRead read = ReadBlocks(Span, wanted);
            spanTail = read.tailBytes;
            if (read.blocks > 0) {
                spanFirstBlock = State.BlockNumber - read.blocks + 1;
                spanBlocks = read.blocks;
                endOfFile = read.blocks < wanted;
                wanted = wanted * 2 > SpanBlocks ? SpanBlocks : wanted * 2;
                return true;
            }
            endOfFile = true;
            std::memcpy(State.Block, Span, spanTail);
        } else if (endOfFile) {
            std::memcpy(State.Block, Span + static_cast<size_t>(spanBlocks) * BlockSize, spanTail);
        }
        // A stream that cannot be put back, the end of the file, or the last block the
        // counter can name: one block at a time, as ever.
        spanTail = 0;
        if (!ReadBlock()) return false;
        std::memcpy(Span, State.Block, BlockSize);
        spanFirstBlock = State.BlockNumber;
        spanBlocks = 1;
        return true;
    }
};

// Finds the start word and sets the decoder on the frame's first span: the start block and
// what one read brings after it. Returns how many blocks the next read asks for.
int StartFrame(const Image& image, Decoder& d) {
    do {
        if (!ReadBlock()) FatalError("GetRLE", "Start frame not found", 0);
    } while (State.Block[1] != StartWordHighByte);
    State.Block[1] = NoOpHighByte;  // the start word decodes as a no-op

    LogAt(6, "addto = %d\n", -image.ScanLineWidth);

    d.pixels = image.Pixels;
    d.size = image.Pixels != nullptr ? static_cast<int64_t>(image.PixelsSize) : 0;
    d.rowStep = image.ScanLineWidth;
    d.rowStart = (static_cast<int64_t>(image.IH) - 1) * d.rowStep;
    d.linePos = d.rowStart;
    d.count = 0;
    std::memcpy(Span, State.Block, BlockSize);
    d.spanFirstBlock = State.BlockNumber;
    d.spanBlocks = 1;
    d.spanTail = 0;
    d.bulk = StreamCanSeek();
    d.endOfFile = false;
    if (!d.bulk) return FirstRead;
    const BlocksRead read = ReadBlocks(Span + BlockSize, FirstRead);
    d.spanBlocks += read.blocks;
    d.spanTail = read.tailBytes;
    d.endOfFile = read.blocks < FirstRead;
    return 2 * (FirstRead + 1);
}

}  // namespace

void GetRLE(Image& image, int32_t channel) {
    Decoder d;
    int wanted = StartFrame(image, d);
    // The frame's own copy of the opcode table, with the fill value in place.
    OpcodeEffects e = Effects;
    e.FillPixel[OpFill] = uint64_t{image.FillValues[channel >= 0 && channel < 3 ? channel : 0]}
                          << 4;
    uint64_t runLength = 0;
    uint8_t* out = Line;  // where the next pixel of the line goes; d.count = out - Line

    // The rest of a run or fill of n pixels longer than one store, its pattern stored once at
    // `out`; the line is flushed first when the run would not fit in the headroom.
    auto storeLong = [&](uint64_t pattern, size_t n) {
        if (static_cast<size_t>(out - Line) + n > LineCapacity + LineHeadroom) {
            d.count = static_cast<size_t>(out - Line);
            d.Flush();
            out = Line;
            StorePattern(out, pattern);
        }
        StoreLongRun(out, pattern, n);
    };
    // One word, any word, as the opcode masks say; false at the end of the frame.
    auto step = [&](const uint8_t* word) {
        const uint64_t w = word[0] | static_cast<uint64_t>(word[1]) << 8;
        const uint64_t op = w >> 12;
        const uint64_t n = e.One[op] | (runLength & e.RunCount[op]) | (w & e.ValueCount[op]);
        const uint64_t pattern = ((w << 4) & e.OwnPixel[op]) | e.FillPixel[op];
        runLength = (runLength & e.KeepRun[op]) | (w & e.SetRun[op]);
        StorePattern(out, pattern);
        if (n > StoreWidth) [[unlikely]] {
            if (n >= S) {
                d.count = static_cast<size_t>(out - Line);
                const bool more = d.Special(word);
                out = Line + d.count;
                return more;
            }
            storeLong(pattern, static_cast<size_t>(n));
        }
        out += n;
        return true;
    };
    auto makeRoom = [&] {
        if (out > Line + LineCapacity) {
            d.count = static_cast<size_t>(out - Line);
            d.Flush();
            out = Line;
        }
    };

    // The literal words [from, to) of the span, LiteralWords at a time.
    auto takeLiterals = [&](size_t from, size_t to) {
        const uint8_t* word = Span + 2 * from;
        size_t left = to - from;
        for (;;) {
            makeRoom();
            StoreLiterals(word, out);
            if (left <= LiteralWords) {
                out += left;
                return;
            }
            out += LiteralWords;
            word += 2 * LiteralWords;
            left -= LiteralWords;
        }
    };

    for (;;) {
        // The words that are not literal pixels are visited through the span's bitmap, 64
        // words to a bitmap word; the literal words between them are taken as runs. Most of
        // them are a set-run-length word and its repeated run, taken together.
        const size_t words = static_cast<size_t>(d.spanBlocks) * WordsPerBlock;
        MarkNotLiteral(Span, words);
        size_t next = 0;  // the first word not yet decoded
        for (size_t base = 0; base < words; base += 64) {
            uint64_t marks;
            std::memcpy(&marks, NotLiteral + base / 8, 8);
            if constexpr (std::endian::native == std::endian::big) marks = __builtin_bswap64(marks);
            if (next > base) marks &= ~uint64_t{1};  // the run of a pair taken before
            while (marks != 0) {
                const size_t j = base + static_cast<size_t>(std::countr_zero(marks));
                takeLiterals(next, j);
                const uint8_t* word = Span + 2 * j;
                if (j + 1 < words && (word[1] >> 4) == OpSetRunLength &&
                    (word[3] >> 4) == OpRepeatedRun) [[likely]] {
                    const size_t n = word[0] | static_cast<size_t>(word[1] & 0x0F) << 8;
                    const uint64_t pattern = uint64_t{word[2]} << 4;
                    StorePattern(out, pattern);
                    if (n > StoreWidth) [[unlikely]]
                        storeLong(pattern, n);
                    out += n;
                    runLength = 0;
                    next = j + 2;
                    const size_t taken = next - base;
                    marks = taken < 64 ? marks & (~uint64_t{0} << taken) : 0;
                } else {
                    if (!step(word)) return;
                    next = j + 1;
                    marks &= marks - 1;
                }
            }
        }
        takeLiterals(next, words);
        if (!d.NextSpan(wanted)) {
            d.count = static_cast<size_t>(out - Line);
            d.Flush();
            FatalError("GetRLE", "End of file encountered before end of frame", 0);
        }
    }
}
