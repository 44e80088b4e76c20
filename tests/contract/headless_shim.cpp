#include "platform/headless/headless_control.h"
#include "tests/contract/contract_shim.h"

void LetTimePass(int milliseconds) {
    HeadlessAdvanceClockMs(milliseconds);
}
uint32_t ClientPixel(HWND window, const char*, int x, int y) {
    const core::Surface& s = core::AnyWindow(window)->Pixels;  // the tests read inside it
    return s.Pixels[static_cast<size_t>(y) * s.Stride + x];
}
