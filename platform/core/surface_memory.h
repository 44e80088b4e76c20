// A client surface that a native layer keeps in ordinary memory (the headless desktop, the
// web page): remade at a new size, keeping the pixels both sizes share.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/core.h"

namespace core {

// `pixels` becomes width x height, what lies outside the old size `fill` (a word of the
// surface's layout); `surface` points at it afterwards, in the same layout.
void RemakeSurfaceMemory(std::vector<uint32_t>& pixels, Surface& surface, int width, int height,
                         uint32_t fill);

}  // namespace core
