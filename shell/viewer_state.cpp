#include "shell/viewer_state.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/memory.h"

ViewerState State;

// A version word with the top bit set and a major version below 4 marks an old system,
// where the right button of every mouse moves forward.
static bool IsOldSystem(DWORD version) {
    return (version & 0x80000000u) != 0 && (version & 0xFFu) < 4;
}

void InitDefaults() {
    State.WindowOpen = 0;

    State.LeftButton = 1;
    if (IsOldSystem(GetVersion()) || GetSystemMetrics(SM_CMOUSEBUTTONS) == 2) {
        State.MiddleButton = 3;
        State.RightButton = 2;
    } else {
        State.MiddleButton = 2;
        State.RightButton = 3;
    }

    State.MainWindow = nullptr;
    State.TimerId = 0;
    State.Palette = nullptr;
    State.Menu = nullptr;
    State.PaintDC = nullptr;
    State.MetafileStream = nullptr;
    State.Mode = Stopped;
    State.PutPending = 0;
    State.FirstFrame = 0;

    State.LogLevel = 0;
    State.LogFile = nullptr;
    State.BufferCount = 0;
    State.Grayscale = 0;
    State.Wait = 0;
    State.WidthAdjust = 0;
    State.RepeatCount = 0;
    State.RepeatLimit = 0;
    State.FullScreen = 0;

    State.WindowClassName = "KinaroWndClass";
    State.BlockNumber = -1;
    State.ResizePending = 1;
    State.Direction = 1;
    State.LastFrame = 2147483647u;
    State.FrameSkip = 1;
    State.MultipleColormaps = 1;
    State.MaxFrames = DefaultMaxFrames;
    State.ShowInfo = 1;
}

void InitImage(Image& image) {
    image.IW = 0;
    image.IH = 0;
    image.Pixels = nullptr;
    image.PixelsSize = 0;
    image.LUTSize = 0;
}

void FreeImageArray(Image& image) {
    FreeZeroedPages(image.Pixels, image.PixelsSize);
    image.Pixels = nullptr;
    image.PixelsSize = 0;
}

bool ArrayHoldsFrame(const Image& image) {
    if (image.Pixels == nullptr || image.IW <= 0 || image.IH <= 0) return false;
    const size_t needed =
        static_cast<size_t>(image.IH - 1) * image.ScanLineWidth + static_cast<size_t>(image.IW);
    return image.ScanLineWidth >= image.IW && image.PixelsSize >= needed;
}

void FreeImage(Image& image) {
    FreeImageArray(image);
    std::free(image.LUT);
    InitImage(image);
    image.LUT = nullptr;
}

void FreeStateArrays() {
    // Buffered viewing shares arrays between the display image and the list entries, and a
    // single colormap shares one LUT between all entries. Image arrays go back the way they
    // were taken (AllocZeroedPages), with their size.
    std::vector<std::pair<uint8_t*, size_t>> pixels{
        {State.DisplayImage.Pixels, State.DisplayImage.PixelsSize}};
    std::vector<void*> luts{State.DisplayImage.LUT};
    if (State.ImageList != nullptr)
        for (uint32_t i = 0; i < State.MaxFrames; ++i) {
            pixels.emplace_back(State.ImageList[i].Pixels, State.ImageList[i].PixelsSize);
            luts.push_back(State.ImageList[i].LUT);
        }
    std::sort(pixels.begin(), pixels.end());
    pixels.erase(std::unique(pixels.begin(), pixels.end(),
                             [](const auto& a, const auto& b) { return a.first == b.first; }),
                 pixels.end());
    for (const auto& [block, size] : pixels) FreeZeroedPages(block, size);
    std::sort(luts.begin(), luts.end());
    luts.erase(std::unique(luts.begin(), luts.end()), luts.end());
    for (void* lut : luts) std::free(lut);
    State.DisplayImage.LUT = nullptr;
    InitImage(State.DisplayImage);
    std::free(State.ImageList);
    std::free(State.FileImageNumber);
    std::free(State.ImageFilePositions);
    State.ImageList = nullptr;
    State.FileImageNumber = nullptr;
    State.ImageFilePositions = nullptr;
}
