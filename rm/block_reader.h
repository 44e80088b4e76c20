// The one primitive through which the metafile is read: whole 512-byte blocks, forward.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/metafile_format.h"

// Adds 1 to BlockNumber, then reads the next block of MetafileStream into Block. True when
// all 512 bytes were read; false at the end of the file or before a short final block.
// Past block 2^31 - 1 (1 TiB) the counter cannot go on: a further whole block is fatal.
bool ReadBlock();

// Bulk reading for the decoder, which knows where a frame ends only once it has read it.
// ReadBlocks reads up to `count` of the blocks that follow BlockNumber into `into` with one
// read and adds the whole blocks read to BlockNumber; it never counts past block 2^31 - 1,
// where the caller goes on with ReadBlock, which applies the 1 TiB rule. `tailBytes` were
// read past the whole blocks (a short final block, at `into` + blocks × 512). Fewer blocks
// than `count` means the end of the file: the ReadBlock that follows fails as it would have.
struct BlocksRead {
    int blocks = 0;
    size_t tailBytes = 0;
};
BlocksRead ReadBlocks(uint8_t* into, int count);
// Whether the stream can be put back (UnreadBytes); a pipe cannot, and neither can a reader
// through ReadBlockAt, which goes on one block at a time.
bool StreamCanSeek();
// Moves MetafileStream to `offset` bytes from `origin` (SEEK_SET, SEEK_CUR) with a 64-bit
// seek, for offsets past 4 GB; nothing without a stream. A failed seek shows in the next read.
void SeekMetafile(int64_t offset, int origin);
// Moves the stream back by `bytes` it has read, so that it stands where reading one block at
// a time would have left it.
void UnreadBytes(int64_t bytes);
