#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "tools/rmtool/commands.h"
#include "tools/rmtool/encoding.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"
#include "tools/rmwriter/rmwriter.h"

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

// Inputs are decoded on a second thread, a frame or two ahead of the coding, through this
// small queue. A failure on either side stops both: the decoder's error travels in the queue.
class PictureQueue {
   public:
    struct Item {
        enum Kind { Picture, InputDone, End, Error } kind = End;
        // A picture is prepared here when that is quick (it has its indices already), else
        // by the encoder's side, which has less to do than the decoding side.
        bool prepared = false;
        IndexedFrame frame;
        SourcePicture picture;
        MetafileEncoder::Changes changes;
        size_t input = 0;
        uint32_t frames = 0;  // InputDone: the frames the input held
        std::exception_ptr error;
    };
    // False when the consumer has gone.
    bool Push(Item item) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return items_.size() < Depth || cancelled_; });
        if (cancelled_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }
    Item Pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !items_.empty(); });
        Item item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return item;
    }
    void Cancel() {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        changed_.notify_all();
    }
    // The pixels of a picture that has been used, for the decoder to decode the next one into:
    // memory it has touched already costs neither page faults nor clearing.
    void GiveBack(std::vector<Rgb>&& pixels) {
        std::lock_guard<std::mutex> lock(mutex_);
        spare_ = std::move(pixels);
    }
    std::vector<Rgb> TakeSpare() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(spare_);
    }

   private:
    static constexpr size_t Depth = 2;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    std::vector<Rgb> spare_;
    bool cancelled_ = false;
};

// Decodes the inputs in turn; pictures that have their indices are prepared here too.
void DecodeInputs(const std::vector<std::string>& inputs, PictureQueue& queue) {
    using Item = PictureQueue::Item;
    try {
        for (size_t i = 0; i < inputs.size(); ++i) {
            uint32_t frames = 0;
            auto push = [&](SourcePicture& picture) {
                ++frames;
                Item item;
                item.kind = Item::Picture;
                item.prepared = picture.indexed;
                if (item.prepared)
                    item.frame =
                        MetafileEncoder::PrepareIndexed(std::move(picture.frame), item.changes);
                else
                    item.picture = std::move(picture);
                item.input = i;
                return queue.Push(std::move(item));
            };
            SourcePicture picture;
            if (inputs[i] == "-") {
                // Large reads: a video's frames come by hundreds of megabytes. (With no buffer
                // of its own given, the C library keeps its small one.)
                static char readBuffer[1 << 18];
                setvbuf(stdin, readBuffer, _IOFBF, sizeof readBuffer);
                PngStreamReader stream(stdin, "stdin");
                for (picture.rgb = queue.TakeSpare(); stream.Next(picture);
                     picture.rgb = queue.TakeSpare())
                    if (!push(picture)) return;
                if (frames == 0) Fail("stdin: no PNG image in the stream");
            } else if (LooksLikeGif(inputs[i])) {
                GifReader gif(inputs[i]);
                while (gif.Next(picture))
                    if (!push(picture)) return;
            } else {
                picture = ReadPng(inputs[i]);
                if (!push(picture)) return;
            }
            Item done;
            done.kind = Item::InputDone;
            done.input = i;
            done.frames = frames;
            if (!queue.Push(std::move(done))) return;
        }
        queue.Push(Item{});
    } catch (...) {
        Item failed;
        failed.kind = Item::Error;
        failed.error = std::current_exception();
        queue.Push(std::move(failed));
    }
}

// Runs DecodeInputs on its own thread for as long as it lives.
class Decoder {
   public:
    explicit Decoder(const std::vector<std::string>& inputs)
        : thread_(DecodeInputs, std::cref(inputs), std::ref(queue_)) {}
    ~Decoder() {
        queue_.Cancel();
        thread_.join();
    }
    PictureQueue::Item Next() { return queue_.Pop(); }
    void GiveBack(std::vector<Rgb>&& pixels) { queue_.GiveBack(std::move(pixels)); }

   private:
    PictureQueue queue_;
    std::thread thread_;
};

}  // namespace

int RunEncode(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    EncodeChoices choices;
    bool optionsEnded = false;
    for (const std::string& a : args) {
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-")
            files.push_back(a);
        else if (a == "--")
            optionsEnded = true;
        else if (a == "--force")
            choices.force = true;
        else if (a == "--grey" || a == "--gray")
            choices.grey = true;
        else if (a == "--dither")
            choices.dither = true;
        else
            FailUsage("encode: unknown option '" + a + "' (see rmtool encode --help)");
    }
    if (files.size() < 2) FailUsage("encode: give the metafile to make and at least one input");
    const std::string out = files[0];
    const std::vector<std::string> inputs(files.begin() + 1, files.end());
    if (out == "-") FailUsage("encode: the metafile is written to a file, not to standard output");
    if (std::count(inputs.begin(), inputs.end(), "-") > 1)
        FailUsage("encode: standard input (-) can be read only once");

    for (const std::string& input : inputs) {
        if (input == "-") continue;
        if (access(input.c_str(), R_OK) != 0) Fail(input + ": cannot open: " + strerror(errno));
        if (!LooksLikePng(input) && !LooksLikeGif(input)) Fail(input + ": not a PNG or GIF file");
    }
    // Refused before any work when it exists, and again when the file is put in place.
    AtomicFile file(out, choices.force);

    MetafileEncoder encoder(choices);
    Progress progress("encode", 0);
    if (progress.Shown()) {
        // The bar's total; a GIF's frames are counted without decoding them. A stream's
        // length is not known in advance.
        uint32_t total = 0;
        for (const std::string& input : inputs) {
            if (input == "-") {
                total = 0;
                break;
            }
            total += LooksLikeGif(input) ? CountGifFrames(input) : 1;
        }
        progress.SetTotal(total);
    }
    std::vector<std::string> notes;
    std::vector<uint8_t> bytes;
    uint32_t moved = 0, merged = 0, quantised = 0;
    ColourReducer reducer(choices.dither);
    Decoder decoder(inputs);
    for (;;) {
        PictureQueue::Item item = decoder.Next();
        if (item.kind == PictureQueue::Item::Error) std::rethrow_exception(item.error);
        if (item.kind == PictureQueue::Item::End) break;
        if (item.kind == PictureQueue::Item::Picture) {
            if (!item.prepared) {
                item.frame = MetafileEncoder::Prepare(item.picture, reducer, item.changes);
                decoder.GiveBack(std::move(item.picture.rgb));
            }
            encoder.AddFrame(item.frame);
            const MetafileEncoder::Changes& changes = item.changes;
            moved += changes.zero == ZeroFix::Moved;
            merged += changes.zero == ZeroFix::Merged;
            quantised += changes.quantised;
            encoder.TakeBytes(bytes);
            file.Write(bytes.data(), bytes.size());
            progress.Step(encoder.Stats().frames);
            continue;
        }
        // One line per kind of change and input, however many frames it touched.
        const std::string& input = inputs[item.input] == "-" ? "stdin" : inputs[item.input];
        const uint32_t frames = item.frames;
        auto note = [&](uint32_t count, const std::string& what) {
            if (count == 0) return;
            std::string which = frames == 1       ? ""
                                : count == frames ? " (every frame)"
                                                  : " (" + std::to_string(count) + " of " +
                                                        std::to_string(frames) + " frames)";
            notes.push_back(input + which + ": " + what);
        };
        note(moved,
             "the colour of index 0 moved to a free index, since the viewer shows index 0 "
             "black; every pixel keeps its colour");
        note(merged,
             "all 256 indices in use: the pixels of index 0, which the viewer shows "
             "black, took the nearest other colour");
        note(quantised, "more than 255 colours: quantised to 255");
        moved = merged = quantised = 0;
    }
    progress.Finish();
    file.Commit();
    for (const std::string& text : notes) fprintf(stderr, "rmtool: note: %s\n", text.c_str());

    const EncodeStats& stats = encoder.Stats();
    printf("%s: %u frame%s, %llu bytes (%llu blocks)\n", out.c_str(), stats.frames,
           stats.frames == 1 ? "" : "s", (unsigned long long)stats.fileBytes,
           (unsigned long long)(stats.fileBytes / 512));
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
    return 0;
}
