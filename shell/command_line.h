// The command line: options into ViewerState settings, the one metafile name, and the
// FileImageNumber table (the viewing sequence).
#pragma once

// Returns the metafile name (an element of argv, not copied) or nullptr. Ends the process
// itself on -help, -v and every command-line error.
const char* ParseCommandLine(int argc, char** argv);
