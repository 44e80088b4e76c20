// The one primitive through which the metafile is read: whole 512-byte blocks, forward.
#pragma once

constexpr int BlockSize = 512;

// Adds 1 to BlockNumber, then reads the next block of MetafileStream into Block. True when
// all 512 bytes were read; false at the end of the file or before a short final block.
// Past block 2^31 - 1 (1 TiB) the counter cannot go on: a further whole block is fatal.
bool ReadBlock();
