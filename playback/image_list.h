// The buffered image list: every selected image read into memory before the first is shown.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

// Reads up to `count` images into `list`; returns the index of the last one read.
int32_t FillImageList(Image* list, int32_t count);
// Copies list entry `index` into `image` (sharing its arrays) and places it.
void GetStoredImage(Image& image, Image* list, uint32_t index);
