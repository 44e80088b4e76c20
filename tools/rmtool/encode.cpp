#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/rmtool/commands.h"
#include "tools/rmtool/encoding.h"
#include "tools/rmtool/gif_io.h"
#include "tools/rmtool/png_io.h"
#include "tools/rmwriter/rmwriter.h"

const char* const EncodeUsage =
    "Usage: rmtool encode OUT.rm INPUT... [--force] [--grey] [--dither]\n"
    "\n"
    "Makes a metafile with one frame per PNG file and one per frame of each animated GIF,\n"
    "in the order given.\n"
    "  palette PNGs    keep their colour indices and colours exactly\n"
    "  grey PNGs       keep their grey levels exactly (index = level, grey table)\n"
    "  colour PNGs     (RGB, RGBA, grey with alpha; alpha over black) are reduced to 256\n"
    "                  colours: exactly when they have that few, else with libimagequant\n"
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
    "literal pixels; the sizes against raw 8-bit frames are printed at the end. The file is\n"
    "written to a temporary name and renamed into place, so it appears whole or not at all.\n";

namespace {

bool LooksLikePng(const std::string& path) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8] = {};
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    size_t got = fread(head, 1, sizeof head, in);
    fclose(in);
    return got == sizeof head && memcmp(head, signature, sizeof head) == 0;
}

}  // namespace

int RunEncode(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    EncodeChoices choices;
    bool optionsEnded = false;
    for (const std::string& a : args) {
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") files.push_back(a);
        else if (a == "--") optionsEnded = true;
        else if (a == "--force") choices.force = true;
        else if (a == "--grey" || a == "--gray") choices.grey = true;
        else if (a == "--dither") choices.dither = true;
        else FailUsage("encode: unknown option '" + a + "' (see rmtool encode --help)");
    }
    if (files.size() < 2) FailUsage("encode: give the metafile to make and at least one input");
    const std::string out = files[0];
    const std::vector<std::string> inputs(files.begin() + 1, files.end());

    // Refuse before any work, and again when the file is put in place.
    struct stat info;
    if (!choices.force && lstat(out.c_str(), &info) == 0)
        Fail(out + ": already exists (use --force to replace it)");
    for (const std::string& input : inputs) {
        if (access(input.c_str(), R_OK) != 0) Fail(input + ": cannot open: " + strerror(errno));
        if (!LooksLikePng(input) && !LooksLikeGif(input)) Fail(input + ": not a PNG or GIF file");
    }

    MetafileEncoder encoder(choices);
    Progress progress("encode", static_cast<uint32_t>(inputs.size()));
    uint32_t expected = static_cast<uint32_t>(inputs.size());
    std::vector<std::string> notes;
    for (const std::string& input : inputs) {
        std::vector<SourcePicture> pictures;
        if (LooksLikeGif(input)) {
            pictures = ReadGif(input);
            expected += static_cast<uint32_t>(pictures.size()) - 1;
            progress.SetTotal(expected);
        } else {
            pictures.push_back(ReadPng(input));
        }
        uint32_t moved = 0, merged = 0, quantised = 0;
        for (const SourcePicture& picture : pictures) {
            MetafileEncoder::Changes changes = encoder.Add(picture);
            moved += changes.zero == ZeroFix::Moved;
            merged += changes.zero == ZeroFix::Merged;
            quantised += changes.quantised;
            progress.Step(encoder.Stats().frames);
        }
        // One line per kind of change and input, however many frames it touched.
        auto note = [&](uint32_t count, const std::string& what) {
            if (count == 0) return;
            std::string frames = pictures.size() == 1 ? ""
                                 : count == pictures.size()
                                     ? " (every frame)"
                                     : " (" + std::to_string(count) + " of " +
                                           std::to_string(pictures.size()) + " frames)";
            notes.push_back(input + frames + ": " + what);
        };
        note(moved, "the colour of index 0 moved to a free index, since the viewer shows index 0 "
                    "black; every pixel keeps its colour");
        note(merged, "all 256 indices in use: the pixels of index 0, which the viewer shows "
                     "black, took the nearest other colour");
        note(quantised, "more than 255 colours: quantised to 255");
    }
    progress.Finish();
    encoder.Save(out);
    for (const std::string& text : notes) fprintf(stderr, "rmtool: note: %s\n", text.c_str());

    const EncodeStats& stats = encoder.Stats();
    printf("%s: %u frame%s, %llu bytes (%llu blocks)\n", out.c_str(), stats.frames,
           stats.frames == 1 ? "" : "s", (unsigned long long)stats.fileBytes,
           (unsigned long long)(stats.fileBytes / 512));
    printf("raw 8-bit frames: %llu bytes; whole file %.1f%% of raw, pixel streams %llu bytes "
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
