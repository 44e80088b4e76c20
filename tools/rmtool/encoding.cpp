#include "tools/rmtool/encoding.h"

#include <array>

namespace {

uint64_t FillSaving(uint64_t length) {
    if (length < 2) return 0;
    return (length + rmwriter::MaxCount - 1) / rmwriter::MaxCount;
}

// Counts the words of the stream that starts at block `firstBlock`, by kind.
void CountWords(const std::vector<uint8_t>& bytes, size_t firstBlock, EncodeStats& stats) {
    for (size_t at = firstBlock * rmwriter::BlockSize + 2; at + 1 < bytes.size(); at += 2) {
        switch (bytes[at + 1] >> 4) {
        case rmwriter::OpSetRunLength:
        case rmwriter::OpRepeatedRun: ++stats.runWords; break;
        case rmwriter::OpFill: ++stats.fillWords; break;
        case rmwriter::OpLiteral: ++stats.literalWords; break;
        case rmwriter::OpEndOfScanLine: ++stats.endOfLineWords; break;
        case rmwriter::OpEndOfFrame: return;
        default: break;
        }
    }
}

}  // namespace

uint8_t ChooseFillValue(const IndexedFrame& frame, uint64_t* saves) {
    std::array<uint64_t, 256> saving{};
    for (int32_t y = 0; y < frame.height; ++y) {
        const uint8_t* row = frame.pixels.data() + static_cast<size_t>(y) * frame.width;
        for (int32_t x = 0; x < frame.width;) {
            int32_t end = x + 1;
            while (end < frame.width && row[end] == row[x]) ++end;
            saving[row[x]] += FillSaving(static_cast<uint64_t>(end - x));
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

MetafileEncoder::Changes MetafileEncoder::Add(const SourcePicture& picture) {
    Changes changes;
    if (picture.indexed) {
        IndexedFrame frame = picture.frame;
        changes.zero = ReserveBlackAtZero(frame);
        AddFrame(frame);
    } else {
        AddFrame(ReduceColours(picture.width, picture.height, picture.rgb, choices_.dither,
                               &changes.quantised));
    }
    return changes;
}

void MetafileEncoder::AddFrame(const IndexedFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) Fail("a frame without pixels cannot be written");
    rmwriter::Frame out;
    out.header.Width = frame.width;
    out.header.Height = frame.height;
    out.header.Depth = DepthFor(frame.palette.size());
    const bool grey = choices_.grey || IsGreyPalette(frame.palette);
    out.header.ColorFlag = grey ? 0 : 1;
    for (const Rgb& c : frame.palette) {
        if (grey) {
            out.colors.Red.push_back(choices_.grey ? ViewerGrey(c) : c.r);
        } else {
            out.colors.Red.push_back(c.r);
            out.colors.Green.push_back(c.g);
            out.colors.Blue.push_back(c.b);
        }
    }
    uint64_t saves = 0;
    out.header.Fill[0] = ChooseFillValue(frame, &saves);
    out.useFill = saves > 0;
    out.rows.resize(static_cast<size_t>(frame.height));
    for (int32_t y = 0; y < frame.height; ++y) {
        const uint8_t* row = frame.pixels.data() + static_cast<size_t>(y) * frame.width;
        out.rows[y].assign(row, row + frame.width);
    }

    const size_t before = file_.BlockCount();
    file_.AddFrame(out);
    const size_t tableBlocks = grey ? 1 : 3;
    const size_t streamFirst = before + 1 + tableBlocks;
    CountWords(file_.Bytes(), streamFirst, stats_);
    ++stats_.frames;
    stats_.rawBytes += static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height);
    stats_.fileBytes = file_.Bytes().size();
    stats_.streamBytes += (file_.BlockCount() - streamFirst) * rmwriter::BlockSize;
}

void MetafileEncoder::Save(const std::string& path) {
    const std::vector<uint8_t>& bytes = file_.Bytes();
    WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()), choices_.force);
}
