#include "app/command_line.h"
const char* ParseCommandLine(int, char**) { return nullptr; }
