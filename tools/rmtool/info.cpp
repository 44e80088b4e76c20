#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "format/metafile_format.h"
#include "tools/rmtool/command_args.h"
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

using Json = nlohmann::ordered_json;

struct Row {
    FrameLayout layout;
    int32_t width, height, iw, depth;
    uint16_t colorFlag;
    uint8_t fill[3];
    int32_t junkBefore;  // -1: not known (the frame before it in the file was not read)
    int32_t junkInside;
    bool sizeChanged;
    int64_t pixels;

    int32_t StreamBlocks() const { return layout.streamLastBlock - layout.streamFirstBlock + 1; }
};

// The rows of the frames read, each measured against the frame read before it.
class RowCollector {
   public:
    explicit RowCollector(int32_t widthAdjust) : widthAdjust_(widthAdjust) {}
    void operator()(const Image& image, const FrameLayout& layout);
    std::vector<Row> rows;

   private:
    int32_t widthAdjust_;
    int32_t previousLastBlock_ = -1;
    uint32_t previousFileImage_ = AllOnes;
    int32_t previousW_ = 0, previousH_ = 0;
};

void RowCollector::operator()(const Image& image, const FrameLayout& layout) {
    Row row{};
    row.layout = layout;
    row.iw = image.IW;
    row.width =
        static_cast<int32_t>(static_cast<uint32_t>(image.IW) - static_cast<uint32_t>(widthAdjust_));
    row.height = image.IH;
    row.depth = image.Depth;
    row.colorFlag = image.ColorFlag;
    for (int k = 0; k < 3; ++k) row.fill[k] = image.FillValues[k];
    if (layout.fileImage == 0)
        row.junkBefore = layout.headerBlock;
    else if (previousFileImage_ != AllOnes && layout.fileImage == previousFileImage_ + 1)
        row.junkBefore = layout.headerBlock - previousLastBlock_ - 1;
    else
        row.junkBefore = -1;
    row.junkInside =
        layout.streamFirstBlock - layout.headerBlock - 1 - (layout.lutRead ? layout.lutBlocks : 0);
    if (!layout.lutRead) {
        // Unread LUT blocks are skipped as the reader looks for the start word; they are
        // part of the frame all the same.
        row.junkInside -= layout.lutBlocks;
        if (row.junkInside < 0) row.junkInside = 0;
    }
    row.sizeChanged = !rows.empty() && (image.IW != previousW_ || image.IH != previousH_);
    row.pixels = int64_t{image.IW > 0 ? image.IW : 0} * (image.IH > 0 ? image.IH : 0);
    rows.push_back(row);
    previousLastBlock_ = layout.streamLastBlock;
    previousFileImage_ = layout.fileImage;
    previousW_ = image.IW;
    previousH_ = image.IH;
}

struct Totals {
    int64_t streamBlocks = 0, frameBlocks = 0, junkBlocks = 0, pixels = 0;
    int sizeChanges = 0;
    int64_t streamBytes = 0, frameBytes = 0;
    // The pixel streams, and the frames shown from header to end word, against their raw
    // 8-bit pixels; with a selection this is not the whole file.
    double streamPercent = 0, framePercent = 0;
};

Totals AddUp(const std::vector<Row>& rows) {
    Totals t;
    for (const Row& r : rows) {
        t.streamBlocks += r.StreamBlocks();
        t.frameBlocks += r.layout.streamLastBlock - r.layout.headerBlock + 1;
        t.junkBlocks += (r.junkBefore > 0 ? r.junkBefore : 0) + r.junkInside;
        t.pixels += r.pixels;
        t.sizeChanges += r.sizeChanged ? 1 : 0;
    }
    t.streamBytes = t.streamBlocks * BlockSize;
    t.frameBytes = t.frameBlocks * BlockSize;
    if (t.pixels > 0) {
        t.streamPercent = 100.0 * double(t.streamBytes) / double(t.pixels);
        t.framePercent = 100.0 * double(t.frameBytes) / double(t.pixels);
    }
    return t;
}

std::string LutSize(int32_t depth) {
    return depth >= 0 && depth <= 8 ? std::to_string(1 << depth) : "-";
}

// What `info` reports, as it has read it.
struct InfoReport {
    std::string path;
    FileSurvey survey;
    int32_t widthAdjust = 0;
    std::vector<Row> rows;
    Totals totals;
    ReadOutcome outcome;
};

Json FrameJson(const Row& r) {
    const std::string lutSize = LutSize(r.depth);
    return Json{{"image", r.layout.index},
                {"file_image", r.layout.fileImage},
                {"header_offset", r.layout.headerOffset},
                {"header_block", r.layout.headerBlock},
                {"width", r.width},
                {"height", r.height},
                {"IW", r.iw},
                {"depth", r.depth},
                {"color_flag", r.colorFlag},
                {"lut_size", lutSize == "-" ? Json() : Json(1 << r.depth)},
                {"lut_read", r.layout.lutRead},
                {"fill_values", {r.fill[0], r.fill[1], r.fill[2]}},
                {"stream_first_block", r.layout.streamFirstBlock},
                {"stream_last_block", r.layout.streamLastBlock},
                {"stream_blocks", r.StreamBlocks()},
                {"junk_before", r.junkBefore < 0 ? Json() : Json(r.junkBefore)},
                {"junk_inside", r.junkInside},
                {"size_changed", r.sizeChanged}};
}

Json TotalsJson(size_t frames, const Totals& t) {
    return Json{{"frames", frames},
                {"pixels", t.pixels},
                {"stream_blocks", t.streamBlocks},
                {"stream_bytes", t.streamBytes},
                {"junk_blocks", t.junkBlocks},
                {"size_changes", t.sizeChanges},
                {"stream_percent_of_raw", t.streamPercent},
                {"frame_bytes", t.frameBytes},
                {"frame_percent_of_raw", t.framePercent}};
}

Json ErrorJson(const ReadOutcome& outcome) {
    if (!outcome.failed) return Json();
    const uint32_t fileImage = outcome.failedFileImage;
    return Json{{"image", outcome.failedIndex},
                {"file_image", fileImage == AllOnes ? Json() : Json(fileImage)},
                {"routine", outcome.report.routine},
                {"message", outcome.report.text},
                {"block_number", outcome.report.blockNumber}};
}

Json InfoJson(const InfoReport& report) {
    Json frames = Json::array();
    for (const Row& r : report.rows) frames.push_back(FrameJson(r));
    return Json{{"file", report.path},
                {"bytes", report.survey.bytes},
                {"blocks", report.survey.blocks},
                {"trailing_bytes", report.survey.trailingBytes},
                {"header_blocks", report.survey.headerBlocks},
                {"width_adjust", report.widthAdjust},
                {"frames", std::move(frames)},
                {"totals", TotalsJson(report.rows.size(), report.totals)},
                {"error", ErrorJson(report.outcome)}};
}

// A value on one line, with a space after each ':' and ','; fractions with two decimals (the
// percentages are the only ones). Strings as the library escapes them, bytes that are not
// UTF-8 replaced.
std::string OneLine(const Json& value) {
    std::string out;
    if (value.is_object() || value.is_array()) {
        out += value.is_object() ? "{" : "[";
        for (auto item = value.begin(); item != value.end(); ++item) {
            if (item != value.begin()) out += ", ";
            if (value.is_object()) out += Json(item.key()).dump() + ": ";
            out += OneLine(*item);
        }
        return out + (value.is_object() ? "}" : "]");
    }
    if (value.is_number_float()) {
        char text[32];
        snprintf(text, sizeof text, "%.2f", value.get<double>());
        return text;
    }
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The document: one member a line, the frames one a line.
std::string LayOut(const Json& document) {
    std::string out = "{";
    for (auto member = document.begin(); member != document.end(); ++member) {
        out += member == document.begin() ? "\n  " : ",\n  ";
        out += Json(member.key()).dump() + ": ";
        if (!member->is_array() || member->empty()) {
            out += OneLine(*member);
            continue;
        }
        for (auto item = member->begin(); item != member->end(); ++item)
            out += (item == member->begin() ? "[\n    " : ",\n    ") + OneLine(*item);
        out += "\n  ]";
    }
    return out + "\n}\n";
}

void WriteRows(FILE* out, const std::vector<Row>& rows, bool adjusted) {
    fprintf(out, "%5s %5s %10s %7s %6s %6s%s %5s %6s %5s %11s %7s %6s\n", "image", "file", "offset",
            "block", "width", "height", adjusted ? "     IW" : "", "depth", "table", "LUT", "fill",
            "stream", "junk");
    for (const Row& r : rows) {
        std::string fill = std::to_string(r.fill[0]) + "," + std::to_string(r.fill[1]) + "," +
                           std::to_string(r.fill[2]);
        std::string junk = (r.junkBefore < 0 ? std::string("?") : std::to_string(r.junkBefore)) +
                           "/" + std::to_string(r.junkInside);
        // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "literal" + string.
        std::string iw;
        if (adjusted) {
            std::string number = std::to_string(r.iw);
            iw.assign(1 + 6 - std::min<size_t>(6, number.size()), ' ');
            iw += number;
        }
        fprintf(out, "%5u %5u %10lld %7d %6d %6d%s %5d %6s %5s %11s %7d %6s%s\n", r.layout.index,
                r.layout.fileImage, (long long)r.layout.headerOffset, r.layout.headerBlock, r.width,
                r.height, iw.c_str(), r.depth, r.colorFlag ? "colour" : "grey",
                LutSize(r.depth).c_str(), fill.c_str(), r.StreamBlocks(), junk.c_str(),
                r.sizeChanged ? " *" : "");
    }
}

void WriteSummary(FILE* out, const InfoReport& report) {
    const FileSurvey& survey = report.survey;
    const Totals& t = report.totals;
    fprintf(out, "\n%s: %lld bytes, %lld blocks", report.path.c_str(), (long long)survey.bytes,
            (long long)survey.blocks);
    if (survey.trailingBytes > 0)
        fprintf(out, " and %lld trailing bytes that are never read",
                (long long)survey.trailingBytes);
    fprintf(out, ", %lld header blocks\n", (long long)survey.headerBlocks);
    fprintf(out, "frames: %zu shown, %d size changes, %lld junk blocks skipped\n",
            report.rows.size(), t.sizeChanges, (long long)t.junkBlocks);
    fprintf(out,
            "raw 8-bit frames: %lld bytes; these frames take %lld bytes (%.1f%% of raw), "
            "their pixel streams %lld blocks, %lld bytes (%.1f%% of raw)\n",
            (long long)t.pixels, (long long)t.frameBytes, t.framePercent, (long long)t.streamBlocks,
            (long long)t.streamBytes, t.streamPercent);
}

// Reads the selected frames of the file the command line names.
InfoReport ReadReport(const CommandArgs& parsed) {
    InfoReport report;
    report.path =
        OpenWithViewer(parsed.OneMetafile("info"), parsed.viewerArgs, SourceUse::ForwardOnly);
    report.widthAdjust = State.WidthAdjust;
    RowCollector collect(report.widthAdjust);
    const int64_t headerBlocks = SurveyFile().headerBlocks;
    report.outcome =
        ReadSelectedImages("info", SelectedImageCount(headerBlocks), std::ref(collect));
    report.survey = SurveyFile(true);  // a pipe is counted to its end
    report.rows = std::move(collect.rows);
    report.totals = AddUp(report.rows);
    return report;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    return WriteInfo(args, stdout);
}

int WriteInfo(const std::vector<std::string>& args, FILE* out) {
    std::vector<OptionRule> rules = ViewerOptionRules;
    rules.push_back({"--json", OptionKind::Flag});
    const CommandArgs parsed = ParseCommandArgs("info", args, rules);
    const InfoReport report = ReadReport(parsed);
    if (parsed.Has("--json")) {
        const std::string text = LayOut(InfoJson(report));
        fwrite(text.data(), 1, text.size(), out);
    } else {
        WriteRows(out, report.rows, report.widthAdjust != 0);
        WriteSummary(out, report);
    }
    fflush(out);
    if (report.outcome.failed) ThrowToolError(DescribeFailure(report.path, report.outcome));
    return 0;
}
