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

#include "platform/memory.h"
#include "platform/source_file.h"
#include "rm/block_reader.h"
#include "shell/diagnostics.h"

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
// The stream is decoded from spans of whole blocks read in one go: the start block, then as
// many as SpanBlocks. The first read after the start block is short (a small frame should
// not read far past its end, which is read again for the next frame), and each further read
// twice as long. Each span is surveyed first: a bitmap of its words that are not literal
// pixels, and the low bytes of all its words, packed, from which literal pixels are copied.
constexpr int SpanBlocks = 128;
constexpr size_t SpanWords = size_t{SpanBlocks} * WordsPerBlock;
constexpr int FirstRead = 7;
alignas(64) uint8_t Span[SpanWords * 2 + 16];  // a pair read at the last word reads past
alignas(64) uint8_t NotLiteral[SpanWords / 8 + 16];
constexpr size_t LiteralWords = 32;  // literal pixels copied at a time
alignas(64) uint8_t LowBytes[SpanWords + LiteralWords];

// The scan line being decoded is built in Line and copied into the array at its end (or
// whenever Line fills). That lets every word store a fixed number of bytes without a branch
// on its count, and bounds the array once per line instead of once per word. The copy lands
// exactly where the pixels would have been written one by one, in the same order, so the
// result is the same.
//
// Room is looked at once for every 64 words (a bitmap word): when more than LineCapacity
// bytes are in use, Line is copied out. Until the next look, each word that is not a literal
// pixel adds at most StoreWidth bytes and the literal pixels before it at most LiteralWords
// (more are taken with a look at every LiteralWords); a longer run or fill (at most 4095)
// stores whole StoreWidths and copies Line out after it when past LineCapacity. Every store
// is StoreWidth or LiteralWords bytes long.
constexpr size_t LineCapacity = 16384;
constexpr size_t StoreWidth = 48;
constexpr size_t GroupGrowth = 64 * (StoreWidth + LiteralWords);
alignas(64) uint8_t Line[LineCapacity + GroupGrowth + MaxWordCount + StoreWidth + LiteralWords];

// Copies `count` bytes of `source` to `pos`, dropping what falls outside [0, size).
void PutBytes(uint8_t* pixels, int64_t size, int64_t pos, const uint8_t* source, int64_t count) {
    int64_t first = pos < 0 ? 0 : pos;
    int64_t last = pos + count > size ? size : pos + count;
    if (first < last)
        std::memcpy(pixels + first, source + (first - pos), static_cast<size_t>(last - first));
}

// What one opcode does to the pixel count, the pixel and the run length, as masks, so that
// the words that are neither literal pixels nor run pairs decode without a branch on the
// opcode:
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
    for (size_t k = 0; k < StoreWidth; k += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + k), pattern);
#else
    const uint64_t pattern = (offset >> 4) * 0x0101010101010101ull;
    for (size_t i = 0; i < StoreWidth; i += 8) std::memcpy(at + i, &pattern, 8);
#endif
}

// Stores LiteralWords literal pixels from `from` at `at`.
inline void StoreLiterals(uint8_t* at, const uint8_t* from) {
#if defined(KINARO_DECODER_SSE2)
    for (size_t k = 0; k < LiteralWords; k += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + k),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
#else
    std::memcpy(at, from, LiteralWords);
#endif
}

// Fills the span's bitmap (one bit a word, set where the word is not a literal pixel, opcode
// nibble 1) and its low bytes, for `count` words (whole blocks).
void SurveySpan(size_t count) {
    size_t i = 0;
#if defined(KINARO_DECODER_SSE2)
    const __m128i literal = _mm_set1_epi16(OpLiteral);
    const __m128i low = _mm_set1_epi16(0xFF);
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Span + 2 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Span + 2 * i + 16));
        _mm_store_si128(reinterpret_cast<__m128i*>(LowBytes + i),
                        _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
        const __m128i isLiteral = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_srli_epi16(a, 12), literal),
                                                  _mm_cmpeq_epi16(_mm_srli_epi16(b, 12), literal));
        const uint16_t marks = static_cast<uint16_t>(~_mm_movemask_epi8(isLiteral));
        std::memcpy(NotLiteral + i / 8, &marks, 2);
    }
#endif
    // Counts are whole blocks, so i stays a multiple of 8 here.
    for (; i < count; i += 8) {
        uint8_t marks = 0;
        for (size_t k = 0; k < 8; ++k) {
            LowBytes[i + k] = Span[2 * (i + k)];
            marks |= static_cast<uint8_t>(((Span[2 * (i + k) + 1] >> 4) != OpLiteral) << k);
        }
        NotLiteral[i / 8] = marks;
    }
}

// Where the decoded lines go. Positions are 64-bit offsets into the array, free to wander
// outside it (an end-of-scan-line after the last row, a scan line longer than the array):
// only writes are bounded, and a pixel that would fall outside the array is dropped.
struct ArrayWriter {
    uint8_t* pixels;
    int64_t size;
    int64_t rowStep;
    int64_t rowStart;
    int64_t linePos;  // where Line[0] goes in the array

    // Copies Line up to `end` into the array; returns where the next pixel goes, Line[0].
    uint8_t* Flush(const uint8_t* end) {
        const int64_t count = end - Line;
        PutBytes(pixels, size, linePos, Line, count);
        linePos += count;
        return Line;
    }

    uint8_t* EndScanLine(const uint8_t* end) {
        Flush(end);
        rowStart -= rowStep;
        if (rowStart < -PositionLimit) rowStart = -PositionLimit;
        if (rowStart > PositionLimit) rowStart = PositionLimit;
        linePos = rowStart;
        return Line;
    }
};

// The spans of the stream: the current one's first block number, whole blocks, and how many
// bytes of the stream were read past them; how many blocks the next read asks for.
struct SpanSource {
    int32_t firstBlock;
    int blocks;
    size_t tail;
    int wanted;
    bool bulk;       // spans are read many blocks at a time (the stream can be put back)
    bool endOfFile;  // the last span ended short of what was asked

    // Leaves the block that holds `word` in Block, its number in BlockNumber and the stream
    // right behind it, as reading block by block up to it would have.
    void SettleAt(const uint8_t* word) {
        const int block = static_cast<int>((word - Span) / BlockSize);
        State.BlockNumber = firstBlock + block;
        std::memcpy(State.Block, Span + static_cast<size_t>(block) * BlockSize, BlockSize);
        UnreadBytes(static_cast<int64_t>(blocks - 1 - block) * BlockSize +
                    static_cast<int64_t>(tail));
    }

    // Reads the span that follows the current one; false at the end of the file, with Block
    // and BlockNumber as ReadBlock would have left them.
    bool Next() {
        // Block holds the last block read, and a short tail read after it lies over its start,
        // as reading block by block leaves them.
        std::memcpy(State.Block, Span + static_cast<size_t>(blocks - 1) * BlockSize, BlockSize);
        if (bulk && !endOfFile) {
            const BlocksRead read = ReadBlocks(Span, wanted);
            tail = read.tailBytes;
            if (read.blocks > 0) {
                firstBlock = State.BlockNumber - read.blocks + 1;
                blocks = read.blocks;
                endOfFile = read.blocks < wanted;
                wanted = wanted * 2 > SpanBlocks ? SpanBlocks : wanted * 2;
                return true;
            }
            endOfFile = true;
            std::memcpy(State.Block, Span, tail);
        } else if (endOfFile) {
            std::memcpy(State.Block, Span + static_cast<size_t>(blocks) * BlockSize, tail);
        }
        // A stream that cannot be put back, the end of the file, or the last block the
        // counter can name: one block at a time, as ever.
        tail = 0;
        if (!ReadBlock()) return false;
        std::memcpy(Span, State.Block, BlockSize);
        firstBlock = State.BlockNumber;
        blocks = 1;
        return true;
    }
};

// One frame's decoding: where it goes, where it comes from, and the opcode table with the
// frame's fill value in place.
struct FrameDecoding {
    ArrayWriter array;
    SpanSource source;
    OpcodeEffects effects;
};

// Every word that is not a pixel word, set-run-length or no-op, met with Line in use up to
// `out`: the end of a scan line (returns where the next pixel goes) or of the frame (null),
// or an error.
[[gnu::noinline]] uint8_t* SpecialWord(FrameDecoding& f, uint8_t* out, const uint8_t* word) {
    const int op = word[1] >> 4;
    if (op == OpEndOfScanLine) return f.array.EndScanLine(out);
    f.array.Flush(out);
    f.source.SettleAt(word);
    switch (op) {
        case OpEndOfFrame: return nullptr;
        case OpStartFrame:
            FatalError("GetRLE", "Start frame encountered before end of last frame", 0);
        case OpColormap: FatalError("GetRLE", "Unexpected colormap in Raster Metafile", 0);
        default: FatalError("GetRLE", "Illegal opcode (%ld) in Raster Metafile", op << 4);
    }
}

// The rest of a run or fill of n pixels (more than StoreWidth) at `out`, whose first
// StoreWidth are stored already; returns where the next pixel goes.
uint8_t* StoreLongRun(ArrayWriter& array, uint8_t* out, uint64_t pattern, size_t n) {
    if (n > 8 * StoreWidth)
        std::memset(out, static_cast<int>(pattern >> 4), n);
    else
        for (size_t k = StoreWidth; k < n; k += StoreWidth) StorePattern(out + k, pattern);
    out += n;
    return out > Line + LineCapacity ? array.Flush(out) : out;
}

// The literal pixels of words [from, to) of the span, stored at `out`; returns where the next
// pixel goes.
inline uint8_t* TakeLiterals(ArrayWriter& array, uint8_t* out, size_t from, size_t to) {
    size_t left = to - from;
    StoreLiterals(out, LowBytes + from);
    if (left <= LiteralWords) [[likely]]
        return out + left;
    for (;;) {
        out += LiteralWords;
        from += LiteralWords;
        left -= LiteralWords;
        if (out > Line + LineCapacity) out = array.Flush(out);
        StoreLiterals(out, LowBytes + from);
        if (left <= LiteralWords) return out + left;
    }
}

// Decoding stopped at the word that ended the frame.
constexpr uint8_t* FrameEnded = nullptr;

// One word, any word, as the opcode masks say; returns where the next pixel goes, or
// FrameEnded.
inline uint8_t* TakeWord(FrameDecoding& f, uint8_t* out, uint64_t& runLength, const uint8_t* word) {
    const OpcodeEffects& e = f.effects;
    const uint64_t w = word[0] | static_cast<uint64_t>(word[1]) << 8;
    const uint64_t op = w >> 12;
    const uint64_t n = e.One[op] | (runLength & e.RunCount[op]) | (w & e.ValueCount[op]);
    const uint64_t pattern = ((w << 4) & e.OwnPixel[op]) | e.FillPixel[op];
    runLength = (runLength & e.KeepRun[op]) | (w & e.SetRun[op]);
    StorePattern(out, pattern);
    if (n <= StoreWidth) [[likely]]
        return out + n;
    if (n >= S) return SpecialWord(f, out, word);
    return StoreLongRun(f.array, out, pattern, static_cast<size_t>(n));
}

// Where the next pixel goes and the run length in force, carried from span to span.
struct Cursor {
    uint8_t* out;
    uint64_t runLength;
};

// Decodes the words of the current span. The words that are not literal pixels are visited
// through the bitmap, 64 words to a bitmap word; the literal words between them are copied as
// runs. Most of them are a set-run-length word and its repeated run, taken together. Returns
// the cursor after the span, or one whose `out` is FrameEnded.
Cursor DecodeSpan(FrameDecoding& f, Cursor c) {
    const size_t words = static_cast<size_t>(f.source.blocks) * WordsPerBlock;
    SurveySpan(words);
    // The word after the span reads as a set-run-length word, so that a pair that would end
    // there is no pair; what it held (the file's short tail, where the file ends) is put back.
    const uint8_t after = Span[2 * words + 1];
    Span[2 * words + 1] = 0;
    uint8_t* out = c.out;
    uint64_t runLength = c.runLength;
    size_t next = 0;  // the first word not yet decoded
    for (size_t base = 0; base < words; base += 64) {
        uint64_t marks;
        std::memcpy(&marks, NotLiteral + base / 8, 8);
        if constexpr (std::endian::native == std::endian::big) marks = __builtin_bswap64(marks);
        if (next > base) marks &= ~uint64_t{1};  // the run of a pair taken before
        if (out > Line + LineCapacity) out = f.array.Flush(out);
        while (marks != 0) {
            const size_t j = base + static_cast<size_t>(std::countr_zero(marks));
            marks &= marks - 1;
            out = TakeLiterals(f.array, out, next, j);
            const uint8_t* word = Span + 2 * j;
            const uint32_t pair = word[0] | uint32_t{word[1]} << 8 | uint32_t{word[2]} << 16 |
                                  uint32_t{word[3]} << 24;
            if ((pair & 0xF000F000u) == uint32_t{OpRepeatedRun} << 28) [[likely]] {
                const size_t n = pair & 0xFFFF;  // a set-run-length word is its count
                const uint64_t pattern = (pair >> 12) & 0xFF0;  // the run's pixel × 16
                StorePattern(out, pattern);
                out = n <= StoreWidth ? out + n : StoreLongRun(f.array, out, pattern, n);
                marks &= marks - 1;  // the run word, when it is in this bitmap word
                runLength = 0;
                next = j + 2;
            } else {
                out = TakeWord(f, out, runLength, word);
                if (out == FrameEnded) {
                    Span[2 * words + 1] = after;
                    return {FrameEnded, 0};
                }
                next = j + 1;
            }
        }
    }
    Span[2 * words + 1] = after;
    return {TakeLiterals(f.array, out, next, words), runLength};
}

// Finds the start word and sets the decoder on the frame's first span: the start block and
// what one read brings after it.
void StartFrame(const Image& image, FrameDecoding& f) {
    do {
        if (!ReadBlock()) FatalError("GetRLE", "Start frame not found", 0);
    } while (State.Block[1] != StartWordHighByte);
    State.Block[1] = NoOpHighByte;  // the start word decodes as a no-op

    LogAt(6, "addto = %d\n", -image.ScanLineWidth);

    ArrayWriter& a = f.array;
    a.pixels = image.Pixels;
    a.size = image.Pixels != nullptr ? static_cast<int64_t>(image.PixelsSize) : 0;
    a.rowStep = image.ScanLineWidth;
    a.rowStart = (static_cast<int64_t>(image.IH) - 1) * a.rowStep;
    a.linePos = a.rowStart;
    SpanSource& s = f.source;
    std::memcpy(Span, State.Block, BlockSize);
    s = {State.BlockNumber, 1, 0, FirstRead, StreamCanSeek(), false};
    if (!s.bulk) return;
    const BlocksRead read = ReadBlocks(Span + BlockSize, FirstRead);
    s.blocks += read.blocks;
    s.tail = read.tailBytes;
    s.endOfFile = read.blocks < FirstRead;
    s.wanted = 2 * (FirstRead + 1);
}

}  // namespace

void GetRLE(Image& image, int32_t channel) {
    FrameDecoding f;
    StartFrame(image, f);
    f.effects = Effects;
    f.effects.FillPixel[OpFill] =
        uint64_t{image.FillValues[channel >= 0 && channel < 3 ? channel : 0]} << 4;
    Cursor c = {Line, 0};
    for (;;) {
        c = DecodeSpan(f, c);
        if (c.out == FrameEnded) return;
        if (!f.source.Next()) {
            f.array.Flush(c.out);
            FatalError("GetRLE", "End of file encountered before end of frame", 0);
        }
    }
}
