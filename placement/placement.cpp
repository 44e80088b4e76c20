#include "placement/placement.h"

#include "shell/diagnostics.h"

void PlaceImage(Image& image) {
    // Signed 32-bit arithmetic, truncating toward zero: an image larger than the client area
    // hangs over both edges by about half the difference. Computed in 64 bits and narrowed,
    // so that absurd sizes wrap as 32-bit values would instead of overflowing.
    auto narrow = [](int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); };
    image.IL = narrow(State.WL + (static_cast<int64_t>(State.WW) - image.IW) / 2);
    image.IR = narrow(static_cast<int64_t>(image.IL) + image.IW - 1);
    image.IT = narrow(State.WT + (static_cast<int64_t>(State.WH) - image.IH) / 2);
    image.IB = narrow(static_cast<int64_t>(image.IT) + image.IH - 1);
    image.ScanLineWidth = narrow(((static_cast<int64_t>(image.IW) - 1) & ~int64_t{3}) + 4);

    if (LogEnabled(1)) {
        LogAt(1, "WL = %d, WR = %d, WT = %d, WB = %d, WW = %u, WH = %u\n", State.WL, State.WR,
              State.WT, State.WB, static_cast<unsigned>(State.WW), static_cast<unsigned>(State.WH));
        LogAt(1, "IL = %d, IR = %d, IT = %d, IB = %d, IW = %u, IH = %u\n", image.IL, image.IR,
              image.IT, image.IB, static_cast<unsigned>(image.IW), static_cast<unsigned>(image.IH));
        LogAt(1, "ScanLineWidth = %d\n", image.ScanLineWidth);
    }
}
