#include "app/main_routine.h"

#include "app/command_line.h"
#include "app/diagnostics.h"
#include "app/viewer_state.h"

int KinaroMain(HINSTANCE instance, HINSTANCE prevInstance, int cmdShow, int argc, char** argv) {
    State.Instance = instance;
    State.PrevInstance = prevInstance;
    State.CmdShow = cmdShow;
    InitDefaults();
    ParseCommandLine(argc, argv);
    return 0;
}
