// Shared ground for rmtool's tests: running the tool, temporary folders, pictures.
#pragma once

#include <string>
#include <vector>

#include "tools/rmtool/tool_common.h"
#include "tools/rmwriter/rmwriter.h"

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
    long peakResidentKb = 0;  // the most memory the run had present
};

// Runs the rmtool executable with `args` (no shell: the arguments arrive as given), stdin
// read from `input` (empty by default), stdout and stderr captured.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "/dev/null");

// Runs `command` with /bin/sh, where $RMTOOL is the rmtool executable; returns its status.
int RunShell(const std::string& command);

// A fresh empty folder, removed at exit.
std::string MakeTempDir();

// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::string& dir);

// A width x height frame of `colours` colours (index 0 black, the rest distinct), with runs,
// fills of one colour and stretches of literal pixels.
IndexedFrame PatternedFrame(int width, int height, int colours, int seed);

// Every frame of a GIF, composed as a viewer of GIFs shows it, as RGB (canvas size), decoded
// here with giflib on its own so that the tool's reader is not checking itself.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
};
std::vector<RgbPicture> DecodeGifFrames(const std::string& path,
                                        std::vector<int>* delays = nullptr);

// Writes an 8-bit RGB PNG.
void WriteRgbPng(const std::string& path, const RgbPicture& picture);

// The colours of an indexed frame's pixels.
RgbPicture ColoursOf(const IndexedFrame& frame);

// The mean difference per channel between `rgb` and the colours of the frame's pixels.
double MeanChannelError(const std::vector<Rgb>& rgb, const IndexedFrame& frame);
