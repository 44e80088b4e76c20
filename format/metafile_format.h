// The Raster Metafile's layout and the reader's limits, named once. The reader, the writer,
// rmtool, the tests and the fuzz target all take these numbers from here.
//
// A file is a sequence of 512-byte blocks. A frame is a header block, one colour table block
// (grey) or three (red, green, blue) for each 256 entries, then a pixel stream of 16-bit
// little-endian words that starts at a block boundary with the start word and ends with an
// end-of-frame word. The high four bits of a word are its opcode.
#pragma once

#include <cstdint>

constexpr int BlockSize = 512;
constexpr int WordsPerBlock = BlockSize / 2;

// The header block: the marker's four bytes (00 00 00 E0, the 32-bit value 0xE0000000), then
// 32-bit little-endian fields at these byte offsets. The colour flag is 16 bits; each fill
// value is the low byte of its field.
constexpr uint32_t HeaderMarker = 0xE0000000u;
constexpr uint8_t HeaderMarkerBytes[4] = {0x00, 0x00, 0x00, 0xE0};
namespace header_field {
constexpr int Width = 4;
constexpr int Height = 8;
constexpr int Components = 12;
constexpr int ColorFlag = 16;
constexpr int BitsPerLUTEntry = 20;
constexpr int Depth = 28;
constexpr int Fill[3] = {32, 36, 40};
}  // namespace header_field

// Opcodes: the high four bits of a stream word.
enum Opcode : uint8_t {
    OpSetRunLength = 0x0,
    OpLiteral = 0x1,
    OpRepeatedRun = 0x3,
    OpStartFrame = 0x4,
    OpEndOfScanLine = 0x6,
    OpEndOfFrame = 0x7,
    OpColormap = 0xB,
    OpFill = 0xD,
    OpNoOp = 0xF,
};

// A word's second byte holds its opcode in its high four bits: the start word's second byte
// is 0x40, a no-op's 0xF0. A block whose byte 1 is StartWordHighByte begins a pixel stream.
constexpr uint8_t OpcodeByte(Opcode op) {
    return static_cast<uint8_t>(op << 4);
}
constexpr uint8_t StartWordHighByte = OpcodeByte(OpStartFrame);
constexpr uint8_t NoOpHighByte = OpcodeByte(OpNoOp);

// The largest run length or fill count one word holds (its low twelve bits).
constexpr int MaxWordCount = 4095;

// The reader's limits. Frames: -max defaults to 512 and goes up to 2,097,152, over 3 GB of
// the smallest frames (three blocks: header, colour table, pixels) and a terabyte of 1080p
// ones; a larger -max or -b is refused like a failed allocation rather than asking for tables
// of gigabytes. Blocks are numbered with 32 bits: past block 2^31 - 1 (1 TB) the reader
// stops with a fatal error.
constexpr uint32_t DefaultMaxFrames = 512;
constexpr uint32_t MaxFramesCeiling = 1u << 21;
constexpr int32_t LastBlockNumber = INT32_MAX;
constexpr int64_t LargestFileBytes = (int64_t{LastBlockNumber} + 1) * BlockSize;
