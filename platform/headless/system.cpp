// Message boxes, system information, the last error, faults and the clock of the headless
// backend.
#include <chrono>
#include <cstdio>

#include "platform/headless/headless_internal.h"

namespace headless {

Desktop& Get() {
    static Desktop desktop;
    return desktop;
}

uintptr_t NewId() { return Get().NextId++; }

void SetError(DWORD code) { Get().LastError = code; }

bool Fails(HeadlessFault fault) {
    auto it = Get().Faults.find(fault);
    if (it == Get().Faults.end()) return false;
    SetError(it->second);
    return true;
}

namespace {
std::vector<HeadlessBox> boxes;
bool quiet = false;
DWORD version = 0x0A00;  // a current system: top bit clear
std::map<int, int> metrics;
std::function<int(const HeadlessBox&)> boxHandler;

void DefaultMetrics() {
    metrics = {
        {0, 1920},  // SM_CXSCREEN
        {1, 1080},  // SM_CYSCREEN
        {SM_CYCAPTION, 23},
        {SM_CYMENU, 20},
        {SM_CXFRAME, 4},
        {SM_CYFRAME, 4},
        {SM_CMOUSEBUTTONS, 3},
    };
}
}  // namespace

void ResetSystem() {
    boxes.clear();
    version = 0x0A00;
    DefaultMetrics();
    boxHandler = nullptr;
}

}  // namespace headless

using namespace headless;

const std::vector<HeadlessBox>& HeadlessBoxes() { return boxes; }
void HeadlessSetQuiet(bool q) { quiet = q; }
void HeadlessSetBoxHandler(std::function<int(const HeadlessBox&)> handler) {
    boxHandler = std::move(handler);
}
void HeadlessSetVersion(DWORD v) { version = v; }
void HeadlessSetMouseButtons(int buttons) { metrics[SM_CMOUSEBUTTONS] = buttons; }
void HeadlessSetMetric(int index, int value) { metrics[index] = value; }

void HeadlessSetFault(HeadlessFault fault, DWORD error) { Get().Faults[fault] = error; }
void HeadlessClearFault(HeadlessFault fault) { Get().Faults.erase(fault); }

void HeadlessSetClockTicks(LONGLONG ticks) { Get().ClockTicks = ticks; }
LONGLONG HeadlessClockTicks() { return Get().ClockTicks; }
void HeadlessAdvanceClockMs(LONGLONG milliseconds) {
    Get().ClockTicks += milliseconds * (HeadlessClockFrequency / 1000);
}
void HeadlessUseRealClock(bool real) { Get().RealClock = real; }

void HeadlessReset() {
    ResetDialogs();
    ResetGdi();
    ResetWindows();
    ResetSystem();
    Desktop& d = Get();
    d.Faults.clear();
    d.LastError = 0;
    d.ClockTicks = 1000000000;
    d.RealClock = false;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
    if (!quiet) {
        fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        fflush(stderr);
    }
    if (!boxHandler) return IDOK;
    // While the handler runs the box is a window of its own in front, owned by `owner`,
    // as on a real desktop; a copy of the record keeps the handler safe from a reset.
    HeadlessBox box = boxes.back();
    HWND previous = GetForegroundWindow();
    HWND boxWindow = CreateWindowExA(0, "#32770", caption, WS_POPUP, 0, 0, 200, 100, owner,
                                     nullptr, nullptr, nullptr);
    if (boxWindow) HeadlessSetForegroundWindow(boxWindow);
    int result = boxHandler(box);
    if (boxWindow) {
        DestroyWindow(boxWindow);
        HeadlessSetForegroundWindow(previous);
    }
    return result;
}

DWORD WINAPI GetVersion() { return version; }

int WINAPI GetSystemMetrics(int index) {
    auto it = metrics.find(index);
    return it == metrics.end() ? 0 : it->second;
}

DWORD WINAPI GetLastError() { return Get().LastError; }

HINSTANCE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    static int module;
    if (moduleName != nullptr) return nullptr;
    return reinterpret_cast<HINSTANCE>(&module);
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (frequency == nullptr) return FALSE;
    frequency->QuadPart = HeadlessClockFrequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (count == nullptr) return FALSE;
    if (Get().RealClock) {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        count->QuadPart =
            std::chrono::duration_cast<std::chrono::duration<LONGLONG, std::ratio<1, HeadlessClockFrequency>>>(now)
                .count();
    } else {
        count->QuadPart = Get().ClockTicks;
    }
    return TRUE;
}

void HeadlessSetScreenSize(int width, int height) {
    metrics[0] = width;
    metrics[1] = height;
}
