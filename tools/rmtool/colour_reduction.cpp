#include "tools/rmtool/colour_reduction.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
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

// Each pixel to the nearest of palette entries 1 on (0 stays free for black). A frame has far
// fewer distinct colours than pixels, so each colour's nearest entry is found once and kept
// in a table over all 2^24 colours, which is reused from frame to frame.
static void MapToNearest(const std::vector<Rgb>& rgb, const std::vector<Rgb>& palette,
                         std::vector<uint8_t>& pixels) {
    if (palette.size() < 2) {
        std::fill(pixels.begin(), pixels.end(), uint8_t{0});
        return;
    }
    thread_local std::vector<uint8_t> nearest;
    thread_local std::vector<uint64_t> known;
    nearest.resize(size_t{1} << 24);
    known.assign((size_t{1} << 24) / 64, 0);
    for (size_t i = 0; i < rgb.size(); ++i) {
        const uint32_t key = (uint32_t{rgb[i].r} << 16) | (uint32_t{rgb[i].g} << 8) | rgb[i].b;
        if (!(known[key >> 6] >> (key & 63) & 1)) {
            size_t best = 1;
            for (size_t e = 2; e < palette.size(); ++e)
                if (ColourDistance(rgb[i], palette[e]) < ColourDistance(rgb[i], palette[best]))
                    best = e;
            nearest[key] = static_cast<uint8_t>(best);
            known[key >> 6] |= uint64_t{1} << (key & 63);
        }
        pixels[i] = nearest[key];
    }
}

IndexedFrame ReduceColours(int32_t width, int32_t height, const std::vector<Rgb>& rgb, bool dither,
                           bool* quantised) {
    IndexedFrame out;
    if (ExactColours(width, height, rgb, out)) {
        if (quantised) *quantised = false;
        return out;
    }
    if (quantised) *quantised = true;

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
    if (!attr) Fail("colour quantiser: cannot start");
    // 255 colours leave index 0 free for the black that the viewer puts there.
    liq_set_max_colors(attr.get(), 255);
    // The fastest setting: frames come by the thousand (video through a pipe), and its
    // palettes are still close to the slower ones'.
    liq_set_speed(attr.get(), 10);
    LiqImage image(liq_image_create_rgba(attr.get(), rgba.data(), width, height, 0));
    if (!image)
        Fail("colour quantiser: cannot take a " + std::to_string(width) + "x" +
             std::to_string(height) + " picture");
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || raw == nullptr)
        Fail("colour quantiser: quantisation failed");
    Result result(raw);
    liq_set_dithering_level(result.get(), dither ? 1.0f : 0.0f);

    out.width = width;
    out.height = height;
    out.pixels.resize(rgb.size());
    const liq_palette* palette = liq_get_palette(result.get());
    out.palette.assign(1, Rgb{0, 0, 0});
    for (unsigned i = 0; i < palette->count; ++i)
        out.palette.push_back(
            Rgb{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b});
    if (dither) {
        if (liq_write_remapped_image(result.get(), image.get(), out.pixels.data(),
                                     out.pixels.size()) != LIQ_OK)
            Fail("colour quantiser: remapping failed");
        for (uint8_t& p : out.pixels) ++p;
    } else {
        MapToNearest(rgb, out.palette, out.pixels);
    }
    return out;
}
