#include "tools/rmtool/viewer_reader.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "app/command_line.h"
#include "app/diagnostics.h"
#include "platform/headless/headless_control.h"
#include "rm/block_reader.h"
#include "rm/frame_locator.h"

namespace {

enum class ValueRule { None, Exists, ExistsNotOption };

struct ViewerOption {
    const char* name;
    ValueRule rule;
    const char* meaning;  // what a rejected value should have been
};

// The viewer options that make sense without a window, with the viewer's rule for taking
// the argument after them.
constexpr ViewerOption ViewerOptions[] = {
    {"-f", ValueRule::ExistsNotOption, "first,last,skip (three numbers, frames counted from 1)"},
    {"-w", ValueRule::Exists, "a number of pixels to add to every width"},
    {"-s", ValueRule::None, ""},
    {"-m", ValueRule::None, ""},
    {"-g", ValueRule::None, ""},
    {"-max", ValueRule::ExistsNotOption, "the most frames to select"},
    {"-p", ValueRule::ExistsNotOption, "a pause in milliseconds"},
};

const ViewerOption* FindViewerOption(const std::string& arg) {
    for (const ViewerOption& option : ViewerOptions)
        if (strcasecmp(arg.c_str(), option.name) == 0) return &option;
    return nullptr;
}

std::string Path;      // the metafile being read
FILE* Peek = nullptr;  // a second handle on it, to look at blocks the reader passed
std::deque<std::string> ArgumentStore;  // ParseCommandLine may keep pointers into argv

// Runs the viewer's ParseCommandLine over `args`; false when it ended the process.
bool ParseWithViewer(const std::vector<std::string>& args) {
    const size_t first = ArgumentStore.size();
    ArgumentStore.emplace_back("rmtool");
    ArgumentStore.insert(ArgumentStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (size_t i = first; i < ArgumentStore.size(); ++i) argv.push_back(ArgumentStore[i].data());
    argv.push_back(nullptr);
    try {
        ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
    } catch (const ProcessEnded&) {
        return false;
    }
    return true;
}

void ResetViewerState() {
    FreeStateArrays();
    State = ViewerState{};
    HeadlessReset();
    Headless().Quiet = true;
    InitDefaults();
}

}  // namespace

bool ReadAt(int64_t offset, uint8_t* bytes, size_t count) {
    return Peek != nullptr &&
           pread(fileno(Peek), bytes, count, offset) == static_cast<ssize_t>(count);
}

size_t TakeViewerOption(const std::vector<std::string>& args, size_t i,
                        std::vector<std::string>& viewerArgs) {
    const ViewerOption* option = FindViewerOption(args[i]);
    if (option == nullptr) return 0;
    viewerArgs.push_back(args[i]);
    bool hasNext = i + 1 < args.size();
    bool take = option->rule == ValueRule::Exists ? hasNext
                : option->rule == ValueRule::ExistsNotOption
                    ? hasNext && !args[i + 1].empty() && args[i + 1][0] != '-'
                    : false;
    if (!take) return 1;
    viewerArgs.push_back(args[i + 1]);
    return 2;
}

std::string OpenWithViewer(const std::string& asked, const std::vector<std::string>& viewerArgs) {
    ResetViewerState();
    if (!ParseWithViewer(viewerArgs)) {
        // Find the option the viewer turned down by trying each on its own.
        for (size_t i = 0; i < viewerArgs.size();) {
            std::vector<std::string> one;
            size_t used = TakeViewerOption(viewerArgs, i, one);
            if (used == 0) used = 1, one.push_back(viewerArgs[i]);
            ResetViewerState();
            if (!ParseWithViewer(one)) {
                const ViewerOption* option = FindViewerOption(one[0]);
                std::string given = one.size() > 1 ? " " + one[1] : " without a value";
                FailUsage("option " + one[0] + given + " is not accepted by the viewer" +
                          (option && *option->meaning
                               ? std::string(" (it takes ") + option->meaning + ")"
                               : std::string()));
            }
            i += used;
        }
        FailUsage("the viewer does not accept these options together");
    }
    if (State.FileImageNumber == nullptr)
        Fail("the viewer's command line built no frame selection");

    std::string path = asked;
    FILE* stream = fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        int error = errno;
        path = asked + ".rm";
        stream = fopen(path.c_str(), "rb");
        if (stream == nullptr) Fail(asked + ": cannot open: " + strerror(error));
    }
    struct stat info;
    if (fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(stream);
        Fail(path + ": is a directory");
    }
    State.MetafileStream = stream;
    Path = path;
    if (Peek != nullptr) fclose(Peek);
    Peek = fopen(path.c_str(), "rb");
    return path;
}

FetchResult FetchImage(uint32_t index, Image& image, FrameLayout* layout, FatalRecord* report) {
    const bool lutWillBeRead = State.LUTLoaded == 0;
    const uint32_t fileImage = index < State.MaxFrames ? State.FileImageNumber[index] : AllOnes;
    int32_t result = -1;
    std::optional<FatalRecord> fatal;
    try {
        result = GetFileImage(image, index);
        // The viewer's playback stops here with this message when it cannot show image 0.
        if (result == -1 && index == 0)
            FatalError("DoImage", "File is not in Raster Metafile format", 0);
    } catch (const ProcessEnded& ended) {
        // The reader ends only through FatalError.
        fatal =
            ended.fatal ? *ended.fatal : FatalRecord{"", "Error: (no message)", State.BlockNumber};
    }
    if (fatal) {
        if (report != nullptr) *report = *fatal;
        return FetchResult::Failed;
    }
    if (result == -1) return FetchResult::End;

    if (layout != nullptr) {
        layout->index = index;
        layout->fileImage = fileImage;
        layout->headerOffset = State.ImageFilePositions[fileImage];
        layout->headerBlock = static_cast<int32_t>(layout->headerOffset / BlockSize);
        layout->lutBlocks = image.ColorFlag != 0 ? 3 : 1;
        layout->lutRead = lutWillBeRead;
        layout->streamLastBlock = State.BlockNumber;
        // The reader looks for the start word right behind the LUT blocks it read, or right
        // behind the header when it read none; so does this count.
        int32_t first = layout->headerBlock + 1 + (lutWillBeRead ? layout->lutBlocks : 0);
        layout->streamFirstBlock = layout->streamLastBlock;
        for (int32_t b = first; b < layout->streamLastBlock; ++b) {
            uint8_t start[2];
            if (ReadAt(int64_t{b} * BlockSize, start, 2) && start[1] == 0x40) {
                layout->streamFirstBlock = b;
                break;
            }
        }
    }
    return FetchResult::Decoded;
}

FileSurvey SurveyFile(const std::string& path) {
    FileSurvey survey;
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) return survey;
    std::vector<uint8_t> chunk(BlockSize * 256);
    size_t got;
    while ((got = fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        survey.bytes += static_cast<int64_t>(got);
        for (size_t at = 0; at + BlockSize <= got; at += BlockSize)
            if (chunk[at] == 0 && chunk[at + 1] == 0 && chunk[at + 2] == 0 && chunk[at + 3] == 0xE0)
                ++survey.headerBlocks;
        if (got < chunk.size()) break;
    }
    fclose(in);
    survey.blocks = survey.bytes / BlockSize;
    survey.trailingBytes = survey.bytes % BlockSize;
    return survey;
}

uint32_t SelectedImageCount(int64_t headerBlocks) {
    uint32_t count = 0;
    for (uint32_t k = 0; k < State.MaxFrames; ++k) {
        uint32_t n = State.FileImageNumber[k];
        if (n == AllOnes) break;
        if (int64_t{n} < headerBlocks) ++count;
    }
    return count;
}

void CheckImageArray(const Image& image) {
    const size_t needed =
        static_cast<size_t>(image.IH - 1) * image.ScanLineWidth + static_cast<size_t>(image.IW);
    if (image.Pixels == nullptr || image.ScanLineWidth < image.IW || image.PixelsSize < needed)
        Fail("the reader left an image array too small for " + std::to_string(image.IW) + "x" +
             std::to_string(image.IH));
}

IndexedFrame FrameFromImage(const Image& image) {
    IndexedFrame frame;
    if (image.IW <= 0 || image.IH <= 0 || image.Pixels == nullptr) return frame;
    CheckImageArray(image);
    frame.width = image.IW;
    frame.height = image.IH;
    frame.pixels.resize(static_cast<size_t>(image.IW) * image.IH);
    uint8_t highest = 0;
    for (int32_t y = 0; y < image.IH; ++y) {
        // Row 0 of the array is the bottom row on screen.
        const uint8_t* row =
            image.Pixels + static_cast<size_t>(image.IH - 1 - y) * image.ScanLineWidth;
        uint8_t* out = frame.pixels.data() + static_cast<size_t>(y) * image.IW;
        memcpy(out, row, image.IW);
        highest = std::max(highest, *std::max_element(out, out + image.IW));
    }
    size_t entries = std::max<size_t>(image.LUTSize, size_t{highest} + 1);
    frame.palette.assign(entries, Rgb{0, 0, 0});
    for (size_t i = 0; i < image.LUTSize && image.LUT != nullptr; ++i)
        frame.palette[i] = Rgb{image.LUT[i].Red, image.LUT[i].Green, image.LUT[i].Blue};
    return frame;
}

std::string DescribeFailure(const std::string& path, const ReadOutcome& outcome) {
    // Some of the viewer's messages run over two lines ("...\n\tTry setting ..."); keep one.
    const std::string& message = outcome.report.text;
    std::string text;
    for (size_t i = 0; i < message.size(); ++i) {
        char c = message[i];
        if (c == '\n' && i + 1 < message.size() && message[i + 1] == '\t') ++i;
        text += c == '\n' || c == '\t' ? ' ' : c;
    }
    std::string where = "image " + std::to_string(outcome.failedIndex);
    if (outcome.failedFileImage != AllOnes)
        where += " (file image " + std::to_string(outcome.failedFileImage) + ")";
    return path + ": " + where + ": " + text + " (routine \"" + outcome.report.routine +
           "\", Raster Metafile Block Number = " + std::to_string(outcome.report.blockNumber) + ")";
}
