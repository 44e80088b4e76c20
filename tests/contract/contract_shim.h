// The two things the contract tests need from a backend beyond platform/win32.h.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Lets at least `milliseconds` pass on the clock behind the timers.
void LetTimePass(int milliseconds);
// A client pixel of a shown window (0x00RRGGBB), as the desktop shows it.
uint32_t ClientPixel(HWND window, const char* title, int x, int y);
