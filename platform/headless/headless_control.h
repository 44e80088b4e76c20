// What tests (and the command-line tools) can see and steer of the headless backend.
// Nothing here exists on the real desktops.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

struct HeadlessBox {
    HWND Owner;
    std::string Text;
    std::string Title;
    UINT Type;
};

// Every message box shown since the last reset, in order. Each box is also written to
// stderr as "Title: text" unless HeadlessSetQuiet(true).
const std::vector<HeadlessBox>& HeadlessBoxes();
void HeadlessSetQuiet(bool quiet);

// What GetVersion and GetSystemMetrics(SM_CMOUSEBUTTONS) report.
void HeadlessSetVersion(DWORD version);
void HeadlessSetMouseButtons(int buttons);

// Forgets every box, window and object and restores the defaults.
void HeadlessReset();
