// The decoder and block reader as they were before reading in bulk and taking literal words
// many at a time, kept word for word as the oracle the current reader is compared with.
// Same contract as GetRLE and ReadBlock; they work on the same State.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

bool OracleReadBlock();
void OracleGetRLE(Image& image, int32_t channel);
