// What tests and tools see and steer of the in-memory desktop (headless_control.h).
#include <algorithm>

#include "platform/headless/desktop.h"

using namespace headless;

namespace {

HeadlessWindowInfo InfoOf(const core::WindowRecord& w) {
    return {w.Handle, w.Class->Name, w.Text,    w.TextHistory, w.Style,       w.ExStyle,
            w.X,      w.Y,           w.Width,   w.Height,      w.ClientWidth, w.ClientHeight,
            w.Parent, w.Menu,        w.Visible, w.Maximized,   !w.Alive,      w.LastShowCommand,
            w.Paints, w.Draws};
}

core::PaletteRecord* Palette(HPALETTE palette) {
    return core::Find<core::PaletteRecord>(palette, core::Kind::Palette);
}

}  // namespace

const std::vector<HeadlessBox>& HeadlessBoxes() {
    return Get().Boxes;
}
void HeadlessSetQuiet(bool quiet) {
    Get().Quiet = quiet;
}
void HeadlessSetBoxHandler(std::function<int(const HeadlessBox&)> handler) {
    Get().BoxHandler = std::move(handler);
}
void HeadlessSetVersion(DWORD version) {
    Get().Version = version;
}
void HeadlessSetMouseButtons(int buttons) {
    Get().Metrics[SM_CMOUSEBUTTONS] = buttons;
}
void HeadlessSetMetric(int index, int value) {
    Get().Metrics[index] = value;
}
void HeadlessSetScreenSize(int width, int height) {
    Get().Metrics[0] = width;
    Get().Metrics[1] = height;
}
void HeadlessSetMinimumWindowWidth(int width) {
    Get().MinimumWindowWidth = width;
}
void HeadlessSetClockTicks(LONGLONG ticks) {
    Get().ClockTicks = ticks;
}
LONGLONG HeadlessClockTicks() {
    return Get().ClockTicks;
}
void HeadlessAdvanceClockMs(LONGLONG milliseconds) {
    Get().ClockTicks += milliseconds * (HeadlessClockFrequency / 1000);
}
void HeadlessSetFault(HeadlessFault fault, DWORD error) {
    Get().Faults[fault] = error;
}
void HeadlessClearFault(HeadlessFault fault) {
    Get().Faults.erase(fault);
}
void HeadlessReset() {
    headless::Reset();
}

std::vector<HeadlessWindowInfo> HeadlessWindows() {
    std::vector<HeadlessWindowInfo> all;
    for (HWND h : core::WindowsInOrder()) all.push_back(InfoOf(*core::AnyWindow(h)));
    return all;
}

bool HeadlessWindow(HWND window, HeadlessWindowInfo* info) {
    core::WindowRecord* w = core::AnyWindow(window);
    if (w != nullptr && info != nullptr) *info = InfoOf(*w);
    return w != nullptr;
}

uint32_t HeadlessPixel(HWND window, int x, int y) {
    core::WindowRecord* w = core::AnyWindow(window);
    if (w == nullptr || w->Pixels.Pixels == nullptr || x < 0 || y < 0 || x >= w->Pixels.Width ||
        y >= w->Pixels.Height)
        return HeadlessUnpaintedPixel;
    return w->Pixels.Pixels[static_cast<size_t>(y) * w->Pixels.Stride + x];
}

std::vector<uint32_t> HeadlessSurface(HWND window) {
    core::WindowRecord* w = core::AnyWindow(window);
    if (w == nullptr || w->Pixels.Pixels == nullptr) return {};
    return {w->Pixels.Pixels,
            w->Pixels.Pixels + static_cast<size_t>(w->Pixels.Width) * w->Pixels.Height};
}

void HeadlessClearSurface(HWND window, uint32_t colour) {
    core::WindowRecord* w = core::AnyWindow(window);
    if (w != nullptr && w->Pixels.Pixels != nullptr)
        std::fill_n(w->Pixels.Pixels, static_cast<size_t>(w->Pixels.Width) * w->Pixels.Height,
                    colour);
}

void HeadlessSetClientSize(HWND window, int width, int height, WPARAM sizeType) {
    core::WindowRecord* w = core::LiveWindow(window);
    if (w == nullptr) return;
    SetClientSize(*w, width, height, sizeType);
    core::SendSize(*w, sizeType);
    if ((w = core::LiveWindow(window)) != nullptr) core::InvalidateAll(*w, true);
}

void HeadlessSetForegroundWindow(HWND window) {
    core::SetForeground(window);
}

bool HeadlessHasUpdateRegion(HWND window) {
    core::WindowRecord* w = core::AnyWindow(window);
    return w != nullptr && w->Alive && GetUpdateRect(window, nullptr, FALSE);
}

const std::vector<HeadlessMessage>& HeadlessMessageLog() {
    return Get().MessageLog;
}
void HeadlessClearMessageLog() {
    Get().MessageLog.clear();
}

void HeadlessPostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The character a key press makes on a US layout, for TranslateMessage.
    uint32_t character = 0;
    if (message == WM_KEYDOWN && wParam >= 'A' && wParam <= 'Z')
        character = static_cast<uint32_t>(wParam - 'A' + 'a');
    else if (message == WM_KEYDOWN && ((wParam >= '0' && wParam <= '9') || wParam == ' ' ||
                                       wParam == 27 || wParam == 13 || wParam == 8))
        character = static_cast<uint32_t>(wParam);
    core::Post(window, message, wParam, lParam, character);
}

size_t HeadlessQueueLength() {
    return core::QueueLength();
}
bool HeadlessQuitPosted(int* exitCode) {
    return core::QuitPending(exitCode);
}

int HeadlessPumpMessages() {
    int count = 0;
    MSG m;
    while (!core::QuitPending(nullptr) && core::TakeReady(&m, nullptr, 0, 0, false, false)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
        ++count;
    }
    return count;
}

void HeadlessAllowTimerTicks(int ticks) {
    Get().AutoTimerTicks = ticks;
}
void HeadlessSetIdleHandler(std::function<bool()> handler) {
    Get().IdleHandler = std::move(handler);
}
int HeadlessIdleEnds() {
    return Get().IdleEnds;
}

std::vector<HeadlessTimer> HeadlessTimers() {
    std::vector<HeadlessTimer> all;
    for (const core::Timer& t : core::Timers())
        all.push_back(
            {t.Window, t.Id, t.Period, t.Procedure, t.DueUs * (HeadlessClockFrequency / 1000000)});
    return all;
}

bool HeadlessTimerLive(HWND window, UINT_PTR id) {
    const auto& timers = core::Timers();
    return std::any_of(timers.begin(), timers.end(),
                       [&](const core::Timer& t) { return t.Window == window && t.Id == id; });
}

bool HeadlessFireTimer(HWND window, UINT_PTR id) {
    return core::FireTimer(window, id);
}

std::vector<PALETTEENTRY> HeadlessPaletteEntries(HPALETTE palette) {
    core::PaletteRecord* p = Palette(palette);
    return p ? p->Entries : std::vector<PALETTEENTRY>{};
}
bool HeadlessObjectLive(HGDIOBJ object) {
    for (core::Kind k : {core::Kind::Palette, core::Kind::Brush})
        if (core::FindObject(object, k) != nullptr) return true;
    return false;
}
int HeadlessPaletteAnimations(HPALETTE palette) {
    return Palette(palette) ? Palette(palette)->Animations : 0;
}
int HeadlessPaletteRealizations(HPALETTE palette) {
    return Palette(palette) ? Palette(palette)->Realizations : 0;
}
int HeadlessLiveDeviceContexts() {
    return core::CountObjects(core::Kind::DeviceContext);
}
BITMAPINFOHEADER HeadlessLastBitmapHeader() {
    return Get().LastBitmapHeader;
}
std::vector<RGBQUAD> HeadlessLastColourTable() {
    return Get().LastColourTable;
}

bool HeadlessMenuLive(HMENU menu) {
    return core::Find<core::MenuRecord>(menu, core::Kind::Menu) != nullptr;
}
int HeadlessMenuResource(HMENU menu) {
    core::MenuRecord* m = core::Find<core::MenuRecord>(menu, core::Kind::Menu);
    return m ? m->ResourceId : 0;
}

bool HeadlessClassRegistered(const char* name, WNDCLASSA* fields) {
    const core::WindowClass* c = core::FindClass(name);
    if (c == nullptr || c->BuiltIn) return false;
    if (fields != nullptr) {
        *fields = c->Fields;
        fields->lpszClassName = c->Name.c_str();
    }
    return true;
}

void HeadlessSetOpenFileScript(HeadlessOpenFileScript script) {
    Get().Script = std::move(script);
}
const std::vector<HeadlessOpenFileCall>& HeadlessOpenFileCalls() {
    return Get().Calls;
}
UINT_PTR HeadlessClickDialogButton(HWND dialog, int id) {
    return core::ClickDialogItem(dialog, id);
}
int HeadlessDialogCheck(HWND dialog, int id) {
    core::WindowRecord* w = core::AnyWindow(dialog);
    auto it = w != nullptr ? w->Checks.find(id) : std::map<int, int>::iterator{};
    return (w == nullptr || it == w->Checks.end()) ? -1 : it->second;
}
