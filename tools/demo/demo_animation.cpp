// Writes the demo animation: a ball flying over a landscape under a sky that runs from day
// to dusk, a ground that scrolls, and a frame counter in binary in the top left corner.
// Every frame carries its own colour table (the sky's colours change from frame to frame),
// so playback, cycling and per-frame colour maps are all visible.
//
//   kinaro_demo OUTPUT [--frames N] [--size WxH] [--busy] [--ppm FRAME FILE]
//
// --busy roughens the sky and the ground with fine detail that changes every frame (blocks of
// 2, 4 or 8 pixels one colour index apart), so that the pixel streams take about half the
// raw size, as real pictures in 255 colours do, instead of a few percent.
// --ppm also writes frame FRAME as the viewer must show it (colour 0 black), as a binary
// PPM, for the end-to-end tests to compare the screen with.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>

#include "tools/rmwriter/rmwriter.h"

namespace {

// Colour indices of the picture. Index 0 always shows black, so nothing uses it.
constexpr int SkyFirst = 1, SkyCount = 100;
constexpr int GroundFirst = 110, GroundCount = 16;
constexpr int BallFirst = 150, BallCount = 40;
constexpr int CounterOn = 250, CounterOff = 251, CounterFrame = 252;

// The frame counter: 8 squares in a row, most significant bit first.
constexpr int CounterBits = 8;

struct Options {
    std::string Output;
    int Frames = 120;
    int Width = 640;
    int Height = 480;
    int PpmFrame = -1;
    std::string PpmFile;
    bool Busy = false;
};

// One bit from a pixel block, a row and a frame.
int DetailBit(int block, int y, int t) {
    uint32_t h = static_cast<uint32_t>(block) * 0x9E3779B1u ^
                 static_cast<uint32_t>(y) * 0x85EBCA77u ^ static_cast<uint32_t>(t) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return static_cast<int>(h & 1);
}

int CounterSquare(int width) {
    return std::max(4, width / 40);
}

// The pixels of frame t, top row first.
std::vector<std::vector<uint8_t>> Picture(const Options& o, int t) {
    const int w = o.Width, h = o.Height;
    const double phase = o.Frames > 1 ? (double)t / o.Frames : 0.0;
    const int groundTop = h * 3 / 4;
    const double ballX = w * (0.5 + 0.38 * std::sin(2 * std::numbers::pi * phase));
    const double ballY = h * (0.45 + 0.25 * std::sin(4 * std::numbers::pi * phase + 0.7));
    const double radius = std::max(3.0, std::min(w, h) / 9.0);
    const int square = CounterSquare(w);
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(w));
    for (int y = 0; y < h; ++y) {
        auto& row = rows[y];
        for (int x = 0; x < w; ++x) {
            uint8_t index;
            if (y < groundTop) {
                index = (uint8_t)(SkyFirst + y * SkyCount / groundTop);
            } else {
                // Stripes that lean and scroll to the left.
                int stripe = ((x + (y - groundTop) + t * 6) / 24) % GroundCount;
                index = (uint8_t)(GroundFirst + stripe);
            }
            // One index up or not, in blocks of 2, 4 or 8 pixels by bands of 8 rows (both
            // ranges have a free index above them).
            if (o.Busy) index = (uint8_t)(index + DetailBit(x >> (1 + (y / 8) % 3), y, t));
            double dx = x - ballX, dy = y - ballY;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < radius) {
                // Lit from the upper left.
                double lx = dx + radius * 0.35, ly = dy + radius * 0.35;
                double shade = std::min(1.0, std::sqrt(lx * lx + ly * ly) / (radius * 1.35));
                index = (uint8_t)(BallFirst + (int)(shade * (BallCount - 1)));
            }
            row[x] = index;
        }
    }
    // The counter, in a dark frame one square wide around it.
    int top = square, left = square;
    for (int y = top - square / 2; y < top + square + square / 2 && y < h; ++y)
        for (int x = left - square / 2; x < left + CounterBits * square * 2 + square / 2 && x < w;
             ++x)
            rows[y][x] = CounterFrame;
    for (int bit = 0; bit < CounterBits; ++bit) {
        bool on = (t >> (CounterBits - 1 - bit)) & 1;
        int x0 = left + bit * square * 2;
        for (int y = top; y < top + square && y < h; ++y)
            for (int x = x0; x < x0 + square && x < w; ++x)
                rows[y][x] = on ? CounterOn : CounterOff;
    }
    return rows;
}

uint8_t Channel(double v) {
    return (uint8_t)std::clamp((int)std::lround(v * 255.0), 0, 255);
}

// The colour table of frame t: the sky goes from a blue day to an orange dusk and back; the
// ground's stripes and the ball's hue turn slowly.
rmwriter::ColorTable Colors(const Options& o, int t) {
    rmwriter::ColorTable c;
    c.Red.assign(256, 0);
    c.Green.assign(256, 0);
    c.Blue.assign(256, 0);
    const double phase = o.Frames > 1 ? (double)t / o.Frames : 0.0;
    const double dusk = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * phase);
    auto set = [&](int i, double r, double g, double b) {
        c.Red[i] = Channel(r);
        c.Green[i] = Channel(g);
        c.Blue[i] = Channel(b);
    };
    for (int i = 0; i < SkyCount; ++i) {
        double s = (double)i / (SkyCount - 1);  // 0 at the top, 1 at the horizon
        double dayR = 0.15 + 0.45 * s, dayG = 0.35 + 0.45 * s, dayB = 0.85 + 0.15 * s;
        double duskR = 0.25 + 0.75 * s, duskG = 0.10 + 0.45 * s * s, duskB = 0.35 - 0.25 * s;
        set(SkyFirst + i, dayR + (duskR - dayR) * dusk, dayG + (duskG - dayG) * dusk,
            dayB + (duskB - dayB) * dusk);
    }
    for (int i = 0; i < GroundCount; ++i) {
        double k = 0.5 + 0.5 * std::sin(2 * std::numbers::pi * (i / (double)GroundCount + phase));
        set(GroundFirst + i, 0.10 + 0.15 * k, 0.35 + 0.35 * k, 0.10);
    }
    for (int i = 0; i < BallCount; ++i) {
        double light = 1.0 - (double)i / BallCount;
        double hue = phase * 2 * std::numbers::pi;
        set(BallFirst + i, light * (0.75 + 0.25 * std::cos(hue)),
            light * (0.45 + 0.35 * std::cos(hue + 2.1)),
            light * (0.25 + 0.25 * std::cos(hue + 4.2)));
    }
    set(CounterOn, 1.0, 1.0, 1.0);
    set(CounterOff, 0.30, 0.30, 0.30);
    set(CounterFrame, 0.08, 0.08, 0.08);
    return c;
}

bool WritePpm(const Options& o) {
    auto rows = Picture(o, o.PpmFrame);
    rmwriter::ColorTable c = Colors(o, o.PpmFrame);
    FILE* f = fopen(o.PpmFile.c_str(), "wb");
    if (f == nullptr) return false;
    fprintf(f, "P6\n%d %d\n255\n", o.Width, o.Height);
    for (const auto& row : rows) {
        for (uint8_t index : row) {
            // Colour 0 always shows black.
            uint8_t rgb[3] = {0, 0, 0};
            if (index != 0) {
                rgb[0] = c.Red[index];
                rgb[1] = c.Green[index];
                rgb[2] = c.Blue[index];
            }
            fwrite(rgb, 1, 3, f);
        }
    }
    return fclose(f) == 0;
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) {
            o.Frames = atoi(argv[++i]);
        } else if (a == "--size" && i + 1 < argc) {
            if (sscanf(argv[++i], "%dx%d", &o.Width, &o.Height) != 2) return false;
        } else if (a == "--busy") {
            o.Busy = true;
        } else if (a == "--ppm" && i + 2 < argc) {
            o.PpmFrame = atoi(argv[++i]);
            o.PpmFile = argv[++i];
        } else if (!a.empty() && a[0] != '-' && o.Output.empty()) {
            o.Output = a;
        } else {
            return false;
        }
    }
    return !o.Output.empty() && o.Frames >= 1 && o.Frames <= 256 && o.Width >= 16 &&
           o.Height >= 16 && o.Width <= 4096 && o.Height <= 4096 && o.PpmFrame < o.Frames;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        fprintf(stderr,
                "usage: kinaro_demo OUTPUT [--frames N (1-256)] [--size WxH] [--busy] [--ppm FRAME "
                "FILE]\n");
        return 2;
    }
    rmwriter::Metafile file;
    for (int t = 0; t < o.Frames; ++t) {
        rmwriter::Frame frame;
        frame.header.Width = o.Width;
        frame.header.Height = o.Height;
        frame.header.ColorFlag = 1;
        frame.colors = Colors(o, t);
        frame.rows = Picture(o, t);
        file.AddFrame(frame);
    }
    if (!file.Save(o.Output)) {
        fprintf(stderr, "kinaro_demo: cannot write %s\n", o.Output.c_str());
        return 1;
    }
    if (o.PpmFrame >= 0 && !WritePpm(o)) {
        fprintf(stderr, "kinaro_demo: cannot write %s\n", o.PpmFile.c_str());
        return 1;
    }
    return 0;
}
