// A frame's header block and its colour look-up table.
#pragma once

#include "shell/viewer_state.h"

void GetHeader(Image& image);  // decodes the header in Block; reads nothing
void GetLUT(Image& image);     // reads the LUT blocks right behind the header
void CreateLUT(Image& image);  // allocates room for LUTSize entries, rounded up to 256
void SetUpLUT(Image& image);   // grey conversion, only when Grayscale is set
