#include <cstdio>
#include <cstdlib>

#include "app/diagnostics.h"

void EndProcess(int status, const FatalRecord*) {
    RestoreTimerResolution();
    fflush(nullptr);
    std::exit(status);
}
