// Unit tests end the process by exception, so that a test can check what a fatal error or
// an orderly end did and then carry on.
#include "app/diagnostics.h"

void EndProcess(int status) { throw ProcessEnded{status}; }
