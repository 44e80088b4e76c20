// The fuzz target and the replayer read files that end in fatal errors by design: ending
// the process throws instead, and the reader is started afresh for the next input.
#include "app/diagnostics.h"

void EndProcess(int status) { throw ProcessEnded{status}; }
