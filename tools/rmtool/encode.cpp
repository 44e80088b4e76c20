#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "format/metafile_format.h"
#include "tools/rmtool/command_args.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/encoding.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/picture_pipeline.h"
#include "tools/rmtool/png_io.h"

const char* const EncodeUsage =
    "Usage: rmtool encode OUT.rm INPUT... [--force] [--grey] [--dither]\n"
    "\n"
    "Makes a metafile with one frame per PNG file, one per frame of each animated GIF and one\n"
    "per PNG of a stream, in the order given. The input - is standard input: PNG images one\n"
    "after another, as ffmpeg -f image2pipe -c:v png writes them, so any video becomes a\n"
    "metafile:\n"
    "  ffmpeg -i clip.mp4 -f image2pipe -c:v png - | rmtool encode clip.rm -\n"
    "Frames may differ in size. A broken stream (a cut PNG, data that is not a PNG) stops\n"
    "the encode with one line naming the frame, counted from 1, and no file is written.\n"
    "\n"
    "  palette PNGs    keep their colour indices and colours exactly\n"
    "  grey PNGs       keep their grey levels exactly (index = level, grey table)\n"
    "  colour PNGs     (RGB, RGBA, grey with alpha; alpha over black) are reduced to 256\n"
    "                  colours: exactly when they have that few, else with libimagequant;\n"
    "                  the next frames keep that palette while it still fits them\n"
    "  GIF frames      are taken as they are seen (offsets, transparency, disposal); a frame\n"
    "                  that covers the whole picture keeps its indices\n"
    "Colour index 0 is always shown black by the viewer, so a colour there moves to a free\n"
    "index. Tables whose colours are all grey are written as grey tables.\n"
    "\n"
    "  --grey     write grey tables (colours turned grey as the viewer's -g does)\n"
    "  --dither   dither colours that have to be quantised (smoother, but longer runs are\n"
    "             broken up and the file grows)\n"
    "  --force    replace OUT.rm if it exists (otherwise it is left untouched)\n"
    "\n"
    "The pixels are coded with runs, fills (of the colour that saves most in each frame) and\n"
    "literal pixels; the sizes against raw 8-bit frames are printed at the end. Frames are\n"
    "decoded on a second thread and written as they are coded, so memory does not grow with\n"
    "their number. The file is written to a temporary name and renamed into place, so it\n"
    "appears whole or not at all.\n";

namespace {

struct EncodeCommand {
    std::string out;
    std::vector<std::string> inputs;
    EncodeChoices choices;
};

EncodeCommand ParseEncode(const std::vector<std::string>& args) {
    const CommandArgs parsed = ParseCommandArgs("encode", args,
                                                {{"--force", OptionKind::Flag},
                                                 {"--grey", OptionKind::Flag},
                                                 {"--gray", OptionKind::Flag},
                                                 {"--dither", OptionKind::Flag}});
    const std::vector<std::string>& files = parsed.files;
    if (files.size() < 2)
        ThrowUsageError("encode: give the metafile to make and at least one input");
    EncodeCommand command{files[0], {files.begin() + 1, files.end()}, {}};
    command.choices.force = parsed.Has("--force");
    command.choices.grey = parsed.Has("--grey") || parsed.Has("--gray");
    command.choices.dither = parsed.Has("--dither");
    RefuseStandardOutput("encode", command.out, "metafile");
    if (std::count(command.inputs.begin(), command.inputs.end(), "-") > 1)
        ThrowUsageError("encode: standard input (-) can be read only once");
    return command;
}

// Every input file can be read and is a PNG or a GIF, before any work.
void CheckInputs(const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        if (input == "-") continue;
        if (access(input.c_str(), R_OK) != 0)
            ThrowToolError(input + ": cannot open: " + strerror(errno));
        if (!LooksLikePng(input) && !LooksLikeGif(input))
            ThrowToolError(input + ": not a PNG or GIF file");
    }
}

// The progress bar's total; a GIF's frames are counted without decoding them. A stream's
// length is not known in advance: 0.
uint32_t FramesToCome(const std::vector<std::string>& inputs) {
    uint32_t total = 0;
    for (const std::string& input : inputs) {
        if (input == "-") return 0;
        total += LooksLikeGif(input) ? CountGifFrames(input) : 1;
    }
    return total;
}

// What had to change in the pictures: one line per kind of change and input, however many
// frames it touched.
class ChangeNotes {
   public:
    void Count(const MetafileEncoder::Changes& changes) {
        moved_ += changes.zero == ZeroFix::Moved;
        merged_ += changes.zero == ZeroFix::Merged;
        quantised_ += changes.quantised;
    }
    void EndInput(const std::string& name, uint32_t frames) {
        const std::string input = name == "-" ? "stdin" : name;
        Note(input, frames, moved_,
             "the colour of index 0 moved to a free index, since the viewer shows index 0 "
             "black; every pixel keeps its colour");
        Note(input, frames, merged_,
             "all 256 indices in use: the pixels of index 0, which the viewer shows "
             "black, took the nearest other colour");
        Note(input, frames, quantised_, "more than 255 colours: quantised to 255");
        moved_ = merged_ = quantised_ = 0;
    }
    void Print() const {
        for (const std::string& text : notes_) fprintf(stderr, "rmtool: note: %s\n", text.c_str());
    }

   private:
    void Note(const std::string& input, uint32_t frames, uint32_t count, const std::string& what) {
        if (count == 0) return;
        std::string which = frames == 1       ? ""
                            : count == frames ? " (every frame)"
                                              : " (" + std::to_string(count) + " of " +
                                                    std::to_string(frames) + " frames)";
        notes_.push_back(input + which + ": " + what);
    }
    std::vector<std::string> notes_;
    uint32_t moved_ = 0, merged_ = 0, quantised_ = 0;
};

// Codes the pictures as the decoding thread hands them over, writing the blocks as they come.
void EncodeInputs(const EncodeCommand& command, MetafileEncoder& encoder, AtomicFile& file,
                  ChangeNotes& notes) {
    Progress progress("encode", 0);
    if (progress.Shown()) progress.SetTotal(FramesToCome(command.inputs));
    std::vector<uint8_t> bytes;
    ColourReducer reducer(command.choices.dither);
    InputDecodingThread decoder(command.inputs);
    for (;;) {
        PictureQueue::Item item = decoder.Next();
        if (item.kind == PictureQueue::Item::Error) std::rethrow_exception(item.error);
        if (item.kind == PictureQueue::Item::End) break;
        if (item.kind == PictureQueue::Item::InputDone) {
            notes.EndInput(command.inputs[item.input], item.frames);
            continue;
        }
        if (!item.prepared) {
            item.frame = MetafileEncoder::Prepare(item.picture, reducer, item.changes);
            decoder.GiveBack(std::move(item.picture.rgb));
        }
        encoder.AddFrame(item.frame);
        notes.Count(item.changes);
        encoder.TakeBytes(bytes);
        file.Write(bytes.data(), bytes.size());
        progress.Step(encoder.Stats().frames);
    }
    progress.Finish();
}

void PrintStats(const std::string& out, const EncodeStats& stats) {
    printf("%s: %u frame%s, %llu bytes (%llu blocks)\n", out.c_str(), stats.frames,
           stats.frames == 1 ? "" : "s", (unsigned long long)stats.fileBytes,
           (unsigned long long)(stats.fileBytes / BlockSize));
    printf(
        "raw 8-bit frames: %llu bytes; whole file %.1f%% of raw, pixel streams %llu bytes "
        "(%.1f%% of raw)\n",
        (unsigned long long)stats.rawBytes,
        stats.rawBytes ? 100.0 * double(stats.fileBytes) / double(stats.rawBytes) : 0.0,
        (unsigned long long)stats.streamBytes,
        stats.rawBytes ? 100.0 * double(stats.streamBytes) / double(stats.rawBytes) : 0.0);
    printf("words: %llu runs, %llu fills, %llu literal pixels, %llu ends of scan line\n",
           (unsigned long long)stats.runWords, (unsigned long long)stats.fillWords,
           (unsigned long long)stats.literalWords, (unsigned long long)stats.endOfLineWords);
}

}  // namespace

int RunEncode(const std::vector<std::string>& args) {
    const EncodeCommand command = ParseEncode(args);
    CheckInputs(command.inputs);
    // Refused before any work when it exists, and again when the file is put in place.
    AtomicFile file(command.out, command.choices.force);
    MetafileEncoder encoder(command.choices);
    ChangeNotes notes;
    EncodeInputs(command, encoder, file, notes);
    file.Commit();
    notes.Print();
    PrintStats(command.out, encoder.Stats());
    return 0;
}
