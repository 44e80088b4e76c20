// cut and join: frames copied block for block from metafiles into a new one, each checked with
// the viewer's reader before it is copied.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "format/metafile_format.h"
#include "rm/block_reader.h"
#include "tools/rmtool/command_args.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/viewer_reader.h"

const char* const CutUsage =
    "Usage: rmtool cut IN.rm OUT.rm -f first,last,skip [-max n] [--force]\n"
    "\n"
    "Writes the frames that -f selects, with the viewer's meaning (frames counted from 1,\n"
    "every skip-th from first up to last), into a new metafile. Each frame is copied as it is:\n"
    "its header block, its colour table blocks and its pixel stream up to the block with its\n"
    "end of frame; blocks between frames are left out. Every frame is decoded with the\n"
    "viewer's reader first; a damaged one stops the cut with the viewer's message and no\n"
    "file is written.\n"
    "  -max n     the most frames to select (default: as many as the file can hold)\n"
    "  --force    replace OUT.rm if it exists\n"
    "The file is written to a temporary name and renamed into place.\n";

const char* const JoinUsage =
    "Usage: rmtool join OUT.rm IN.rm... [--force]\n"
    "\n"
    "Writes the frames of the metafiles one after another into a new one, each frame copied\n"
    "as it is (as with cut) and checked with the viewer's reader first; a damaged frame stops\n"
    "the join with the viewer's message and no file is written.\n"
    "  --force    replace OUT.rm if it exists\n"
    "The file is written to a temporary name and renamed into place.\n";

namespace {

// The frames a file of this size can hold at most (three blocks each), within the viewer's
// largest -max, so that no frame selection is cut short by the default of 512.
std::string MaxFramesFor(const std::string& path) {
    struct stat info;
    const int statted = path == "-" ? fstat(STDIN_FILENO, &info) : stat(path.c_str(), &info);
    int64_t blocks = statted == 0 ? info.st_size / BlockSize : 0;
    return std::to_string(std::clamp<int64_t>(blocks / 3 + 1, DefaultMaxFrames, MaxFramesCeiling));
}

// Copies the selected frames of `path` to `out`; returns how many.
uint32_t CopyFrames(const std::string& command, const std::string& asked,
                    std::vector<std::string> viewerArgs, AtomicFile& out) {
    viewerArgs.insert(viewerArgs.begin(), {"-max", MaxFramesFor(asked)});
    const std::string path = OpenWithViewer(asked, viewerArgs);
    std::vector<uint8_t> buffer;
    auto copy = [&](int64_t first, int64_t count) {
        buffer.resize(static_cast<size_t>(count) * BlockSize);
        if (!ReadAt(first * BlockSize, buffer.data(), buffer.size()))
            ThrowToolError(path + ": cannot read blocks " + std::to_string(first) + " to " +
                           std::to_string(first + count - 1));
        out.Write(buffer.data(), buffer.size());
    };
    uint32_t copied = 0;
    auto onImage = [&](const Image&, const FrameLayout& layout) {
        copy(layout.headerBlock, 1 + layout.lutBlocks);
        copy(layout.streamFirstBlock, layout.streamLastBlock - layout.streamFirstBlock + 1);
        ++copied;
    };
    ReadOutcome outcome = ReadSelectedImages(command, 0, onImage);
    if (State.MetafileStream != nullptr) fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    if (outcome.failed) ThrowToolError(DescribeFailure(path, outcome));
    return copied;
}

void PrintCopied(const std::string& path, uint32_t frames, const AtomicFile& file) {
    printf("%s: %u frame%s, %llu bytes (%llu blocks)\n", path.c_str(), frames,
           frames == 1 ? "" : "s", (unsigned long long)file.Written(),
           (unsigned long long)(file.Written() / BlockSize));
}

}  // namespace

int RunCut(const std::vector<std::string>& args) {
    const CommandArgs parsed = ParseCommandArgs(
        "cut", args,
        {{"-f", OptionKind::Viewer}, {"-max", OptionKind::Viewer}, {"--force", OptionKind::Flag}});
    if (parsed.files.size() != 2)
        ThrowUsageError("cut: give the metafile to cut and the one to make");
    if (!parsed.HasViewerArg("-f"))
        ThrowUsageError("cut: say which frames with -f first,last,skip");
    RefuseStandardOutput("cut", parsed.files[1], "metafile");
    AtomicFile file(parsed.files[1], parsed.Has("--force"));
    uint32_t frames = CopyFrames("cut", parsed.files[0], parsed.viewerArgs, file);
    file.Commit();
    PrintCopied(parsed.files[1], frames, file);
    return 0;
}

int RunJoin(const std::vector<std::string>& args) {
    const CommandArgs parsed = ParseCommandArgs("join", args, {{"--force", OptionKind::Flag}});
    if (parsed.files.size() < 2)
        ThrowUsageError("join: give the metafile to make and those to join");
    RefuseStandardOutput("join", parsed.files[0], "metafile");
    AtomicFile file(parsed.files[0], parsed.Has("--force"));
    uint32_t frames = 0;
    for (size_t i = 1; i < parsed.files.size(); ++i)
        frames += CopyFrames("join " + parsed.files[i], parsed.files[i], {}, file);
    file.Commit();
    PrintCopied(parsed.files[0], frames, file);
    return 0;
}
