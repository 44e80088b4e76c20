// Where an image lies in the client area, and how long a row of its array is.
#pragma once

#include "shell/viewer_state.h"

// Centres the image in the current geometry (WL, WT, WW, WH) and sets IL, IR, IT, IB and
// ScanLineWidth.
void PlaceImage(Image& image);
