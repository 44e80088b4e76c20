// The reader ends the viewer through FatalError and EndProcess. In rmtool the end throws, so
// that the command can report the viewer's message and then end with its own status.
#include "app/diagnostics.h"

void EndProcess(int status) { throw ProcessEnded{status}; }

// The viewer's reader keeps what it allocates until the process ends (image arrays, tables,
// the frame positions), and so does the tool, which ends right after; a leak report at exit
// would only be noise. Reads and writes outside memory are still reported.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
