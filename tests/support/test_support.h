// Shared ground for the unit tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/headless/headless_control.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

// Frees the arrays of the previous test's state, puts the viewer state back to its values
// before any code runs, forgets everything the headless backend recorded, and applies
// InitDefaults.
void ResetViewer();

// A test fixture that starts every test from ResetViewer, with message boxes kept off stderr.
class ViewerTest : public ::testing::Test {
   protected:
    void SetUp() override;
};

// Runs `action`, which must end the process; returns the status it ended with. Fails the
// test when it returns normally.
template <typename Action>
int ExpectProcessEnd(Action action) {
    try {
        action();
    } catch (const ProcessEnded& ended) {
        return ended.status;
    }
    ADD_FAILURE() << "the process did not end";
    return 1000;
}

// A client pixel of a window of the headless desktop, 0x00RRGGBB, or HeadlessUnpaintedPixel
// (also outside the client area).
uint32_t HeadlessPixel(HWND window, int x, int y);
// Paints every client pixel `colour` (to tell drawn pixels from stale ones).
void HeadlessClearSurface(HWND window, uint32_t colour);
// Dispatches queued messages (posted ones and due paints, no timer ticks) until none is
// left; returns how many were dispatched. Stops at the quit message and leaves it pending.
int HeadlessPumpMessages();

// A temporary file path unique to this test run; the file is removed at exit.
std::string TempPath(const std::string& name);

// The full contents of a file.
std::string ReadWholeFile(const std::string& path);
