// rmtool: inspect, check, export and make Raster Metafiles from the command line.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "shell/diagnostics.h"
#include "tools/rmtool/command_args.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/thumbnail.h"
#include "tools/rmtool/tool_common.h"

static const char* const MainUsage =
    "Usage: rmtool COMMAND [ARGUMENTS]\n"
    "\n"
    "Inspect, check, export and make Raster Metafiles (.rm).\n"
    "\n"
    "Commands:\n"
    "  info FILE [--json]             one row per frame: position, size, depth, colour table,\n"
    "                                 fill values, blocks of the pixel stream; and totals\n"
    "  check FILE                     decode every frame as the viewer does; status 0 when\n"
    "                                 all is well, else the viewer's error\n"
    "  export FILE --png DIR          one indexed PNG per frame\n"
    "  export FILE --png -            the same PNGs one after another on standard output\n"
    "  export FILE --gif OUT.gif      one animated GIF\n"
    "  encode OUT.rm INPUT...         make a metafile from PNG files and animated GIFs; the\n"
    "                                 input - is a stream of PNGs on standard input\n"
    "  cut IN.rm OUT.rm -f a,b,c      copy the selected frames into a new metafile\n"
    "  join OUT.rm IN.rm...           copy the frames of several metafiles into one\n"
    "  thumbnail FILE OUT.png         the first frame reduced to fit SIZE x SIZE (-s SIZE,\n"
    "                                 default 256), a PNG for file managers\n"
    "\n"
    "To and from video, through ffmpeg:\n"
    "  ffmpeg -i clip.mp4 -f image2pipe -c:v png - | rmtool encode clip.rm -\n"
    "  rmtool export movie.rm --png - | ffmpeg -f image2pipe -framerate 25 -i - movie.mp4\n"
    "\n"
    "info, check and export take the viewer's frame selection and adjustments (cut takes -f\n"
    "and -max):\n"
    "  -f first,last,skip  -w n  -s  -m  -g  -max n\n"
    "\n"
    "Run 'rmtool COMMAND --help' for the options of one command.\n"
    "Exit status: 0 success, 1 failure (a damaged file, a file that cannot be read or\n"
    "written), 2 a wrong command line.\n";

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* usage;
};

const Command Commands[] = {
    {"info", RunInfo, InfoUsage},
    {"check", RunCheck, CheckUsage},
    {"export", RunExport, ExportUsage},
    {"encode", RunEncode, EncodeUsage},
    {"cut", RunCut, CutUsage},
    {"join", RunJoin, JoinUsage},
    {"thumbnail", RunThumbnail, ThumbnailUsage},
};

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands)
        if (name == c.name) return &c;
    ThrowUsageError("no command '" + name + "' (see rmtool --help)");
}

// The command named first runs with the arguments after its name; --help before "--", or
// "rmtool help COMMAND", prints its usage instead.
int RunCommandLine(const std::vector<std::string>& args) {
    const std::string& name = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (name == "--help" || name == "-h" || name == "help") {
        fputs(name == "help" && !rest.empty() ? FindCommand(rest[0])->usage : MainUsage, stdout);
        return 0;
    }
    const Command* command = FindCommand(name);
    if (AsksForHelp(rest)) {
        fputs(command->usage, stdout);
        return 0;
    }
    return command->run(rest);
}

// Every failure ends here as one line on stderr and the exit status.
int Report(const char* message, int status) {
    fflush(stdout);
    fprintf(stderr, "rmtool: %s\n", message);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    RemoveTempFilesOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        fputs(MainUsage, stderr);
        return 2;
    }
    try {
        return RunCommandLine(args);
    } catch (const ToolError& error) {
        return Report(error.message.c_str(), error.status);
    } catch (const ProcessEnded&) {
        // Every call into the viewer's code catches its end; this is a last line of defence.
        return Report("the viewer's code ended the work unexpectedly", 1);
    } catch (const std::bad_alloc&) {
        return Report("out of memory", 1);
    } catch (const std::exception& e) {
        return Report(e.what(), 1);
    }
}
