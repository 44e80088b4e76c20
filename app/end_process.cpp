#include <cstdio>
#include <cstdlib>

#include "app/diagnostics.h"

void EndProcess(int status, const FatalRecord*) {
    fflush(nullptr);
    std::exit(status);
}
