#include "tools/rmtool/encoding.h"

#include <array>

namespace {

uint64_t FillSaving(uint64_t length) {
    // Without a branch: most runs in a picture of many colours are single pixels.
    return (length >= 2) * ((length + rmwriter::MaxCount - 1) / rmwriter::MaxCount);
}

}  // namespace

uint8_t ChooseFillValue(const IndexedFrame& frame, uint64_t* saves) {
    std::array<uint64_t, 256> saving{};
    for (int32_t y = 0; y < frame.height; ++y) {
        const uint8_t* row = frame.pixels.data() + static_cast<size_t>(y) * frame.width;
        const size_t width = static_cast<size_t>(frame.width);
        for (size_t x = 0; x < width;) {
            const size_t end = rmwriter::RunEnd(row, x, width);
            saving[row[x]] += FillSaving(end - x);
            x = end;
        }
    }
    int best = 0;
    for (int v = 1; v < 256; ++v)
        if (saving[v] > saving[best]) best = v;
    if (saves) *saves = saving[best];
    return static_cast<uint8_t>(best);
}

int DepthFor(size_t paletteSize) {
    int depth = 0;
    while (depth < 8 && (size_t{1} << depth) < paletteSize) ++depth;
    return depth;
}

IndexedFrame MetafileEncoder::Prepare(const SourcePicture& picture, ColourReducer& reducer,
                                      Changes& changes) {
    if (picture.indexed) return PrepareIndexed(picture.frame, changes);
    changes = Changes{};
    return reducer.Reduce(picture.width, picture.height, picture.rgb, &changes.quantised);
}

IndexedFrame MetafileEncoder::PrepareIndexed(IndexedFrame frame, Changes& changes) {
    changes = Changes{};
    changes.zero = ReserveBlackAtZero(frame);
    return frame;
}

void MetafileEncoder::AddFrame(const IndexedFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0)
        ThrowToolError("a frame without pixels cannot be written");
    rmwriter::Header header;
    header.Width = frame.width;
    header.Height = frame.height;
    header.Depth = DepthFor(frame.palette.size());
    const bool grey = choices_.grey || IsGreyPalette(frame.palette);
    header.ColorFlag = grey ? 0 : 1;
    rmwriter::ColorTable colors;
    for (const Rgb& c : frame.palette) {
        if (grey) {
            colors.Red.push_back(choices_.grey ? ViewerGrey(c) : c.r);
        } else {
            colors.Red.push_back(c.r);
            colors.Green.push_back(c.g);
            colors.Blue.push_back(c.b);
        }
    }
    uint64_t saves = 0;
    header.Fill[0] = ChooseFillValue(frame, &saves);

    const size_t before = file_.BlockCount();
    const rmwriter::Metafile::RowWords words = file_.RowWordCounts();
    file_.AddFrame(header, colors, frame.pixels.data(), saves > 0);
    const size_t tableBlocks = grey ? 1 : 3;
    const size_t streamFirst = before + 1 + tableBlocks;
    stats_.runWords += file_.RowWordCounts().run - words.run;
    stats_.fillWords += file_.RowWordCounts().fill - words.fill;
    stats_.literalWords += file_.RowWordCounts().literal - words.literal;
    stats_.endOfLineWords += static_cast<uint64_t>(frame.height - 1);
    ++stats_.frames;
    stats_.rawBytes += static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height);
    stats_.fileBytes += (file_.BlockCount() - before) * rmwriter::BlockSize;
    stats_.streamBytes += (file_.BlockCount() - streamFirst) * rmwriter::BlockSize;
}
