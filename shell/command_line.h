// The command line: options into ViewerState settings, the one metafile name, and the
// FileImageNumber table (the viewing sequence).
#pragma once

// Returns the metafile name (an element of argv, not copied) or nullptr. Ends the process
// itself on -help, -v and every command-line error.
const char* ParseCommandLine(int argc, char** argv);

// Where a command line stood when the parse ended the process over it: argv[option] is the
// option (or the extra name) it refused, with argv[option + 1] when it had taken that as the
// option's value. A frame count that cannot be (-max 0, or past the ceiling) is laid at the
// option that set it last. option 0: no argument to blame.
struct CommandLineRefusal {
    int option = 0;
    bool valueTaken = false;
};
// ParseCommandLine for a caller that reads the viewer's options without a window and names
// the refused one itself (rmtool): the same parse, noting in `where` what it is handling.
const char* ParseCommandLine(int argc, char** argv, CommandLineRefusal& where);
