#include "tools/rmtool/colour_reduction.h"

#include <libimagequant.h>
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

uint8_t ViewerGrey(const Rgb& c) {
    double v = (c.g * 0.59 + c.r * 0.3) + c.b * 0.11;
    return static_cast<uint8_t>(v);
}

bool IsGreyPalette(const std::vector<Rgb>& palette) {
    return std::all_of(palette.begin(), palette.end(),
                       [](const Rgb& c) { return c.r == c.g && c.g == c.b; });
}

static int ColourDistance(const Rgb& a, const Rgb& b) {
    int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

ZeroFix ReserveBlackAtZero(IndexedFrame& frame) {
    constexpr Rgb black{0, 0, 0};
    if (frame.palette.empty()) frame.palette.push_back(black);
    if (frame.palette[0] == black) return ZeroFix::Kept;

    std::array<bool, 256> used{};
    for (uint8_t p : frame.pixels) used[p] = true;
    if (!used[0]) {
        frame.palette[0] = black;
        return ZeroFix::Kept;
    }

    // A free index: past the end of a short palette, or one that no pixel uses.
    int target = -1;
    if (frame.palette.size() < 256) {
        target = static_cast<int>(frame.palette.size());
        frame.palette.push_back(frame.palette[0]);
    } else {
        for (int i = 1; i < 256 && target < 0; ++i)
            if (!used[i]) target = i;
        if (target >= 0) frame.palette[target] = frame.palette[0];
    }
    ZeroFix result = ZeroFix::Moved;
    if (target < 0) {
        // Every index is in use: give index 0's pixels the same colour elsewhere if there is
        // one, else the nearest.
        int best = 1;
        for (int i = 1; i < 256; ++i)
            if (ColourDistance(frame.palette[i], frame.palette[0]) <
                ColourDistance(frame.palette[best], frame.palette[0]))
                best = i;
        target = best;
        if (!(frame.palette[best] == frame.palette[0])) result = ZeroFix::Merged;
    }
    for (uint8_t& p : frame.pixels)
        if (p == 0) p = static_cast<uint8_t>(target);
    frame.palette[0] = black;
    return result;
}

static bool ExactColours(int32_t width, int32_t height, const std::vector<Rgb>& rgb,
                         IndexedFrame& out) {
    // At most 256 colours are taken, so an open-addressed table of 1024 slots never fills.
    // Black first, so that a picture with black in it needs nothing moved.
    constexpr uint32_t Slots = 1024, Empty = 0xFFFFFFFFu;
    std::vector<uint32_t> keys(Slots, Empty);
    std::vector<uint8_t> values(Slots, 0);
    auto slotOf = [&](uint32_t key) {
        uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != Empty && keys[slot] != key) slot = (slot + 1) % Slots;
        return slot;
    };
    keys[slotOf(0)] = 0;
    out.palette.assign(1, Rgb{0, 0, 0});
    out.pixels.resize(rgb.size());
    uint32_t lastKey = 0;
    uint8_t lastIndex = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        uint32_t key = (uint32_t{rgb[i].r} << 16) | (uint32_t{rgb[i].g} << 8) | rgb[i].b;
        if (key != lastKey) {
            uint32_t slot = slotOf(key);
            if (keys[slot] == Empty) {
                if (out.palette.size() == 256) return false;
                keys[slot] = key;
                values[slot] = static_cast<uint8_t>(out.palette.size());
                out.palette.push_back(rgb[i]);
            }
            lastKey = key;
            lastIndex = values[slot];
        }
        out.pixels[i] = lastIndex;
    }
    out.width = width;
    out.height = height;
    return true;
}

namespace {

// The colour cube is cut into cells of CellSide^3 colours, each listed with the entries that
// can be nearest to some colour in it.
constexpr int CellBits = 3, CellSide = 1 << CellBits, CellsPerSide = 256 / CellSide;

int CellOf(const Rgb& c) {
    return ((c.r >> CellBits) * CellsPerSide + (c.g >> CellBits)) * CellsPerSide +
           (c.b >> CellBits);
}

// Squared distances from an entry to the nearest and the farthest colour of a cell's side.
int NearSquare(int value, int low) {
    int d = value < low                  ? low - value
            : value > low + CellSide - 1 ? value - (low + CellSide - 1)
                                         : 0;
    return d * d;
}
int FarSquare(int value, int low) {
    int d = std::max(std::abs(value - low), std::abs(value - (low + CellSide - 1)));
    return d * d;
}

}  // namespace

const std::array<uint32_t, 256> NearestColours::Spread = [] {
    std::array<uint32_t, 256> spread{};
    for (uint32_t v = 0; v < 256; ++v)
        for (int bit = 0; bit < 8; ++bit) spread[v] |= (v >> bit & 1) << (3 * bit);
    return spread;
}();

void NearestColours::SetPalette(const std::vector<Rgb>& palette) {
    palette_ = palette;
    // 16 MB read at random: in huge pages, where the system has them, it needs a handful of
    // TLB entries instead of four thousand.
    constexpr size_t TableSize = size_t{1} << 24, HugePage = size_t{1} << 21;
    if (!table_) {
        table_.reset(static_cast<uint8_t*>(std::aligned_alloc(HugePage, TableSize)));
        if (!table_) ThrowToolError("colour table: out of memory");
        madvise(table_.get(), TableSize, MADV_HUGEPAGE);
    }
    std::memset(table_.get(), 0, TableSize);
    cellFirst_.assign(CellsPerSide * CellsPerSide * CellsPerSide, -1);
    cellEntries_.clear();
}

uint8_t NearestColours::Search(const Rgb& colour, uint32_t key) {
    const int cell = CellOf(colour);
    if (cellFirst_[cell] < 0) {
        // Every colour of the cell is at most `reach` from some entry, so an entry that is
        // farther than that from the whole cell is never the nearest.
        const int low[3] = {colour.r & ~(CellSide - 1), colour.g & ~(CellSide - 1),
                            colour.b & ~(CellSide - 1)};
        int reach = std::numeric_limits<int>::max();
        for (size_t e = 1; e < palette_.size(); ++e) {
            const Rgb& p = palette_[e];
            reach = std::min(
                reach, FarSquare(p.r, low[0]) + FarSquare(p.g, low[1]) + FarSquare(p.b, low[2]));
        }
        cellFirst_[cell] = static_cast<int32_t>(cellEntries_.size());
        for (size_t e = 1; e < palette_.size(); ++e) {
            const Rgb& p = palette_[e];
            if (NearSquare(p.r, low[0]) + NearSquare(p.g, low[1]) + NearSquare(p.b, low[2]) <=
                reach)
                cellEntries_.push_back(static_cast<uint8_t>(e));
        }
        cellEntries_.push_back(0);
    }
    // In index order, so that the lowest of equally near entries wins.
    const uint8_t* entry = cellEntries_.data() + cellFirst_[cell];
    uint8_t best = *entry;
    int bestDistance = ColourDistance(colour, palette_[best]);
    for (++entry; *entry != 0; ++entry) {
        const int d = ColourDistance(colour, palette_[*entry]);
        if (d < bestDistance) {
            bestDistance = d;
            best = *entry;
        }
    }
    table_.get()[key] = best;
    return best;
}

void NearestColours::Map(const std::vector<Rgb>& rgb, std::vector<uint8_t>& pixels) {
    pixels.resize(rgb.size());
    if (palette_.size() < 2) {
        std::fill(pixels.begin(), pixels.end(), uint8_t{0});
        return;
    }
    // No test for a colour like the last one: the loop stays free of unpredictable branches,
    // so that the table's cache misses overlap.
    for (size_t i = 0; i < rgb.size(); ++i) pixels[i] = Nearest(rgb[i]);
}

double NearestColours::MeanError(const std::vector<Rgb>& rgb, size_t samples) {
    if (rgb.empty() || palette_.size() < 2) return 0;
    // An odd step, so that the sample does not fall on the same columns in every row of an
    // even width.
    size_t step = std::max<size_t>(1, rgb.size() / std::max<size_t>(1, samples)) | 1;
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < rgb.size(); i += step, ++count)
        sum += ColourDistance(rgb[i], palette_[Nearest(rgb[i])]);
    return sum / static_cast<double>(count);
}

namespace {

// libimagequant's palette of at most 255 colours for a picture, after black at index 0; with
// `dithered`, also the picture remapped to it with Floyd-Steinberg dithering.
std::vector<Rgb> Quantise(int32_t width, int32_t height, const std::vector<Rgb>& rgb,
                          std::vector<uint8_t>* dithered) {
    std::vector<liq_color> rgba(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i) rgba[i] = liq_color{rgb[i].r, rgb[i].g, rgb[i].b, 255};

    struct Release {
        void operator()(liq_attr* p) const { liq_attr_destroy(p); }
        void operator()(liq_image* p) const { liq_image_destroy(p); }
        void operator()(liq_result* p) const { liq_result_destroy(p); }
    };
    using Attr = std::unique_ptr<liq_attr, Release>;
    using LiqImage = std::unique_ptr<liq_image, Release>;
    using Result = std::unique_ptr<liq_result, Release>;
    Attr attr(liq_attr_create());
    if (!attr) ThrowToolError("colour quantiser: cannot start");
    // 255 colours leave index 0 free for the black that the viewer puts there.
    liq_set_max_colors(attr.get(), 255);
    // The fastest setting: frames come by the thousand (video through a pipe), and its
    // palettes are still close to the slower ones'.
    liq_set_speed(attr.get(), 10);
    LiqImage image(liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0));
    if (!image)
        ThrowToolError("colour quantiser: cannot take a " + std::to_string(width) + "x" +
                       std::to_string(height) + " picture");
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || raw == nullptr)
        ThrowToolError("colour quantiser: quantisation failed");
    Result result(raw);
    liq_set_dithering_level(result.get(), 1.0f);
    if (dithered) {
        dithered->resize(rgb.size());
        if (liq_write_remapped_image(result.get(), image.get(), dithered->data(),
                                     dithered->size()) != LIQ_OK)
            ThrowToolError("colour quantiser: remapping failed");
        for (uint8_t& p : *dithered) ++p;
    }
    const liq_palette* palette = liq_get_palette(result.get());
    std::vector<Rgb> colours(1, Rgb{0, 0, 0});
    for (unsigned i = 0; i < palette->count; ++i)
        colours.push_back(Rgb{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b});
    return colours;
}

// A kept palette serves a new frame while its mean squared error there stays within this
// share above its error on its own frame (or within ErrorSlack, for palettes that fitted their
// frame almost exactly). On a zooming fractal video a tenth makes 8 palettes for 100 frames,
// and the frames come out about 1% farther from their colours than with a palette each.
constexpr double ErrorGrowth = 0.1, ErrorSlack = 1.0;
// The error is judged from this many pixels of a frame.
constexpr size_t ErrorSamples = size_t{1} << 15;

}  // namespace

IndexedFrame ColourReducer::Reduce(int32_t width, int32_t height, const std::vector<Rgb>& rgb,
                                   bool* quantised) {
    IndexedFrame out;
    if (ExactColours(width, height, rgb, out)) {
        if (quantised) *quantised = false;
        return out;
    }
    if (quantised) *quantised = true;
    out.width = width;
    out.height = height;
    if (dither_) {
        out.palette = Quantise(width, height, rgb, &out.pixels);
        ++palettesMade_;
        return out;
    }
    const bool keep =
        nearest_.Palette().size() >= 2 &&
        nearest_.MeanError(rgb, ErrorSamples) <= paletteError_ * (1 + ErrorGrowth) + ErrorSlack;
    if (!keep) {
        nearest_.SetPalette(Quantise(width, height, rgb, nullptr));
        paletteError_ = nearest_.MeanError(rgb, ErrorSamples);
        ++palettesMade_;
    }
    out.palette = nearest_.Palette();
    nearest_.Map(rgb, out.pixels);
    return out;
}
