// The process entry on Linux: the module handle, no previous instance, the default show
// command and the C runtime's arguments.
#include "app/main_routine.h"

int main(int argc, char** argv) {
    return KinaroMain(GetModuleHandleA(nullptr), nullptr, SW_SHOWDEFAULT, argc, argv);
}
