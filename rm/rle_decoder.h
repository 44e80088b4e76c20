// The image array and the run-length coded pixel stream.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

void AllocImageArray(Image& image);
// Finds the start word and decodes one frame into the image array; `channel` picks the fill
// value of the fill opcode. Never writes outside the array.
void GetRLE(Image& image, int32_t channel);
