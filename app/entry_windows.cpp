// The process entry on Windows: the module handle, no previous instance, the show command
// the process was started with, and the C runtime's parsed arguments (the command-line
// text itself is not used).
#include <cstdlib>

#include "app/main_routine.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int showCommand =
        (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    return KinaroMain(instance, nullptr, showCommand, __argc, __argv);
}
