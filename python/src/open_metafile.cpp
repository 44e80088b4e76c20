#include "python/src/open_metafile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/headless/headless_control.h"
#include "platform/source_file.h"
#include "python/src/memory_stream.h"
#include "shell/command_line.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/viewer_reader.h"

namespace {

std::mutex ReaderMutex;

// Opens as the viewer does: the name, else the name with ".rm". Metafiles are read at random,
// so what cannot be read as a file (a pipe, a device that may never end) is refused at once,
// without waiting on it.
FILE* OpenStream(const std::string& asked, std::string& opened) {
    opened = asked;
    OpenedSource source = OpenSource(asked.c_str());
    if (source.kind == SourceKind::Missing) {
        const int error = errno;
        opened = asked + ".rm";
        source = OpenSource(opened.c_str());
        if (source.kind == SourceKind::Missing) throw OpenFailure{error, asked};
    }
    int refusal = 0;
    struct stat info;
    if (source.kind != SourceKind::File)
        refusal = ESPIPE;
    else if (fstat(fileno(source.stream), &info) == 0 && S_ISDIR(info.st_mode))
        refusal = EISDIR;
    if (refusal != 0) {
        fclose(source.stream);
        throw OpenFailure{refusal, opened};
    }
    return source.stream;
}

std::vector<std::string> ViewerArguments(const ReadOptions& options) {
    std::vector<std::string> args{"kinaro"};
    if (options.selectFrames)
        args.insert(args.end(),
                    {"-f", std::to_string(options.first) + "," + std::to_string(options.last) +
                               "," + std::to_string(options.skip)});
    args.insert(args.end(), {"-max", std::to_string(options.maxFrames)});
    if (options.sharedTable) args.emplace_back("-s");
    if (options.grey) args.emplace_back("-g");
    if (options.widen != 0) args.insert(args.end(), {"-w", std::to_string(options.widen)});
    return args;
}

// Frees what the reader state in place holds and closes its file. The table of positions is
// gone with it, so the locator forgets it too.
void ReleaseReaderState() {
    FreeStateArrays();
    if (State.MetafileStream != nullptr) fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    LocatorTable none;
    ExchangeLocatorTable(none);
}

// The arrays given back and not yet taken again; a few frames' worth at most.
struct SpareFrameBytes {
    std::mutex mutex;
    std::vector<std::pair<uint8_t*, size_t>> blocks;
    static constexpr size_t Most = 2;
};
SpareFrameBytes& Spares() {
    static auto* spares = new SpareFrameBytes;  // never destroyed: arrays may outlive statics
    return *spares;
}

}  // namespace

uint8_t* TakeFrameBytes(size_t size) {
    {
        std::lock_guard<std::mutex> lock(Spares().mutex);
        auto& blocks = Spares().blocks;
        for (auto it = blocks.begin(); it != blocks.end(); ++it)
            if (it->second == size) {
                uint8_t* bytes = it->first;
                blocks.erase(it);
                return bytes;
            }
    }
    return AllocZeroedPages(size);
}

void GiveBackFrameBytes(uint8_t* bytes, size_t size) {
    if (bytes == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(Spares().mutex);
        auto& blocks = Spares().blocks;
        if (blocks.size() < SpareFrameBytes::Most) {
            blocks.emplace_back(bytes, size);
            return;
        }
    }
    FreeZeroedPages(bytes, size);
}

struct OpenMetafile::Exchange {
    explicit Exchange(OpenMetafile& file) : file_(file), lock_(ReaderMutex) { Swap(); }
    ~Exchange() { Swap(); }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

   private:
    void Swap() {
        std::swap(State, file_.state_);
        ExchangeLocatorTable(file_.table_);
    }
    OpenMetafile& file_;
    std::lock_guard<std::mutex> lock_;
};

OpenMetafile::OpenMetafile(const std::string& path, const ReadOptions& options)
    : arguments_(ViewerArguments(options)) {
    FILE* stream = OpenStream(path, path_);
    keptDescriptor_ = dup(fileno(stream));
    state_.MetafileStream = stream;
    open_ = true;
    try {
        Exchange in(*this);
        FILE* kept = State.MetafileStream;
        Headless().Quiet = true;
        State = ViewerState{};
        InitDefaults();
        std::vector<char*> argv;
        for (std::string& a : arguments_) argv.push_back(a.data());
        argv.push_back(nullptr);
        try {
            ParseCommandLine(static_cast<int>(arguments_.size()), argv.data());
        } catch (const ProcessEnded& ended) {
            Headless().Boxes.clear();
            State.MetafileStream = kept;
            if (ended.fatal) throw MetafileFailure{*ended.fatal, 0, path_};
            std::string given;
            for (size_t i = 1; i < arguments_.size(); ++i) given += " " + arguments_[i];
            throw OptionsRefused{given.substr(1)};
        }
        State.MetafileStream = kept;
    } catch (...) {
        Close();
        throw;
    }
    // As the viewer, which shows image 0 first: it says whether this is a metafile at all,
    // and in single-colormap mode its table is the one every frame gets.
    try {
        Fetch(0);
    } catch (...) {
        Close();
        throw;
    }
}

OpenMetafile::~OpenMetafile() {
    Close();
}

void OpenMetafile::Close() {
    Exchange in(*this);
    if (!open_) return;
    ReleaseReaderState();
    FreeImage(image_);
    if (keptDescriptor_ >= 0) close(keptDescriptor_);
    keptDescriptor_ = -1;
    open_ = false;
    held_.reset();
}

void OpenMetafile::Reopen() {
    if (State.MetafileStream != nullptr || keptDescriptor_ < 0) return;
    const int descriptor = dup(keptDescriptor_);
    if (descriptor < 0) return;
    State.MetafileStream = fdopen(descriptor, "rb");
    if (State.MetafileStream == nullptr) close(descriptor);
}

std::optional<DecodedFrame> OpenMetafile::Fetch(uint32_t index) {
    Exchange in(*this);
    if (!open_) return std::nullopt;
    if (held_ == index) return CopyOut(index);
    const uint32_t fileImage = index < State.MaxFrames ? State.FileImageNumber[index] : AllOnes;
    // Image 0 goes to the reader whatever the selection: the viewer ends when it has none.
    if (fileImage >= State.MaxFrames && index != 0) return std::nullopt;
    const bool forward = int64_t{fileImage} > State.LastFileImage;
    if (forward) {
        if (blocked_) throw *blocked_;
        // The search for a new header reads on from where the stream stands, so it must
        // stand where the last search left it, not behind a frame found again by seeking.
        if (!atFrontier_ && State.MetafileStream != nullptr) {
            fseeko(State.MetafileStream, static_cast<off_t>(frontierOffset_), SEEK_SET);
            State.BlockNumber = frontierBlock_;
        }
        atFrontier_ = true;
    } else {
        atFrontier_ = false;
    }
    held_.reset();
    FatalRecord report;
    const FetchResult result = FetchImage(index, image_, nullptr, &report);
    if (result == FetchResult::Failed) {
        const MetafileFailure failure{report, index, path_};
        if (forward) blocked_ = failure;
        // The viewer would have ended here. The record may hold a header without the array
        // for it: start the next frame afresh. The fatal error closed the stream.
        FreeImageArray(image_);
        image_.IW = 0;
        image_.IH = 0;
        Headless().Boxes.clear();
        Reopen();
        atFrontier_ = false;
        throw failure;
    }
    if (forward && State.MetafileStream != nullptr) {
        frontierOffset_ = ftello(State.MetafileStream);
        frontierBlock_ = State.BlockNumber;
    }
    if (result == FetchResult::End) return std::nullopt;
    held_ = index;
    return CopyOut(index);
}

DecodedFrame OpenMetafile::CopyOut(uint32_t index) const {
    CheckImageArray(image_);
    DecodedFrame frame;
    frame.index = index;
    frame.fileImage = State.FileImageNumber[index];
    frame.width = image_.IW;
    frame.height = image_.IH;
    frame.depth = image_.Depth;
    frame.grey = image_.ColorFlag == 0;
    std::memcpy(frame.fill, image_.FillValues, sizeof frame.fill);
    const size_t width = static_cast<size_t>(image_.IW);
    const size_t height = static_cast<size_t>(image_.IH);
    frame.indices = FrameBytes(TakeFrameBytes(width * height), FreePages{width * height});
    if (!frame.indices) throw std::bad_alloc();
    // Row 0 of the image array is the bottom row on screen.
    for (size_t y = 0; y < height; ++y)
        std::memcpy(frame.indices.get() + y * width,
                    image_.Pixels + (height - 1 - y) * static_cast<size_t>(image_.ScanLineWidth),
                    width);
    frame.palette.resize(size_t{image_.LUTSize} * 3);
    for (size_t i = 0; i < image_.LUTSize && image_.LUT != nullptr; ++i) {
        frame.palette[3 * i] = image_.LUT[i].Red;
        frame.palette[3 * i + 1] = image_.LUT[i].Green;
        frame.palette[3 * i + 2] = image_.LUT[i].Blue;
    }
    return frame;
}

uint32_t OpenMetafile::SelectedCount() {
    Exchange in(*this);
    if (!open_) return 0;
    if (!selected_) selected_ = SelectedImageCount(SurveyDescriptor(keptDescriptor_).headerBlocks);
    return *selected_;
}

std::string OpenMetafile::InfoReport() {
    std::vector<std::string> args{"--json", path_};
    args.insert(args.end(), arguments_.begin() + 1, arguments_.end());
    // rmtool's reading sets State up from the start, in a record of its own.
    OpenMetafile scratch;
    Exchange in(scratch);
    std::string report;
    try {
        report = WrittenToMemory([&](FILE* out) {
            try {
                WriteInfo(args, out);
            } catch (const ToolError&) {
                // A frame that fails is named in the report; a file that cannot be read is not.
                if (ftello(out) == 0) throw;
            }
        });
    } catch (...) {
        ReleaseReaderState();
        throw;
    }
    ReleaseReaderState();
    return report;
}
