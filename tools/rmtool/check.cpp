#include <cstdio>

#include "tools/rmtool/command_args.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/viewer_reader.h"

const char* const CheckUsage =
    "Usage: rmtool check FILE [-f first,last,skip] [-w n] [-s|-m] [-g] [-max n]\n"
    "\n"
    "Decodes every selected frame with the viewer's reader. Ends with status 0 when all of\n"
    "them decode. Otherwise prints the error the viewer would end with, as its log writes it\n"
    "(the routine, \"Error: ...\", \"Raster Metafile Block Number = ...\"), on standard output,\n"
    "one line naming the file and the frame on standard error, and ends with status 1.\n"
    "The options select and adjust frames as the viewer's own do.\n";

int RunCheck(const std::vector<std::string>& args) {
    const CommandArgs parsed = ParseCommandArgs("check", args, ViewerOptionRules);
    const std::string path =
        OpenWithViewer(parsed.OneMetafile("check"), parsed.viewerArgs, SourceUse::ForwardOnly);
    const FileSurvey survey = SurveyFile();
    ReadOutcome outcome = ReadSelectedImages("check", SelectedImageCount(survey.headerBlocks),
                                             [](const Image&, const FrameLayout&) {});
    if (!outcome.failed) {
        printf("%s: %u frame%s decode%s\n", path.c_str(), outcome.decoded,
               outcome.decoded == 1 ? "" : "s", outcome.decoded == 1 ? "s" : "");
        return 0;
    }
    printf("%s: %u frame%s decoded, then:\n", path.c_str(), outcome.decoded,
           outcome.decoded == 1 ? "" : "s");
    printf("Fatal error in routine \"%s\"\n%s\nRaster Metafile Block Number = %ld\n",
           outcome.report.routine.c_str(), outcome.report.text.c_str(),
           (long)outcome.report.blockNumber);
    fflush(stdout);
    ThrowToolError(DescribeFailure(path, outcome));
}
