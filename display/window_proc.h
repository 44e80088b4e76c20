// The window procedure and the message loop.
#pragma once

#include "platform/win32.h"

constexpr UINT_PTR AnimationTimerId = 101;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int EventLoop();
