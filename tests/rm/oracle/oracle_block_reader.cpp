// The reader's block reading before it read more than one block a call (see
// oracle_decoder.h). Only the names differ from that version.
#include <cstdint>
#include <cstdio>

#include "rm/block_reader.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"
#include "tests/rm/oracle/oracle_decoder.h"

bool OracleReadBlock() {
    // BlockNumber is a 32-bit count, so blocks 0 to 2^31 - 1 (1 TiB) can be read. A file that
    // goes on with a whole block past that is refused rather than cut short or wrapped; a
    // shorter tail is never used anyway.
    if (State.BlockNumber == INT32_MAX) {
        if (State.MetafileStream != nullptr &&
            std::fread(State.Block, 1, BlockSize, State.MetafileStream) == BlockSize)
            FatalError("ReadBlock", "Raster Metafile beyond 1 TB (block %ld) not supported",
                       int64_t{INT32_MAX} + 1);
        return false;
    }
    ++State.BlockNumber;
    if (State.MetafileStream == nullptr) return false;
    return std::fread(State.Block, 1, BlockSize, State.MetafileStream) == BlockSize;
}
