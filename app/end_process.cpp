#include <cstdio>
#include <cstdlib>

#include "app/diagnostics.h"

void EndProcess(int status) {
    fflush(nullptr);
    std::exit(status);
}
