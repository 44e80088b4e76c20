// Time passes on the page's clock; pixels are read back from the canvas the page was given
// (web_page_stand_in.js). The program's waits suspend main, so main ends with exit.
#include <emscripten.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/contract/contract_shim.h"

EM_JS(int, CanvasPixel, (int x, int y), { return Module['kinaroPage'].pixel(x, y); });

void LetTimePass(int milliseconds) {
    emscripten_sleep(milliseconds);
}

uint32_t ClientPixel(HWND, const char*, int x, int y) {
    return static_cast<uint32_t>(CanvasPixel(x, y));
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::exit(RUN_ALL_TESTS());
}
