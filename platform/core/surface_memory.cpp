#include "platform/core/surface_memory.h"

#include <algorithm>

namespace core {

void RemakeSurfaceMemory(std::vector<uint32_t>& pixels, Surface& surface, int width, int height,
                         uint32_t fill) {
    std::vector<uint32_t> remade(static_cast<size_t>(width) * height, fill);
    int keepWidth = std::min(width, surface.Width), keepHeight = std::min(height, surface.Height);
    for (int y = 0; y < keepHeight; ++y)
        std::copy_n(&pixels[static_cast<size_t>(y) * surface.Width], keepWidth,
                    &remade[static_cast<size_t>(y) * width]);
    pixels.swap(remade);
    surface = {pixels.empty() ? nullptr : pixels.data(), width, height, width, surface.Layout};
}

}  // namespace core
