// Drawing an image: pacing, pass counting, the palette and the bitmap transfer.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

// Returns 0 when a paced put is refused because Wait has not elapsed; 1 otherwise. Ends the
// process when a -loop or -cycle pass limit is reached.
int PutImage(Image& image, int paced);
void PutLUT(const Image& image);
// Milliseconds since the first call, on the platform's monotonic clock.
int32_t ElapsedMs();
