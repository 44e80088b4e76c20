#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "tools/rmtool/command_args.h"
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

// Where the frames go, from the command line.
struct ExportTargets {
    std::string pngDir;  // "-": standard output
    std::string gifPath;
    bool force = false;
    bool delayGiven = false;  // -p; otherwise 100 ms
    bool PngStream() const { return pngDir == "-"; }
};

ExportTargets TargetsOf(const CommandArgs& parsed) {
    ExportTargets targets;
    targets.pngDir = parsed.Value("--png");
    targets.gifPath = parsed.Value("--gif");
    targets.force = parsed.Has("--force");
    if (targets.pngDir.empty() && targets.gifPath.empty())
        ThrowUsageError("export: say where to: --png DIR or --gif OUT.gif");
    targets.delayGiven = parsed.HasViewerArg("-p");
    // "--png -": one PNG after another on standard output, for a pipe into a video encoder.
    if (targets.PngStream() && isatty(STDOUT_FILENO))
        ThrowUsageError(
            "export: --png - writes PNG data; send it to a pipe or a file, not a terminal");
    return targets;
}

// Writes each frame it is given to the targets: a PNG file or a PNG on the stream, and a
// frame of the GIF.
class FrameWriter {
   public:
    FrameWriter(const std::string& path, const ExportTargets& targets, int delayCs)
        : path_(path),
          targets_(targets),
          delayCs_(delayCs),
          stem_(std::filesystem::path(path).stem().string()),
          folderReady_(targets.pngDir.empty() || targets.PngStream()) {
        if (stem_.empty()) stem_ = "frame";
    }
    void operator()(const Image& image, const FrameLayout& layout);
    void Finish() {
        if (gif_) gif_->Finish();
    }
    uint32_t Written() const { return written_; }

   private:
    void MakeFolder();
    void WriteToGif(const IndexedFrame& frame);
    std::string path_;
    const ExportTargets& targets_;
    int delayCs_;
    std::string stem_;
    // The folder is made once the file has given a frame: a file that is no metafile leaves
    // nothing behind.
    bool folderReady_;
    std::unique_ptr<GifWriter> gif_;
    int32_t screenW_ = 0, screenH_ = 0;
    uint32_t written_ = 0;
};

void FrameWriter::MakeFolder() {
    std::error_code error;
    std::filesystem::create_directories(targets_.pngDir, error);
    if (error || !std::filesystem::is_directory(targets_.pngDir))
        ThrowToolError(targets_.pngDir + ": cannot make the folder" +
                       (error ? ": " + error.message() : ""));
    folderReady_ = true;
}

void FrameWriter::WriteToGif(const IndexedFrame& frame) {
    if (!gif_) {
        screenW_ = frame.width;
        screenH_ = frame.height;
        gif_ = std::make_unique<GifWriter>(targets_.gifPath, screenW_, screenH_, targets_.force);
    }
    gif_->AddFrame(FitToScreen(frame, screenW_, screenH_), delayCs_);
}

void FrameWriter::operator()(const Image& image, const FrameLayout& layout) {
    IndexedFrame frame = FrameFromImage(image);
    if (frame.width <= 0 || frame.height <= 0)
        ThrowToolError(path_ + ": image " + std::to_string(layout.index) + " (file image " +
                       std::to_string(layout.fileImage) + ") is " + std::to_string(image.IW) + "x" +
                       std::to_string(image.IH) + ": no picture to export");
    if (targets_.PngStream()) {
        WritePngToStream(stdout, frame, "stdout");
    } else if (!targets_.pngDir.empty()) {
        if (!folderReady_) MakeFolder();
        char name[32];
        snprintf(name, sizeof name, "-%04u.png", layout.fileImage);
        WritePng((std::filesystem::path(targets_.pngDir) / (stem_ + name)).string(), frame,
                 targets_.force);
    }
    if (!targets_.gifPath.empty()) WriteToGif(frame);
    ++written_;
}

// With the frames on standard output, the summary goes to standard error.
void PrintSummary(const std::string& path, const ExportTargets& targets, uint32_t written,
                  int delayCs) {
    FILE* summary = targets.PngStream() ? stderr : stdout;
    if (targets.PngStream())
        fprintf(stderr, "%s: %u PNG image%s on standard output\n", path.c_str(), written,
                written == 1 ? "" : "s");
    else if (!targets.pngDir.empty())
        printf("%s: %u PNG file%s in %s\n", path.c_str(), written, written == 1 ? "" : "s",
               targets.pngDir.c_str());
    if (!targets.gifPath.empty())
        fprintf(summary, "%s: %u frame%s in %s (%d ms a frame)\n", path.c_str(), written,
                written == 1 ? "" : "s", targets.gifPath.c_str(), delayCs * 10);
}

}  // namespace

int RunExport(const std::vector<std::string>& args) {
    std::vector<OptionRule> rules = ViewerOptionRules;
    rules.insert(rules.end(), {{"--force", OptionKind::Flag},
                               {"--png", OptionKind::Value},
                               {"--gif", OptionKind::Value}});
    const CommandArgs parsed = ParseCommandArgs("export", args, rules);
    const std::string asked = parsed.OneMetafile("export");
    const ExportTargets targets = TargetsOf(parsed);
    const std::string path = OpenWithViewer(asked, parsed.viewerArgs, SourceUse::ForwardOnly);
    const int32_t delayMs = targets.delayGiven ? State.Wait : 100;
    // GIF keeps hundredths of a second in 16 bits.
    const int delayCs = delayMs <= 0 ? 0 : std::min<int64_t>((int64_t{delayMs} + 5) / 10, 65535);
    const FileSurvey survey = SurveyFile();
    FrameWriter writer(path, targets, delayCs);
    ReadOutcome outcome =
        ReadSelectedImages("export", SelectedImageCount(survey.headerBlocks), std::ref(writer));
    if (outcome.failed) ThrowToolError(DescribeFailure(path, outcome));
    writer.Finish();
    PrintSummary(path, targets, writer.Written(), delayCs);
    return 0;
}
