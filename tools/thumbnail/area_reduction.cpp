#include "tools/thumbnail/area_reduction.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

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

struct Colour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
};

// The decoded frame as the viewer draws it, read in place: the image array holds the bottom
// row first, and indices past the colour table show black.
struct Source {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    Colour palette[256];

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
    for (size_t i = 0; i < image.LUTSize && i < 256 && image.LUT != nullptr; ++i)
        source.palette[i] = Colour{image.LUT[i].Red, image.LUT[i].Green, image.LUT[i].Blue};
    return source;
}

}  // namespace

Extent FitWithin(int32_t width, int32_t height, int32_t box) {
    if (width <= box && height <= box) return {width, height};
    auto scaled = [box](int64_t side, int64_t longest) {
        return static_cast<int32_t>(std::max<int64_t>(1, (side * box + longest / 2) / longest));
    };
    if (width >= height) return {box, scaled(height, width)};
    return {scaled(width, height), box};
}

namespace {

// One source row reduced across into `sums` (red, green, blue per output pixel).
void ReduceRow(const Source& frame, const Taps& across, const uint8_t* row,
               std::vector<uint64_t>& sums) {
    for (size_t j = 0; j + 1 < across.first.size(); ++j) {
        uint64_t r = 0, g = 0, b = 0;
        for (uint32_t s = across.first[j]; s < across.first[j + 1]; ++s) {
            const Colour& c = frame.palette[row[across.source[s]]];
            const uint64_t w = across.weight[s];
            r += w * c.r;
            g += w * c.g;
            b += w * c.b;
        }
        sums[3 * j] = r;
        sums[3 * j + 1] = g;
        sums[3 * j + 2] = b;
    }
}

bool RowIsBlank(const uint8_t* row, int32_t width) {
    return row[0] == 0 && std::memcmp(row, row + 1, static_cast<size_t>(width) - 1) == 0;
}

}  // namespace

// Box filter over the exact footprint of every output pixel, in the frame's 8-bit RGB.
// Rows are reduced across first, one source row at a time; a source row on the border of
// two output rows is reduced once and used for both. A row of index 0 alone (most of a frame
// far larger than its stream, whose pages were never written) always reduces to the same
// sums: they are made once and copied.
std::vector<uint8_t> ReduceByAreaAverage(const Image& image, Extent out) {
    const Source frame = SourceOf(image);
    const Taps across = AreaTaps(frame.width, out.width);
    const Taps down = AreaTaps(frame.height, out.height);
    const uint64_t total = static_cast<uint64_t>(frame.width) * frame.height;
    std::vector<uint64_t> rowSums(static_cast<size_t>(out.width) * 3);
    std::vector<uint64_t> sums(rowSums.size());
    std::vector<uint8_t> rgb(rowSums.size() * out.height);
    const std::vector<uint8_t> blankRow(static_cast<size_t>(frame.width), 0);
    std::vector<uint64_t> blankSums(rowSums.size());
    ReduceRow(frame, across, blankRow.data(), blankSums);
    int32_t reducedRow = -1;
    for (int32_t k = 0; k < out.height; ++k) {
        std::fill(sums.begin(), sums.end(), 0);
        for (uint32_t t = down.first[k]; t < down.first[k + 1]; ++t) {
            const int32_t y = down.source[t];
            if (y != reducedRow) {
                const uint8_t* row = frame.Row(y);
                if (RowIsBlank(row, frame.width))
                    rowSums = blankSums;
                else
                    ReduceRow(frame, across, row, rowSums);
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
