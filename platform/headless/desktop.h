// The state of the in-memory desktop, shared by its native layer and its control functions.
#pragma once

#include <map>

#include "platform/core/core.h"
#include "platform/headless/headless_control.h"

namespace headless {

struct Desktop {
    std::vector<HeadlessBox> Boxes;
    bool Quiet = false;
    std::function<int(const HeadlessBox&)> BoxHandler;
    DWORD Version = 0x0A00;  // a current system: top bit clear
    std::map<int, int> Metrics = {
        {0, 1920},       {1, 1080},       {SM_CYCAPTION, 23},   {SM_CYMENU, 20},
        {SM_CXFRAME, 4}, {SM_CYFRAME, 4}, {SM_CMOUSEBUTTONS, 3}};
    int MinimumWindowWidth = 0;
    std::map<HeadlessFault, DWORD> Faults;
    LONGLONG ClockTicks = 1000000000;
    int AutoTimerTicks = 0, IdleEnds = 0, IdleSpins = 0;
    std::function<bool()> IdleHandler;
    std::vector<HeadlessMessage> MessageLog;
    BITMAPINFOHEADER LastBitmapHeader{};
    std::vector<RGBQUAD> LastColourTable;
    HeadlessOpenFileScript Script;
    std::vector<HeadlessOpenFileCall> Calls;
};

Desktop& Get();
// A user resize: the outer size that gives this client size (or a minimised window).
void SetClientSize(core::WindowRecord& w, int width, int height, WPARAM type);
void Reset();

}  // namespace headless
