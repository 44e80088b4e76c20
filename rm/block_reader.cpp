#include "rm/block_reader.h"

#include <cstdint>
#include <cstdio>

#include "app/viewer_state.h"

bool ReadBlock() {
    // BlockNumber is a 32-bit count: a file of 2^31 blocks (1 TiB) ends there instead of
    // letting the counter wrap.
    if (State.BlockNumber == INT32_MAX) return false;
    ++State.BlockNumber;
    if (State.MetafileStream == nullptr) return false;
    return std::fread(State.Block, 1, BlockSize, State.MetafileStream) == BlockSize;
}
