// GetRLE against the oracle on the same stream, frame after frame: the image array, the
// fatal error (routine, text, block number), Block, BlockNumber and where the stream stands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodeSetup {
    int32_t width = 1;        // IW; ScanLineWidth is it rounded up to a multiple of 4
    int32_t height = 1;       // IH
    int32_t spareBytes = 0;   // array bytes past the rows (a negative WidthAdjust's)
    uint8_t fill[3] = {};     // FillValues
    int32_t channel = 0;      // GetRLE's channel, also out of range
    uint8_t initial = 0;      // what the array holds before the first frame
    int32_t firstBlock = -1;  // BlockNumber before the first read (near 2^31 for the limit)
    bool seekable = true;     // false: a stream that cannot seek, as a pipe
    int frames = 2;           // GetRLE calls in a row on the one stream and array
};

// "" when GetRLE and the oracle agree on every frame, else what differs first.
std::string CompareWithOracle(const std::vector<uint8_t>& file, const DecodeSetup& setup);

// A setup taken from the first bytes of arbitrary data (for the fuzz target), which it
// removes from `data`.
DecodeSetup SetupFromBytes(std::vector<uint8_t>& data);
