#include <cstdio>
#include <cstdlib>

#include "app/diagnostics.h"
#include "app/viewer_state.h"

void ReleaseBeforeFatalBox() {
    FreeStateArrays();
}

void EndProcess(int status, const FatalRecord*) {
    RestoreTimerResolution();
    fflush(nullptr);
    std::exit(status);
}
