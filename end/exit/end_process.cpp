#include <cstdio>
#include <cstdlib>

#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

void ReleaseBeforeFatalBox() {
    FreeStateArrays();
}

void EndProcess(int status, const FatalRecord*) {
    RestoreTimerResolution();
    fflush(nullptr);
    std::exit(status);
}
