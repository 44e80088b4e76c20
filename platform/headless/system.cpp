// Message boxes and system information of the headless backend.
#include <cstdio>

#include "platform/headless/headless_control.h"
#include "platform/win32.h"

namespace {
std::vector<HeadlessBox> boxes;
bool quiet = false;
DWORD version = 0x0A00;  // a current system: top bit clear
int mouseButtons = 3;
}  // namespace

const std::vector<HeadlessBox>& HeadlessBoxes() { return boxes; }
void HeadlessSetQuiet(bool q) { quiet = q; }
void HeadlessSetVersion(DWORD v) { version = v; }
void HeadlessSetMouseButtons(int buttons) { mouseButtons = buttons; }

void HeadlessResetSystem() {
    boxes.clear();
    version = 0x0A00;
    mouseButtons = 3;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
    if (!quiet) {
        fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
        fflush(stderr);
    }
    return IDOK;
}

DWORD WINAPI GetVersion() { return version; }

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CMOUSEBUTTONS: return mouseButtons;
        case SM_CXFRAME: return 4;
        case SM_CYFRAME: return 4;
        case SM_CYCAPTION: return 23;
        case SM_CYMENU: return 20;
        default: return 0;
    }
}

DWORD WINAPI GetLastError() { return 0; }

HINSTANCE WINAPI GetModuleHandleA(LPCSTR) {
    static int module;
    return reinterpret_cast<HINSTANCE>(&module);
}
