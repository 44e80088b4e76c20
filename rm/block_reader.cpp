#include "rm/block_reader.h"

#include <cstdint>
#include <cstdio>

#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

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
    if (State.BlockNumber == LastBlockNumber) {
        if (ReadNextBlock(LargestFileBytes))
            FatalError("ReadBlock", "Raster Metafile beyond 1 TB (block %ld) not supported",
                       int64_t{LastBlockNumber} + 1);
        return false;
    }
    ++State.BlockNumber;
    return ReadNextBlock(int64_t{State.BlockNumber} * BlockSize);
}

BlocksRead ReadBlocks(uint8_t* into, int count) {
    BlocksRead result;
    const int64_t room = int64_t{LastBlockNumber} - State.BlockNumber;
    if (count > room) count = static_cast<int>(room);
    if (count <= 0) return result;
    size_t got = 0;
    if (State.MetafileStream != nullptr)
        got = std::fread(into, 1, static_cast<size_t>(count) * BlockSize, State.MetafileStream);
    result.blocks = static_cast<int>(got / BlockSize);
    result.tailBytes = got % BlockSize;
    State.BlockNumber += result.blocks;
    return result;
}

static int64_t StreamPosition(FILE* stream) {
#ifdef _WIN32
    return _ftelli64(stream);
#else
    return static_cast<int64_t>(ftello(stream));
#endif
}

bool StreamCanSeek() {
    return State.MetafileStream != nullptr && StreamPosition(State.MetafileStream) >= 0;
}

void SeekMetafile(int64_t offset, int origin) {
    if (State.MetafileStream == nullptr) return;
#ifdef _WIN32
    _fseeki64(State.MetafileStream, offset, origin);
#else
    fseeko(State.MetafileStream, static_cast<off_t>(offset), origin);
#endif
}

void UnreadBytes(int64_t bytes) {
    if (bytes > 0) SeekMetafile(-bytes, SEEK_CUR);
}
