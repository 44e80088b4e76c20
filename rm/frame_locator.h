// Image index to decoded Image: finds a frame's header (reading forward or seeking back to a
// recorded position) and has its header, LUT and pixels read into the record.
#pragma once

#include <cstdint>

#include "app/viewer_state.h"

// Returns `index` when the image was decoded into `image`, or -1 when there is no such image
// (beyond the selection, or the file ends before its header); on -1 the record is unchanged.
// Every other failure is fatal.
int32_t GetFileImage(Image& image, uint32_t index);
