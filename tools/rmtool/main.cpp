// rmtool: inspect, check, export and make Raster Metafiles from the command line.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "shell/diagnostics.h"
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

int main(int argc, char** argv) {
    RemoveTempFilesOnSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        fputs(MainUsage, stderr);
        return 2;
    }
    const std::string command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    struct Entry {
        const char* name;
        int (*run)(const std::vector<std::string>&);
        const char* usage;
    };
    const Entry commands[] = {
        {"info", RunInfo, InfoUsage},
        {"check", RunCheck, CheckUsage},
        {"export", RunExport, ExportUsage},
        {"encode", RunEncode, EncodeUsage},
        {"cut", RunCut, CutUsage},
        {"join", RunJoin, JoinUsage},
        {"thumbnail", RunThumbnail, ThumbnailUsage},
    };
    try {
        if (IsHelp(command) || command == "help") {
            if (command == "help" && !rest.empty()) {
                for (const Entry& e : commands)
                    if (rest[0] == e.name) {
                        fputs(e.usage, stdout);
                        return 0;
                    }
                FailUsage("no command '" + rest[0] + "' (see rmtool --help)");
            }
            fputs(MainUsage, stdout);
            return 0;
        }
        for (const Entry& e : commands) {
            if (command != e.name) continue;
            for (const std::string& a : rest) {
                if (a == "--") break;
                if (IsHelp(a)) {
                    fputs(e.usage, stdout);
                    return 0;
                }
            }
            return e.run(rest);
        }
        FailUsage("no command '" + command + "' (see rmtool --help)");
    } catch (const ToolError& error) {
        fflush(stdout);
        fprintf(stderr, "rmtool: %s\n", error.message.c_str());
        return error.status;
    } catch (const ProcessEnded&) {
        // Every call into the viewer's code catches its end; this is a last line of defence.
        fflush(stdout);
        fprintf(stderr, "rmtool: the viewer's code ended the work unexpectedly\n");
        return 1;
    } catch (const std::bad_alloc&) {
        fflush(stdout);
        fprintf(stderr, "rmtool: out of memory\n");
        return 1;
    } catch (const std::exception& e) {
        fflush(stdout);
        fprintf(stderr, "rmtool: %s\n", e.what());
        return 1;
    }
}
