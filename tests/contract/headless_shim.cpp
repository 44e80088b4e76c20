#include "platform/headless/headless_control.h"
#include "tests/contract/contract_shim.h"

void LetTimePass(int milliseconds) {
    HeadlessAdvanceClockMs(milliseconds);
}
uint32_t ClientPixel(HWND window, const char*, int x, int y) {
    return HeadlessPixel(window, x, y);
}
