#include "tools/rmtool/thumbnail.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tools/rmtool/command_args.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/png_io.h"
#include "tools/rmtool/viewer_reader.h"
#include "tools/thumbnail/area_reduction.h"

const char* const ThumbnailUsage =
    "Usage: rmtool thumbnail [-s SIZE] FILE OUT.png\n"
    "\n"
    "Writes the first frame as the viewer shows it (with its own colour table) into OUT.png,\n"
    "an RGB PNG, reduced to fit SIZE x SIZE pixels with its aspect kept, each pixel the\n"
    "average of the area of the frame it covers. A frame that fits already keeps its size:\n"
    "nothing is enlarged. Only the blocks of the first frame are read.\n"
    "  -s SIZE    the largest width and height (default 256)\n"
    "OUT.png is replaced when it exists (file managers hand over a name they made); it is\n"
    "written whole or not at all. A damaged first frame: one line on stderr, status 1.\n"
    "This is the command of the desktop's thumbnailer entry:\n"
    "  rmtool thumbnail -s %s %i %o\n";

namespace {

constexpr int32_t DefaultSize = 256;

int32_t ParseSize(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > INT32_MAX)
        ThrowUsageError("thumbnail: -s takes a size in pixels, 1 or more (not '" + text + "')");
    return static_cast<int32_t>(value);
}

}  // namespace

int RunThumbnail(const std::vector<std::string>& args) {
    const CommandArgs parsed =
        ParseCommandArgs("thumbnail", args, {{"-s", OptionKind::Value, "a size"}});
    const int32_t box = parsed.Has("-s") ? ParseSize(parsed.Value("-s")) : DefaultSize;
    const std::vector<std::string>& names = parsed.files;
    if (names.size() != 2)
        ThrowUsageError(
            "thumbnail: give one metafile and one PNG to write (see rmtool thumbnail --help)");
    RefuseStandardOutput("thumbnail", names[1], "PNG");

    // No viewer options: the first frame with its own colour table, in colour.
    const std::string path = OpenWithViewer(names[0], {}, SourceUse::ForwardOnly);
    // The frame's blocks are read in order: fewer, larger reads (nothing has been read yet).
    static char readBuffer[1 << 16];
    setvbuf(State.MetafileStream, readBuffer, _IOFBF, sizeof readBuffer);
    ScopedImage image;
    InitImage(image);
    ReadOutcome outcome;
    const FetchResult result = FetchImage(0, image, nullptr, &outcome.report);
    if (result != FetchResult::Decoded) {
        outcome.failed = true;
        outcome.failedFileImage = State.FileImageNumber[0];
        if (result == FetchResult::End) outcome.report.text = "Error: no frame";
        ThrowToolError(DescribeFailure(path, outcome));
    }
    if (image.IW <= 0 || image.IH <= 0)
        ThrowToolError(path + ": the first frame is " + std::to_string(image.IW) + "x" +
                       std::to_string(image.IH) + ": no picture");
    CheckImageArray(image);
    const Extent size = FitWithin(image.IW, image.IH, box);
    // File managers hand over a name they have already made: it is replaced.
    WriteRgbPng(names[1], size.width, size.height, ReduceByAreaAverage(image, size), true);
    return 0;
}
