// Reads every frame of a metafile held in memory, as the viewer would, and then some frames
// again by seeking back. Shared by the fuzz target and the replayer.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the number of frames decoded. A fatal error ends the reading cleanly (the
// process-ending hook throws, see fuzz_end_process.cpp); every array is released after.
int ReadMetafileFromMemory(const uint8_t* data, size_t size);
