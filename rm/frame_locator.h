// Image index to decoded Image: finds a frame's header (reading forward or seeking back to a
// recorded position) and has its header, LUT and pixels read into the record.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

// Returns `index` when the image was decoded into `image`, or -1 when there is no such image
// (beyond the selection, or the file ends before its header); on -1 the record is unchanged.
// Every other failure is fatal.
int32_t GetFileImage(Image& image, uint32_t index);

// Besides State, the locator remembers which table of positions it allocated and how many
// entries it has. A host that keeps several files open, each with a ViewerState of its own
// exchanged with State around every call into the reader, exchanges this record with it.
struct LocatorTable {
    const int64_t* positions = nullptr;
    uint32_t entries = 0;
};
void ExchangeLocatorTable(LocatorTable& other);
