// Reads every frame of a metafile held in memory, as the viewer would, and then some frames
// again by seeking back. Shared by the fuzz target and the replayer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "shell/diagnostics.h"

struct MetafileReading {
    int frames = 0;                    // frames decoded before the end or the fatal error
    std::optional<FatalRecord> fatal;  // the reader's fatal error, if it ended in one
};

// A fatal error ends the reading cleanly (the end of the process throws its record); every
// array is released after. Aborts when the reader ends in any other way.
MetafileReading ReadMetafileFromMemory(const uint8_t* data, size_t size);
