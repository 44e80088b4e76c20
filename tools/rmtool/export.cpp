#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "tools/rmtool/commands.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"
#include "tools/rmtool/viewer_reader.h"

const char* const ExportUsage =
    "Usage: rmtool export FILE --png DIR|- [--gif OUT.gif] [-p ms] [--force]\n"
    "                          [-f first,last,skip] [-w n] [-s|-m] [-g] [-max n]\n"
    "\n"
    "Decodes every selected frame with the viewer's reader and writes it out:\n"
    "  --png DIR     one 8-bit palette PNG per frame, DIR/NAME-NNNN.png (NNNN the file image\n"
    "                number), with the frame's own colour table and its exact colour indices;\n"
    "                DIR is made when missing, once the first frame has been read\n"
    "  --png -       the same PNGs one after another on standard output, a stream that\n"
    "                ffmpeg reads with -f image2pipe; frames of another size stay as they are:\n"
    "                  rmtool export movie.rm --png - | ffmpeg -f image2pipe -framerate 25 -i - "
    "movie.mp4\n"
    "  --gif OUT     one animated GIF, looping, with a local colour table per frame. It takes\n"
    "                the size of the first frame, and later frames of another size are centred\n"
    "                on black and cut to it, as the viewer's window shows them\n"
    "  -p ms         GIF frame delay in milliseconds (default 100; GIF keeps hundredths)\n"
    "  -g            grey colour tables, as the viewer's -g\n"
    "  -s            every frame with the first frame's colour table, as the viewer's -s\n"
    "  --force       replace files that exist (otherwise they are left alone and the export\n"
    "                stops with an error)\n"
    "Colour index 0 is black, as the viewer always shows it. Files appear whole or not at all.\n";

namespace {

// The frame as the viewer's window shows it when the window was sized for the first frame:
// centred (the viewer's placement arithmetic) on black, cut at the edges.
IndexedFrame FitToScreen(const IndexedFrame& frame, int32_t width, int32_t height) {
    if (frame.width == width && frame.height == height) return frame;
    IndexedFrame out;
    out.width = width;
    out.height = height;
    out.palette = frame.palette;
    out.pixels.assign(static_cast<size_t>(width) * height, 0);
    const int32_t left = (width - frame.width) / 2;
    const int32_t top = (height - frame.height) / 2;
    for (int32_t y = 0; y < frame.height; ++y) {
        int32_t ty = top + y;
        if (ty < 0 || ty >= height) continue;
        for (int32_t x = 0; x < frame.width; ++x) {
            int32_t tx = left + x;
            if (tx < 0 || tx >= width) continue;
            out.pixels[static_cast<size_t>(ty) * width + tx] =
                frame.pixels[static_cast<size_t>(y) * frame.width + x];
        }
    }
    return out;
}

}  // namespace

int RunExport(const std::vector<std::string>& args) {
    MetafileArgs parsed = SplitMetafileArgs("export", args, {"--force"}, {"--png", "--gif"});
    std::string pngDir, gifPath;
    bool force = false;
    for (size_t i = 0; i < parsed.own.size(); ++i) {
        if (parsed.own[i] == "--force")
            force = true;
        else if (parsed.own[i] == "--png")
            pngDir = parsed.own[++i];
        else if (parsed.own[i] == "--gif")
            gifPath = parsed.own[++i];
    }
    if (pngDir.empty() && gifPath.empty())
        FailUsage("export: say where to: --png DIR or --gif OUT.gif");
    bool delayGiven = false;
    for (const std::string& a : parsed.viewerArgs)
        if (strcasecmp(a.c_str(), "-p") == 0) delayGiven = true;

    // "--png -": one PNG after another on standard output, for a pipe into a video encoder.
    const bool pngStream = pngDir == "-";
    if (pngStream && isatty(STDOUT_FILENO))
        FailUsage("export: --png - writes PNG data; send it to a pipe or a file, not a terminal");
    parsed.path = OpenWithViewer(parsed.path, parsed.viewerArgs, SourceUse::ForwardOnly);
    const int32_t delayMs = delayGiven ? State.Wait : 100;
    // GIF keeps hundredths of a second in 16 bits.
    const int delayCs = delayMs <= 0 ? 0 : std::min<int64_t>((int64_t{delayMs} + 5) / 10, 65535);
    const FileSurvey survey = SurveyFile();

    std::string stem = std::filesystem::path(parsed.path).stem().string();
    if (stem.empty()) stem = "frame";
    // The folder is made once the file has given a frame: a file that is no metafile leaves
    // nothing behind.
    bool folderReady = pngDir.empty() || pngStream;
    auto makeFolder = [&] {
        std::error_code error;
        std::filesystem::create_directories(pngDir, error);
        if (error || !std::filesystem::is_directory(pngDir))
            Fail(pngDir + ": cannot make the folder" + (error ? ": " + error.message() : ""));
        folderReady = true;
    };

    std::unique_ptr<GifWriter> gif;
    int32_t screenW = 0, screenH = 0;
    uint32_t written = 0;
    auto onImage = [&](const Image& image, const FrameLayout& layout) {
        IndexedFrame frame = FrameFromImage(image);
        if (frame.width <= 0 || frame.height <= 0)
            Fail(parsed.path + ": image " + std::to_string(layout.index) + " (file image " +
                 std::to_string(layout.fileImage) + ") is " + std::to_string(image.IW) + "x" +
                 std::to_string(image.IH) + ": no picture to export");
        if (pngStream) {
            WritePngToStream(stdout, frame, "stdout");
        } else if (!pngDir.empty()) {
            if (!folderReady) makeFolder();
            char name[32];
            snprintf(name, sizeof name, "-%04u.png", layout.fileImage);
            WritePng((std::filesystem::path(pngDir) / (stem + name)).string(), frame, force);
        }
        if (!gifPath.empty()) {
            if (!gif) {
                screenW = frame.width;
                screenH = frame.height;
                gif = std::make_unique<GifWriter>(gifPath, screenW, screenH, force);
            }
            gif->AddFrame(FitToScreen(frame, screenW, screenH), delayCs);
        }
        ++written;
    };
    ReadOutcome outcome =
        ReadSelectedImages("export", SelectedImageCount(survey.headerBlocks), onImage);
    if (outcome.failed) Fail(DescribeFailure(parsed.path, outcome));
    if (gif) gif->Finish();
    // With the frames on standard output, the summary goes to standard error.
    FILE* summary = pngStream ? stderr : stdout;
    if (pngStream)
        fprintf(stderr, "%s: %u PNG image%s on standard output\n", parsed.path.c_str(), written,
                written == 1 ? "" : "s");
    else if (!pngDir.empty())
        printf("%s: %u PNG file%s in %s\n", parsed.path.c_str(), written, written == 1 ? "" : "s",
               pngDir.c_str());
    if (!gifPath.empty())
        fprintf(summary, "%s: %u frame%s in %s (%d ms a frame)\n", parsed.path.c_str(), written,
                written == 1 ? "" : "s", gifPath.c_str(), delayCs * 10);
    return 0;
}
