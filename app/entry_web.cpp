// The process entry of the web page. The page's waits suspend main (Asyncify), so main has
// returned to the page long before the viewer ends: its status goes to exit explicitly.
#include <cstdlib>

#include "app/main_routine.h"

int main(int argc, char** argv) {
    std::exit(KinaroMain(GetModuleHandleA(nullptr), nullptr, SW_SHOWDEFAULT, argc, argv));
}
