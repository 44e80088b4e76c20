// The reader ends the viewer through FatalError and EndProcess. In rmtool the end throws, so
// that the command can report the viewer's message and then end with its own status.
#include "app/diagnostics.h"

void EndProcess(int status) { throw ProcessEnded{status}; }
