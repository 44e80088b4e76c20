// Program start: from defaults and the command line to the message loop and CleanUp.
#pragma once

#include "platform/win32.h"

// The main routine; its result is the process exit status. argc/argv are the C runtime's
// parsed arguments (options come from them, not from the command-line text).
int KinaroMain(HINSTANCE instance, HINSTANCE prevInstance, int cmdShow, int argc, char** argv);

// The open-file dialog's hook: the two display options and the Help button.
UINT_PTR CALLBACK OpenFileHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
