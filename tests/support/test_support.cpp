#include "tests/support/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/headless/headless_control.h"

void ResetViewer() {
    FreeStateArrays();
    State = ViewerState{};
    HeadlessReset();
    InitDefaults();
}

void ViewerTest::SetUp() {
    Headless().Quiet = true;
    ResetViewer();
}

uint32_t HeadlessPixel(HWND window, int x, int y) {
    const core::WindowRecord* w = core::AnyWindow(window);
    if (w == nullptr || w->Pixels.Pixels == nullptr || x < 0 || y < 0 || x >= w->Pixels.Width ||
        y >= w->Pixels.Height)
        return HeadlessUnpaintedPixel;
    return w->Pixels.Pixels[static_cast<size_t>(y) * w->Pixels.Stride + x];
}

void HeadlessClearSurface(HWND window, uint32_t colour) {
    const core::WindowRecord* w = core::AnyWindow(window);
    if (w != nullptr && w->Pixels.Pixels != nullptr)
        std::fill_n(w->Pixels.Pixels, static_cast<size_t>(w->Pixels.Width) * w->Pixels.Height,
                    colour);
}

int HeadlessPumpMessages() {
    int count = 0;
    MSG m;
    // TakeReady leaves the quit message pending (takeQuit false).
    while (!core::QuitPending() && core::TakeReady(&m, nullptr, 0, 0, false, false)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
        ++count;
    }
    return count;
}

namespace {
std::vector<std::string>& TempFiles() {
    static std::vector<std::string> files;
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit([] {
            for (const auto& f : TempFiles()) std::remove(f.c_str());
        });
    }
    return files;
}
}  // namespace

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/kinaro-test-" +
                       std::to_string(getpid()) + "-" + name;
    TempFiles().push_back(path);
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Leak detection stays on; the suppressions name only leaks inside other people's libraries.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" KINARO_LSAN_SUPPRESSIONS;
}
