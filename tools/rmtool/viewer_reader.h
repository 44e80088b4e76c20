// Reading a metafile through the viewer's own reader (GetFileImage and the routines it
// calls), with the viewer's frame selection and adjustments, so that what the tool reports is
// what the viewer would show, down to the fatal-error messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/diagnostics.h"
#include "shell/viewer_state.h"
#include "tools/rmtool/tool_common.h"

// If args[i] is one of the viewer options the tool accepts (-f a,b,c  -w n  -s  -m  -g
// -max n  -p ms), appends it and its value argument, taken by the viewer's own rules, to
// `viewerArgs` and returns how many arguments it used; otherwise returns 0.
size_t TakeViewerOption(const std::vector<std::string>& args, size_t i,
                        std::vector<std::string>& viewerArgs);

// How a command reads its metafile: seeking in it (a file only), or forward once, which
// also takes a pipe or a socket. "-" is standard input either way; seeking needs it to be a
// file.
enum class SourceUse { Seekable, ForwardOnly };

// Puts the viewer state to its start, applies the options with the viewer's ParseCommandLine
// (so they mean exactly what they mean to the viewer) and opens `path`, or, as the viewer does
// when that fails, `path` with ".rm" appended. The path is opened once, and never waited on: a
// terminal or another character device is refused, and so is a pipe unless `use` is
// ForwardOnly. Returns the name opened. A rejected option is a usage error naming it; a file
// that cannot be opened is an error naming the file and the reason.
std::string OpenWithViewer(const std::string& path, const std::vector<std::string>& viewerArgs,
                           SourceUse use = SourceUse::Seekable);

// Reads `count` bytes at `offset` of the file OpenWithViewer opened, through a descriptor of
// its own, so the reader's position is left alone; false when they cannot all be read (and
// always for a pipe).
bool ReadAt(int64_t offset, uint8_t* bytes, size_t count);

// Where a decoded frame lies in the file, in blocks.
struct FrameLayout {
    uint32_t index = 0;
    uint32_t fileImage = 0;
    int64_t headerOffset = 0;
    int32_t headerBlock = 0;
    int32_t lutBlocks = 0;         // the LUT blocks the frame's header calls for
    bool lutRead = false;          // false for later frames in single-colormap mode
    int32_t streamFirstBlock = 0;  // the block with the start word
    int32_t streamLastBlock = 0;   // the block with the end-of-frame word
};

enum class FetchResult { Decoded, End, Failed };

// Fetches image `index` into `image` as the viewer does. Failed: the viewer would have ended
// with `report` (this includes "File is not in Raster Metafile format" when image 0 cannot be
// fetched); the reader is then closed. End: the selection or the file has no such image.
FetchResult FetchImage(uint32_t index, Image& image, FrameLayout* layout, FatalRecord* report);

// What the file holds at a glance: its size, and how many blocks begin with the header marker.
// For a pipe, what has gone by so far, or with `toTheEnd` the whole of it (the rest is read).
struct FileSurvey {
    int64_t bytes = 0;
    int64_t blocks = 0;         // whole 512-byte blocks
    int64_t trailingBytes = 0;  // a short final block, which the reader never uses
    int64_t headerBlocks = 0;
};
FileSurvey SurveyFile(bool toTheEnd = false);
// The same for the file open as `descriptor`, read with pread (its position is left alone).
FileSurvey SurveyDescriptor(int descriptor);

// How many images the selection can yield at most (entries of FileImageNumber before the
// first all-ones one), and no more than the file's headers where they are known.
uint32_t SelectedImageCount(int64_t headerBlocks);

// Fails unless the image array of a frame of IW x IH pixels (both above 0) holds all its rows.
void CheckImageArray(const Image& image);

// The frame as the viewer would draw it: IW x IH pixels, top row first, with the colours of
// the record's LUT (entries past LUTSize that pixels use come out black, as nothing defines
// them).
IndexedFrame FrameFromImage(const Image& image);

// Every selected image in order, as the viewer fetches them, with a progress line.
struct ReadOutcome {
    uint32_t decoded = 0;
    bool failed = false;
    uint32_t failedIndex = 0;
    uint32_t failedFileImage = AllOnes;
    FatalRecord report;
};
template <typename OnImage>
ReadOutcome ReadSelectedImages(const std::string& label, uint32_t expected, OnImage onImage) {
    ReadOutcome outcome;
    Progress progress(label, expected);
    ScopedImage image;
    InitImage(image);
    FrameLayout layout;
    for (uint32_t index = 0;; ++index) {
        FetchResult result = FetchImage(index, image, &layout, &outcome.report);
        if (result == FetchResult::End) break;
        if (result == FetchResult::Failed) {
            outcome.failed = true;
            outcome.failedIndex = index;
            outcome.failedFileImage =
                index < State.MaxFrames ? State.FileImageNumber[index] : AllOnes;
            break;
        }
        ++outcome.decoded;
        onImage(image, layout);
        if (outcome.decoded > expected) progress.SetTotal(0);
        progress.Step(outcome.decoded);
    }
    progress.Finish();
    return outcome;
}

// "FILE: image 3 (file image 5): Error: ... (routine "GetRLE", Raster Metafile Block Number =
// 17)", on one line.
std::string DescribeFailure(const std::string& path, const ReadOutcome& outcome);
