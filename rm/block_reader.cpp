#include "rm/block_reader.h"

#include <cstdint>
#include <cstdio>

#include "app/diagnostics.h"
#include "app/viewer_state.h"

// The 512 bytes after the last block read into Block, from the stream or through ReadBlockAt.
static bool ReadNextBlock(int64_t offset) {
    if (State.ReadBlockAt != nullptr) return State.ReadBlockAt(offset, State.Block);
    return State.MetafileStream != nullptr &&
           std::fread(State.Block, 1, BlockSize, State.MetafileStream) == BlockSize;
}

bool ReadBlock() {
    // BlockNumber is a 32-bit count, so blocks 0 to 2^31 - 1 (1 TiB) can be read. A file that
    // goes on with a whole block past that is refused rather than cut short or wrapped; a
    // shorter tail is never used anyway.
    if (State.BlockNumber == INT32_MAX) {
        if (ReadNextBlock((int64_t{INT32_MAX} + 1) * BlockSize))
            FatalError("ReadBlock", "Raster Metafile beyond 1 TB (block %ld) not supported",
                       int64_t{INT32_MAX} + 1);
        return false;
    }
    ++State.BlockNumber;
    return ReadNextBlock(int64_t{State.BlockNumber} * BlockSize);
}
