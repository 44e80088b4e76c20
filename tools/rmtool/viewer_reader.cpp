#include "tools/rmtool/viewer_reader.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>

#include "format/metafile_format.h"
#include "platform/headless/headless_control.h"
#include "platform/source_file.h"
#include "rm/block_reader.h"
#include "rm/frame_locator.h"
#include "shell/command_line.h"
#include "shell/diagnostics.h"
#include "tools/rmtool/command_args.h"

namespace {

enum class ValueRule { None, Exists, ExistsNotOption };

struct ViewerOption {
    const char* name;
    ValueRule rule;
    const char* meaning;  // what a rejected value should have been
};

// The viewer options that make sense without a window, with the viewer's rule for taking
// the argument after them. The rule is restated here only to tell an option's value from the
// file name around it; the viewer's parser alone judges the value.
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

// A second descriptor on the open file (a dup, never a second open of the path), to look at
// blocks the reader passed without moving it; -1 for a pipe.
int Peek = -1;

// A pipe is read once, through this record: what a file survey and a look back at passed
// blocks would tell is noted as the blocks go by.
struct StreamRecord {
    int descriptor = -1;
    std::vector<uint8_t> pending;  // read while waiting for a writer, not yet handed on
    int64_t bytes = 0;
    int64_t headerBlocks = 0;
    std::vector<int32_t> startBlocks;  // blocks that begin a pixel stream, not yet passed for good
    uint8_t head[sizeof HeaderMarkerBytes] = {};
};
StreamRecord Record;
bool ReadingStream = false;
std::optional<FileSurvey> Survey;  // of the file now open, once made

bool BeginsWithHeaderMarker(const uint8_t* block) {
    return memcmp(block, HeaderMarkerBytes, sizeof HeaderMarkerBytes) == 0;
}

void NoteBytes(const uint8_t* data, size_t count) {
    while (count > 0) {
        const size_t inBlock = static_cast<size_t>(Record.bytes % BlockSize);
        const size_t take = std::min(count, BlockSize - inBlock);
        for (size_t k = inBlock; k < sizeof Record.head && k < inBlock + take; ++k)
            Record.head[k] = data[k - inBlock];
        Record.bytes += static_cast<int64_t>(take);
        data += take;
        count -= take;
        if (Record.bytes % BlockSize != 0) continue;
        const int64_t block = Record.bytes / BlockSize - 1;
        if (BeginsWithHeaderMarker(Record.head)) ++Record.headerBlocks;
        if (Record.head[1] == StartWordHighByte && block <= INT32_MAX)
            Record.startBlocks.push_back(static_cast<int32_t>(block));
    }
}

ssize_t ReadStream(void*, char* buffer, size_t size) {
    size_t got = 0;
    if (!Record.pending.empty()) {
        got = std::min(size, Record.pending.size());
        memcpy(buffer, Record.pending.data(), got);
        Record.pending.erase(Record.pending.begin(),
                             Record.pending.begin() + static_cast<ptrdiff_t>(got));
    } else {
        ssize_t n;
        do n = read(Record.descriptor, buffer, size);
        while (n < 0 && errno == EINTR);
        if (n < 0) return -1;
        got = static_cast<size_t>(n);
    }
    NoteBytes(reinterpret_cast<const uint8_t*>(buffer), got);
    return static_cast<ssize_t>(got);
}

int CloseStream(void*) {
    const int result = close(Record.descriptor);
    Record.descriptor = -1;
    return result;
}

// A named pipe opens at once (the open does not wait for a writer); give a writer that is
// about to come a moment, but no more: nobody may ever write to it.
void AwaitWriter(const std::string& path, int descriptor) {
    const int flags = fcntl(descriptor, F_GETFL);
    fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
    for (int waited = 0;; waited += 20) {
        uint8_t probe[BlockSize];
        const ssize_t n = read(descriptor, probe, sizeof probe);
        if (n > 0) Record.pending.assign(probe, probe + n);
        if (n > 0 || (n < 0 && errno == EAGAIN)) break;  // data, or a writer that has none yet
        if (n < 0 && errno != EINTR) break;              // the first real read will say why
        if (waited >= 500) {
            fcntl(descriptor, F_SETFL, flags);
            close(descriptor);
            ThrowToolError(path + ": a named pipe that nobody writes to");
        }
        usleep(20000);
    }
    fcntl(descriptor, F_SETFL, flags);
}

// The pipe as the reader's stream, noting every block it hands on.
FILE* RecordStream(const std::string& path, OpenedSource& source, bool named) {
    struct stat info;
    const int descriptor = dup(fileno(source.stream));
    fclose(source.stream);
    if (descriptor < 0) ThrowToolError(path + ": cannot read: " + strerror(errno));
    Record = StreamRecord{};
    Record.descriptor = descriptor;
    if (named && fstat(descriptor, &info) == 0 && S_ISFIFO(info.st_mode))
        AwaitWriter(path, descriptor);
    FILE* stream = fopencookie(nullptr, "rb",
                               cookie_io_functions_t{ReadStream, nullptr, nullptr, CloseStream});
    if (stream == nullptr) {
        close(descriptor);
        ThrowToolError(path + ": cannot read: " + strerror(errno));
    }
    return stream;
}

// A pipe is read once: a selection that goes back (a negative skip) cannot be served.
void RequireForwardSelection(const std::string& path) {
    int64_t previous = -1;
    for (uint32_t k = 0; k < State.MaxFrames && State.FileImageNumber[k] != AllOnes; ++k) {
        if (int64_t{State.FileImageNumber[k]} <= previous)
            ThrowToolError(path +
                           ": a pipe is read once, so the frames must be selected going forward");
        previous = State.FileImageNumber[k];
    }
}

// Opens `path` once, the way the command can read it ("-" is standard input); Missing and
// refused sources end the command with one line naming the reason.
OpenedSource OpenOnce(const std::string& path, SourceUse use) {
    OpenedSource source = path == "-" ? AdoptSource(dup(STDIN_FILENO)) : OpenSource(path.c_str());
    if (path == "-" && source.kind == SourceKind::Missing)
        ThrowToolError("standard input: cannot read: " + source.reason);
    const bool refused = source.kind == SourceKind::Device ||
                         (source.kind == SourceKind::Stream && use != SourceUse::ForwardOnly);
    if (refused) {
        fclose(source.stream);
        ThrowToolError((path == "-" ? std::string("standard input") : path) + ": " + source.reason +
                       (source.kind == SourceKind::Stream
                            ? " (this command needs a file it can seek in)"
                            : ""));
    }
    return source;
}
std::deque<std::string> ArgumentStore;  // ParseCommandLine may keep pointers into argv

// Runs the viewer's ParseCommandLine over `args`; false when it ended the process, with
// `where` saying over which argument (its index in `args` plus one).
bool ParseWithViewer(const std::vector<std::string>& args, CommandLineRefusal& where) {
    const size_t first = ArgumentStore.size();
    ArgumentStore.emplace_back("rmtool");
    ArgumentStore.insert(ArgumentStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (size_t i = first; i < ArgumentStore.size(); ++i) argv.push_back(ArgumentStore[i].data());
    argv.push_back(nullptr);
    try {
        ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), where);
    } catch (const ProcessEnded&) {
        return false;
    }
    return true;
}

// "option -f 1,2 is not accepted by the viewer (it takes first,last,skip ...)".
[[noreturn]] void ThrowRefusal(const std::vector<std::string>& args, CommandLineRefusal where) {
    const size_t at = static_cast<size_t>(where.option - 1);
    if (where.option < 1 || at >= args.size())
        ThrowUsageError("the viewer does not accept these options together");
    const ViewerOption* option = FindViewerOption(args[at]);
    const bool valued = where.valueTaken && at + 1 < args.size();
    const std::string given = valued ? " " + args[at + 1] : " without a value";
    ThrowUsageError("option " + args[at] + given + " is not accepted by the viewer" +
                    (option && *option->meaning ? std::string(" (it takes ") + option->meaning + ")"
                                                : std::string()));
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
    return Peek >= 0 && pread(Peek, bytes, count, offset) == static_cast<ssize_t>(count);
}

// True when block `b`, which the reader has passed, begins the pixel stream (its first word
// is the start word).
static bool BlockStartsStream(int32_t b) {
    if (ReadingStream)
        return std::binary_search(Record.startBlocks.begin(), Record.startBlocks.end(), b);
    uint8_t start[2];
    return ReadAt(int64_t{b} * BlockSize, start, 2) && start[1] == StartWordHighByte;
}

const std::vector<OptionRule> ViewerOptionRules = [] {
    std::vector<OptionRule> rules;
    for (const ViewerOption& option : ViewerOptions)
        rules.push_back(OptionRule{option.name, OptionKind::Viewer});
    return rules;
}();

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

std::string OpenWithViewer(const std::string& asked, const std::vector<std::string>& viewerArgs,
                           SourceUse use) {
    ResetViewerState();
    CommandLineRefusal where;
    if (!ParseWithViewer(viewerArgs, where)) ThrowRefusal(viewerArgs, where);
    if (State.FileImageNumber == nullptr)
        ThrowToolError("the viewer's command line built no frame selection");

    std::string path = asked;
    OpenedSource source = OpenOnce(path, use);
    if (source.kind == SourceKind::Missing) {
        const std::string reason = source.reason;
        path = asked + ".rm";
        source = OpenOnce(path, use);
        if (source.kind == SourceKind::Missing) ThrowToolError(asked + ": cannot open: " + reason);
    }
    struct stat info;
    if (fstat(fileno(source.stream), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(source.stream);
        ThrowToolError(path + ": is a directory");
    }
    if (Peek >= 0) close(Peek);
    Peek = -1;
    ReadingStream = source.kind == SourceKind::Stream;
    if (ReadingStream) {
        RequireForwardSelection(path == "-" ? "standard input" : path);
        State.MetafileStream = RecordStream(path, source, path != "-");
    } else {
        State.MetafileStream = source.stream;
        Peek = dup(fileno(source.stream));
    }
    Survey.reset();
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
            if (BlockStartsStream(b)) {
                layout->streamFirstBlock = b;
                break;
            }
        }
    }
    // Forward only: blocks before this frame's end are never looked at again.
    if (ReadingStream) {
        auto& starts = Record.startBlocks;
        starts.erase(starts.begin(),
                     std::lower_bound(starts.begin(), starts.end(), State.BlockNumber));
    }
    return FetchResult::Decoded;
}

static FileSurvey SurveyOf(int64_t bytes, int64_t headerBlocks) {
    return FileSurvey{bytes, bytes / BlockSize, bytes % BlockSize, headerBlocks};
}

FileSurvey SurveyDescriptor(int descriptor) {
    int64_t bytes = 0, headerBlocks = 0;
    std::vector<uint8_t> chunk(BlockSize * 256);
    ssize_t got;
    while (descriptor >= 0 && (got = pread(descriptor, chunk.data(), chunk.size(), bytes)) > 0) {
        for (size_t at = 0; at + BlockSize <= static_cast<size_t>(got); at += BlockSize)
            if (BeginsWithHeaderMarker(&chunk[at])) ++headerBlocks;
        bytes += got;
        if (static_cast<size_t>(got) < chunk.size()) break;
    }
    return SurveyOf(bytes, headerBlocks);
}

FileSurvey SurveyFile(bool toTheEnd) {
    if (!ReadingStream) {
        if (!Survey) Survey = SurveyDescriptor(Peek);
        return *Survey;
    }
    // What went by so far; to the end, the rest of the pipe is read (once) and counted.
    if (toTheEnd && State.MetafileStream != nullptr) {
        std::vector<char> rest(BlockSize * 256);
        while (fread(rest.data(), 1, rest.size(), State.MetafileStream) == rest.size()) {
        }
    }
    return SurveyOf(Record.bytes, Record.headerBlocks);
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
    if (!ArrayHoldsFrame(image))
        ThrowToolError("the reader left an image array too small for " + std::to_string(image.IW) +
                       "x" + std::to_string(image.IH));
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
