// Windows, menus and GDI objects of the headless backend (to be grown into a full
// in-memory desktop).
#include "platform/headless/headless_control.h"
#include "platform/win32.h"

void HeadlessResetSystem();

void HeadlessReset() { HeadlessResetSystem(); }

BOOL WINAPI DestroyWindow(HWND window) { return window != nullptr; }
BOOL WINAPI DeleteObject(HGDIOBJ object) { return object != nullptr; }
BOOL WINAPI DestroyMenu(HMENU menu) { return menu != nullptr; }
