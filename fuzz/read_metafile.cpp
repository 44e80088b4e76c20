#include "fuzz/read_metafile.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/headless/headless_control.h"
#include "rm/frame_locator.h"
#include "rm/rle_decoder.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

namespace {

constexpr uint32_t MaxFramesRead = 64;

// Settings picked from the input itself, so that one input always reads the same way.
void ChooseSettings(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size && i < 64; ++i) h = (h ^ data[i]) * 16777619u;
    h ^= static_cast<uint32_t>(size);
    static const int32_t adjustments[] = {0, 0, -1, -3, 2, -4};
    State.WidthAdjust = adjustments[h % 6];
    State.MultipleColormaps = (h >> 3) & 1 ? 0 : 1;
    State.Grayscale = (h >> 4) & 1;
    State.WW = State.WH = 640;
    State.WR = State.WB = 639;
}

}  // namespace

MetafileReading ReadMetafileFromMemory(const uint8_t* data, size_t size) {
    FreeStateArrays();
    State = ViewerState{};
    HeadlessReset();
    Headless().Quiet = true;
    InitDefaults();
    State.MaxFrames = MaxFramesRead;
    State.FileImageNumber = static_cast<uint32_t*>(std::malloc(MaxFramesRead * sizeof(uint32_t)));
    if (State.FileImageNumber == nullptr) std::abort();
    for (uint32_t i = 0; i < MaxFramesRead; ++i) State.FileImageNumber[i] = i;
    ChooseSettings(data, size);
    InitImage(State.DisplayImage);

    // fmemopen refuses an empty buffer; an empty file has no frames anyway.
    std::vector<uint8_t> copy(data, data + size);
    if (!copy.empty()) State.MetafileStream = fmemopen(copy.data(), copy.size(), "rb");

    MetafileReading reading;
    uint32_t index = 0;
    try {
        while (index < MaxFramesRead && GetFileImage(State.DisplayImage, index) >= 0) ++index;
        // Back to the first frame, then on to the second, as playback does after a loop.
        if (index > 0) GetFileImage(State.DisplayImage, 0);
        if (index > 1) GetFileImage(State.DisplayImage, 1);
    } catch (const ProcessEnded& ended) {
        // The reader may only end through FatalError, with the error status.
        if (!ended.fatal || ended.status != -1) {
            std::fprintf(stderr, "the reader ended without a fatal error (status %d)\n",
                         ended.status);
            std::abort();
        }
        reading.fatal = ended.fatal;
    }
    reading.frames = static_cast<int>(index);

    if (State.MetafileStream != nullptr) std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    FreeStateArrays();
    return reading;
}
