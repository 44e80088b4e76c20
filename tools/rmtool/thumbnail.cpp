#include "tools/rmtool/thumbnail.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/rmtool/commands.h"
#include "tools/rmtool/viewer_reader.h"

const char* const ThumbnailUsage =
    "Usage: rmtool thumbnail [-s SIZE] FILE OUT.png\n"
    "\n"
    "Writes the first frame as the viewer shows it (with its own colour table) into OUT.png,\n"
    "an RGB PNG, reduced to fit SIZE x SIZE pixels with its aspect kept, each pixel the\n"
    "average of the area of the frame it covers. A frame that fits already keeps its size:\n"
    "nothing is enlarged. Only the blocks of the first frame are read.\n"
    "  -s SIZE    the largest width and height (default 256)\n"
    "OUT.png is replaced when it exists (file managers hand over a name they made); it is\n"
    "written whole or not at all. A damaged first frame: one line on stderr, status 1.\n"
    "This is the command of the desktop's thumbnailer entry:\n"
    "  rmtool thumbnail -s %s %i %o\n";

namespace {

constexpr int32_t DefaultSize = 256;

struct Extent {
    int32_t width = 0;
    int32_t height = 0;
};

// The largest size within `box` x `box` with the frame's aspect, never larger than the frame.
Extent FitWithin(int32_t width, int32_t height, int32_t box) {
    if (width <= box && height <= box) return {width, height};
    auto scaled = [box](int64_t side, int64_t longest) {
        return static_cast<int32_t>(std::max<int64_t>(1, (side * box + longest / 2) / longest));
    };
    if (width >= height) return {box, scaled(height, width)};
    return {scaled(width, height), box};
}

// How output pixels along one axis cover source pixels. With `from` source pixels reduced
// to `to`, measured in units of 1/`to` of a source pixel each source pixel is `to` units long
// and each output pixel `from` units: the overlaps are whole numbers and the weights of one
// output pixel add up to `from`, fractional source pixels at its edges included.
struct Taps {
    std::vector<uint32_t> first;  // per output pixel: its first entry in source/weight
    std::vector<int32_t> source;
    std::vector<uint32_t> weight;
};

Taps AreaTaps(int32_t from, int32_t to) {
    Taps taps;
    for (int64_t j = 0; j < to; ++j) {
        taps.first.push_back(static_cast<uint32_t>(taps.source.size()));
        const int64_t begin = j * from, end = (j + 1) * from;
        for (int64_t i = begin / to; i * to < end; ++i) {
            const int64_t overlap = std::min((i + 1) * to, end) - std::max(i * to, begin);
            taps.source.push_back(static_cast<int32_t>(i));
            taps.weight.push_back(static_cast<uint32_t>(overlap));
        }
    }
    taps.first.push_back(static_cast<uint32_t>(taps.source.size()));
    return taps;
}

// The decoded frame as the viewer draws it, read in place: the image array holds the bottom
// row first, and indices past the colour table show black.
struct Source {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    Rgb palette[256];

    const uint8_t* Row(int32_t y) const {
        return pixels + static_cast<size_t>(height - 1 - y) * stride;
    }
};

Source SourceOf(const Image& image) {
    Source source;
    source.width = image.IW;
    source.height = image.IH;
    source.pixels = image.Pixels;
    source.stride = static_cast<size_t>(image.ScanLineWidth);
    CheckImageArray(image);
    for (size_t i = 0; i < image.LUTSize && i < 256 && image.LUT != nullptr; ++i)
        source.palette[i] = Rgb{image.LUT[i].Red, image.LUT[i].Green, image.LUT[i].Blue};
    return source;
}

// Box filter over the exact footprint of every output pixel, in the frame's 8-bit RGB.
// Rows are reduced across first, one source row at a time; a source row on the border of
// two output rows is reduced once and used for both.
std::vector<uint8_t> ReduceByAreaAverage(const Source& frame, Extent out) {
    const Taps across = AreaTaps(frame.width, out.width);
    const Taps down = AreaTaps(frame.height, out.height);
    const uint64_t total = static_cast<uint64_t>(frame.width) * frame.height;
    std::vector<uint64_t> rowSums(static_cast<size_t>(out.width) * 3);
    std::vector<uint64_t> sums(rowSums.size());
    std::vector<uint8_t> rgb(rowSums.size() * out.height);
    // A row of index 0 alone (the most of a frame far larger than its stream, whose pages
    // were never written) reduces to the same sums every time: made once, then copied.
    std::vector<uint64_t> blankSums(rowSums.size());
    const Rgb& black = frame.palette[0];
    for (int32_t j = 0; j < out.width; ++j) {
        uint64_t weights = 0;
        for (uint32_t s = across.first[j]; s < across.first[j + 1]; ++s)
            weights += across.weight[s];
        blankSums[3 * j] = weights * black.r;
        blankSums[3 * j + 1] = weights * black.g;
        blankSums[3 * j + 2] = weights * black.b;
    }
    auto blank = [&](const uint8_t* row) {
        return row[0] == 0 && std::memcmp(row, row + 1, static_cast<size_t>(frame.width) - 1) == 0;
    };
    int32_t reducedRow = -1;
    for (int32_t k = 0; k < out.height; ++k) {
        std::fill(sums.begin(), sums.end(), 0);
        for (uint32_t t = down.first[k]; t < down.first[k + 1]; ++t) {
            const int32_t y = down.source[t];
            if (y != reducedRow && blank(frame.Row(y))) {
                rowSums = blankSums;
                reducedRow = y;
            } else if (y != reducedRow) {
                const uint8_t* row = frame.Row(y);
                for (int32_t j = 0; j < out.width; ++j) {
                    uint64_t r = 0, g = 0, b = 0;
                    for (uint32_t s = across.first[j]; s < across.first[j + 1]; ++s) {
                        const Rgb& c = frame.palette[row[across.source[s]]];
                        const uint64_t w = across.weight[s];
                        r += w * c.r;
                        g += w * c.g;
                        b += w * c.b;
                    }
                    rowSums[3 * j] = r;
                    rowSums[3 * j + 1] = g;
                    rowSums[3 * j + 2] = b;
                }
                reducedRow = y;
            }
            const uint64_t w = down.weight[t];
            for (size_t n = 0; n < sums.size(); ++n) sums[n] += w * rowSums[n];
        }
        uint8_t* outRow = rgb.data() + static_cast<size_t>(k) * sums.size();
        for (size_t n = 0; n < sums.size(); ++n)
            outRow[n] = static_cast<uint8_t>((sums[n] + total / 2) / total);
    }
    return rgb;
}

void WriteRgbPng(const std::string& path, Extent size, const std::vector<uint8_t>& rgb) {
    // File managers hand over a name they have already made: it is replaced.
    AtomicFile file(path, true);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size.width);
    image.height = static_cast<png_uint_32>(size.height);
    image.format = PNG_FORMAT_RGB;
    // A thumbnail is small and read once: fast compression over the smallest file.
    image.flags = PNG_IMAGE_FLAG_FAST;
    const bool ok = png_image_write_to_stdio(&image, file.Stream(), 0, rgb.data(), 0, nullptr) != 0;
    const std::string error = ok ? "" : image.message;
    png_image_free(&image);
    if (!ok) Fail(path + ": cannot write PNG: " + file.FailureReason(error));
    file.Commit();
}

int32_t ParseSize(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > INT32_MAX)
        FailUsage("thumbnail: -s takes a size in pixels, 1 or more (not '" + text + "')");
    return static_cast<int32_t>(value);
}

}  // namespace

int RunThumbnail(const std::vector<std::string>& args) {
    int32_t box = DefaultSize;
    std::vector<std::string> names;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "-s") {
            if (i + 1 >= args.size()) FailUsage("thumbnail: -s needs a size");
            box = ParseSize(args[++i]);
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            FailUsage("thumbnail: unknown option '" + a + "' (see rmtool thumbnail --help)");
        } else {
            names.push_back(a);
        }
    }
    if (names.size() != 2)
        FailUsage(
            "thumbnail: give one metafile and one PNG to write (see rmtool thumbnail --help)");

    // No viewer options: the first frame with its own colour table, in colour.
    const std::string path = OpenWithViewer(names[0], {}, SourceUse::ForwardOnly);
    // The frame's blocks are read in order: fewer, larger reads (nothing has been read yet).
    static char readBuffer[1 << 16];
    setvbuf(State.MetafileStream, readBuffer, _IOFBF, sizeof readBuffer);
    ScopedImage image;
    InitImage(image);
    ReadOutcome outcome;
    const FetchResult result = FetchImage(0, image, nullptr, &outcome.report);
    if (result != FetchResult::Decoded) {
        outcome.failed = true;
        outcome.failedFileImage = State.FileImageNumber[0];
        if (result == FetchResult::End) outcome.report.text = "Error: no frame";
        Fail(DescribeFailure(path, outcome));
    }
    if (image.IW <= 0 || image.IH <= 0)
        Fail(path + ": the first frame is " + std::to_string(image.IW) + "x" +
             std::to_string(image.IH) + ": no picture");
    const Source frame = SourceOf(image);
    const Extent size = FitWithin(frame.width, frame.height, box);
    WriteRgbPng(names[1], size, ReduceByAreaAverage(frame, size));
    return 0;
}
