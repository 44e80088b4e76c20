#include <cstdarg>
#include <cstdio>
#include <string>

#include "rm/block_reader.h"
#include "tools/rmtool/commands.h"
#include "tools/rmtool/viewer_reader.h"

const char* const InfoUsage =
    "Usage: rmtool info FILE [--json] [-f first,last,skip] [-w n] [-s|-m] [-g] [-max n]\n"
    "\n"
    "Reads every selected frame through the viewer's reader and prints one row per frame:\n"
    "  image       position in the viewing sequence, from 0\n"
    "  file        file image number (the frame's number in the file, from 0)\n"
    "  offset      byte offset of the header block; block: its block number\n"
    "  width height   as the header gives them (IW: width after -w, when -w is given)\n"
    "  depth, table   bits per pixel; grey or colour LUT and its size (2^depth)\n"
    "  fill        the three fill values\n"
    "  stream      blocks of the pixel stream, from the start word to the end-of-frame word\n"
    "  junk        blocks the reader skipped before the header / between LUT and stream\n"
    "and totals. A '*' marks a frame whose size differs from the frame before it.\n"
    "\n"
    "  --json      the same as one JSON object\n"
    "  -f a,b,c    frames a to b (counted from 1) in steps of c, as the viewer's -f\n"
    "  -w n        add n to every width, as the viewer's -w\n"
    "  -s, -m      single or multiple colour maps, as the viewer's (default -m)\n"
    "  -g          grey tables\n"
    "  -max n      at most n frames (default 512, as the viewer)\n"
    "\n"
    "Exit status 0, or 1 when a frame does not decode (its error is printed as the viewer\n"
    "reports it) or the file cannot be read.\n";

namespace {

struct Row {
    FrameLayout layout;
    int32_t width, height, iw, depth;
    uint16_t colorFlag;
    uint8_t fill[3];
    int32_t junkBefore;  // -1: not known (the frame before it in the file was not read)
    int32_t junkInside;
    bool sizeChanged;
    int64_t pixels;
};

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Where the report goes: standard output, or the stream WriteInfo was given.
FILE* ReportStream = stdout;
void Report(const char* format, ...) KINARO_PRINTF(1, 2);
void Report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(ReportStream, format, args);
    va_end(args);
}

std::string LutSize(int32_t depth) {
    return depth >= 0 && depth <= 8 ? std::to_string(1 << depth) : "-";
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    MetafileArgs parsed = SplitMetafileArgs("info", args, {"--json"}, {});
    const bool json = !parsed.own.empty();
    parsed.path = OpenWithViewer(parsed.path, parsed.viewerArgs, SourceUse::ForwardOnly);
    FileSurvey survey = SurveyFile();
    const bool adjusted = State.WidthAdjust != 0;
    const int32_t widthAdjust = State.WidthAdjust;

    std::vector<Row> rows;
    int32_t previousLastBlock = -1;
    uint32_t previousFileImage = AllOnes;
    int32_t previousW = 0, previousH = 0;
    auto onImage = [&](const Image& image, const FrameLayout& layout) {
        Row row{};
        row.layout = layout;
        row.iw = image.IW;
        row.width = static_cast<int32_t>(static_cast<uint32_t>(image.IW) -
                                         static_cast<uint32_t>(widthAdjust));
        row.height = image.IH;
        row.depth = image.Depth;
        row.colorFlag = image.ColorFlag;
        for (int k = 0; k < 3; ++k) row.fill[k] = image.FillValues[k];
        if (layout.fileImage == 0)
            row.junkBefore = layout.headerBlock;
        else if (previousFileImage != AllOnes && layout.fileImage == previousFileImage + 1)
            row.junkBefore = layout.headerBlock - previousLastBlock - 1;
        else
            row.junkBefore = -1;
        row.junkInside = layout.streamFirstBlock - layout.headerBlock - 1 -
                         (layout.lutRead ? layout.lutBlocks : 0);
        if (!layout.lutRead) {
            // Unread LUT blocks are skipped as the reader looks for the start word; they are
            // part of the frame all the same.
            row.junkInside -= layout.lutBlocks;
            if (row.junkInside < 0) row.junkInside = 0;
        }
        row.sizeChanged = !rows.empty() && (image.IW != previousW || image.IH != previousH);
        row.pixels = int64_t{image.IW > 0 ? image.IW : 0} * (image.IH > 0 ? image.IH : 0);
        rows.push_back(row);
        previousLastBlock = layout.streamLastBlock;
        previousFileImage = layout.fileImage;
        previousW = image.IW;
        previousH = image.IH;
    };
    ReadOutcome outcome =
        ReadSelectedImages("info", SelectedImageCount(survey.headerBlocks), onImage);

    survey = SurveyFile(true);  // a pipe is counted to its end
    int64_t streamBlocks = 0, frameBlocks = 0, junkBlocks = 0, pixels = 0;
    int sizeChanges = 0;
    for (const Row& r : rows) {
        streamBlocks += r.layout.streamLastBlock - r.layout.streamFirstBlock + 1;
        frameBlocks += r.layout.streamLastBlock - r.layout.headerBlock + 1;
        junkBlocks += (r.junkBefore > 0 ? r.junkBefore : 0) + r.junkInside;
        pixels += r.pixels;
        sizeChanges += r.sizeChanged ? 1 : 0;
    }
    const int64_t streamBytes = streamBlocks * BlockSize;
    const double streamPercent = pixels > 0 ? 100.0 * double(streamBytes) / double(pixels) : 0.0;
    // The frames shown, from header to end word, against their raw 8-bit pixels; with a
    // selection this is not the whole file.
    const int64_t frameBytes = frameBlocks * BlockSize;
    const double framePercent = pixels > 0 ? 100.0 * double(frameBytes) / double(pixels) : 0.0;

    if (json) {
        Report(
            "{\n  \"file\": %s,\n  \"bytes\": %lld,\n  \"blocks\": %lld,\n"
            "  \"trailing_bytes\": %lld,\n  \"header_blocks\": %lld,\n  \"width_adjust\": %d,\n"
            "  \"frames\": [",
            JsonString(parsed.path).c_str(), (long long)survey.bytes, (long long)survey.blocks,
            (long long)survey.trailingBytes, (long long)survey.headerBlocks, widthAdjust);
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row& r = rows[i];
            Report(
                "%s\n    {\"image\": %u, \"file_image\": %u, \"header_offset\": %lld, "
                "\"header_block\": %d, \"width\": %d, \"height\": %d, \"IW\": %d, "
                "\"depth\": %d, \"color_flag\": %u, \"lut_size\": %s, \"lut_read\": %s, "
                "\"fill_values\": [%u, %u, %u], \"stream_first_block\": %d, "
                "\"stream_last_block\": %d, \"stream_blocks\": %d, \"junk_before\": %s, "
                "\"junk_inside\": %d, \"size_changed\": %s}",
                i ? "," : "", r.layout.index, r.layout.fileImage, (long long)r.layout.headerOffset,
                r.layout.headerBlock, r.width, r.height, r.iw, r.depth, unsigned(r.colorFlag),
                LutSize(r.depth) == "-" ? "null" : LutSize(r.depth).c_str(),
                r.layout.lutRead ? "true" : "false", unsigned(r.fill[0]), unsigned(r.fill[1]),
                unsigned(r.fill[2]), r.layout.streamFirstBlock, r.layout.streamLastBlock,
                r.layout.streamLastBlock - r.layout.streamFirstBlock + 1,
                r.junkBefore < 0 ? "null" : std::to_string(r.junkBefore).c_str(), r.junkInside,
                r.sizeChanged ? "true" : "false");
        }
        Report(
            "%s],\n  \"totals\": {\"frames\": %zu, \"pixels\": %lld, \"stream_blocks\": %lld, "
            "\"stream_bytes\": %lld, \"junk_blocks\": %lld, \"size_changes\": %d, "
            "\"stream_percent_of_raw\": %.2f, \"frame_bytes\": %lld, "
            "\"frame_percent_of_raw\": %.2f},\n",
            rows.empty() ? "" : "\n  ", rows.size(), (long long)pixels, (long long)streamBlocks,
            (long long)streamBytes, (long long)junkBlocks, sizeChanges, streamPercent,
            (long long)frameBytes, framePercent);
        if (outcome.failed) {
            Report(
                "  \"error\": {\"image\": %u, \"file_image\": %s, \"routine\": %s, "
                "\"message\": %s, \"block_number\": %d}\n}\n",
                outcome.failedIndex,
                outcome.failedFileImage == AllOnes
                    ? "null"
                    : std::to_string(outcome.failedFileImage).c_str(),
                JsonString(outcome.report.routine).c_str(), JsonString(outcome.report.text).c_str(),
                outcome.report.blockNumber);
        } else {
            Report("  \"error\": null\n}\n");
        }
    } else {
        Report("%5s %5s %10s %7s %6s %6s%s %5s %6s %5s %11s %7s %6s\n", "image", "file", "offset",
               "block", "width", "height", adjusted ? "     IW" : "", "depth", "table", "LUT",
               "fill", "stream", "junk");
        for (const Row& r : rows) {
            std::string fill = std::to_string(r.fill[0]) + "," + std::to_string(r.fill[1]) + "," +
                               std::to_string(r.fill[2]);
            std::string junk =
                (r.junkBefore < 0 ? std::string("?") : std::to_string(r.junkBefore)) + "/" +
                std::to_string(r.junkInside);
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "literal" + string.
            std::string iw;
            if (adjusted) {
                std::string number = std::to_string(r.iw);
                iw.assign(1 + 6 - std::min<size_t>(6, number.size()), ' ');
                iw += number;
            }
            Report("%5u %5u %10lld %7d %6d %6d%s %5d %6s %5s %11s %7d %6s%s\n", r.layout.index,
                   r.layout.fileImage, (long long)r.layout.headerOffset, r.layout.headerBlock,
                   r.width, r.height, iw.c_str(), r.depth, r.colorFlag ? "colour" : "grey",
                   LutSize(r.depth).c_str(), fill.c_str(),
                   r.layout.streamLastBlock - r.layout.streamFirstBlock + 1, junk.c_str(),
                   r.sizeChanged ? " *" : "");
        }
        Report("\n%s: %lld bytes, %lld blocks", parsed.path.c_str(), (long long)survey.bytes,
               (long long)survey.blocks);
        if (survey.trailingBytes > 0)
            Report(" and %lld trailing bytes that are never read", (long long)survey.trailingBytes);
        Report(", %lld header blocks\n", (long long)survey.headerBlocks);
        Report("frames: %zu shown, %d size changes, %lld junk blocks skipped\n", rows.size(),
               sizeChanges, (long long)junkBlocks);
        Report(
            "raw 8-bit frames: %lld bytes; these frames take %lld bytes (%.1f%% of raw), "
            "their pixel streams %lld blocks, %lld bytes (%.1f%% of raw)\n",
            (long long)pixels, (long long)frameBytes, framePercent, (long long)streamBlocks,
            (long long)streamBytes, streamPercent);
    }
    fflush(ReportStream);
    if (outcome.failed) Fail(DescribeFailure(parsed.path, outcome));
    return 0;
}

int WriteInfo(const std::vector<std::string>& args, FILE* out) {
    ReportStream = out;
    try {
        int status = RunInfo(args);
        ReportStream = stdout;
        return status;
    } catch (...) {
        ReportStream = stdout;
        throw;
    }
}
