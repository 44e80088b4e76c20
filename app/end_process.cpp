#include <cstdio>
#include <cstdlib>

#include "app/diagnostics.h"

void EndProcess(int status) {
    RestoreTimerResolution();
    fflush(nullptr);
    std::exit(status);
}
