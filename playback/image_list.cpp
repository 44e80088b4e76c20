// The buffered image list: every selected image read into memory before the first is shown,
// and fetched from there by sharing its arrays.
#include "playback/image_list.h"

#include <cstdio>

#include "placement/placement.h"
#include "rm/frame_locator.h"
#include "shell/diagnostics.h"

namespace {
// WL, WR, WT, WB, WW, WH in this order.
void SetGeometry(const int32_t (&g)[6]) {
    int32_t* fields[6] = {&State.WL, &State.WR, &State.WT, &State.WB, &State.WW, &State.WH};
    for (int i = 0; i < 6; ++i) *fields[i] = g[i];
}
}  // namespace

int32_t FillImageList(Image* list, int32_t count) {
    LogAt(8, "Entering %s\n", "FillImageList");

    // The main window does not exist yet: images are placed in a virtual area instead.
    const int32_t saved[6] = {State.WL, State.WR, State.WT, State.WB, State.WW, State.WH};
    SetGeometry({0, 20000, 0, 20000, 20001, 20001});

    HWND progress = nullptr;
    if (State.ShowInfo)
        progress = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr,
                                   nullptr, State.Instance, nullptr);

    // The list has MaxFrames entries; the count never asks for more.
    int32_t i = 0;
    while (i < count && static_cast<uint32_t>(i) < State.MaxFrames) {
        InitImage(list[i]);
        if (GetFileImage(list[i], static_cast<uint32_t>(i)) == -1) break;
        if (!State.MultipleColormaps) {
            list[i].LUTSize = list[0].LUTSize;
            list[i].ColorFlag = list[0].ColorFlag;
            list[i].LUT = list[0].LUT;
        }
        ++i;
        if (progress != nullptr) {
            char text[16];
            snprintf(text, sizeof text, "%d", i);
            SendMessageA(progress, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        }
    }

    if (progress != nullptr) DestroyWindow(progress);
    if (i == 0) FatalError("FillImageList", "File is not in Raster Metafile format", 0);

    SetGeometry(saved);
    LogAt(8, "Leaving %s\n", "FillImageList");
    return i - 1;
}

void GetStoredImage(Image& image, Image* list, uint32_t index) {
    const int32_t oldWidth = image.IW, oldHeight = image.IH;
    LogAt(0, "Getting Image #%d\n", static_cast<int>(index));
    if (index >= State.MaxFrames)
        FatalError("GetStoredImage", "Attempt to read invalid image (%ld) from list",
                   static_cast<long long>(index));
    image = list[index];  // shares the entry's pixel array and LUT
    if (image.IW != oldWidth || image.IH != oldHeight) {
        State.ResizePending = 1;
        LogAt(4, "Change in buffered image size, resizing\n");
    }
    PlaceImage(image);
}
