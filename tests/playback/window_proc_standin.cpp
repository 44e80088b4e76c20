// Linked into the engine's tests only while display/window_proc.cpp is missing from the
// tree: these tests drive DoImage and GetEvent directly and need nothing of the window
// procedure but its address for the window class.
#include "display/window_proc.h"

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
