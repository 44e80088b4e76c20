// The floor of drawing one 8-bit frame: the plain colour-table loop into 32-bit pixels, the
// program's row conversion (ConvertDibRow), and the copy of the 32-bit result, each the best
// of several rounds for a frame of W x H. With N, also what a buffered viewer pays before
// decoding anything: fresh zeroed memory for N such arrays taken the way the image list
// takes it (AllocZeroedPages), once, as the viewer does. Prints
//   plain_ms P convert_ms C copy_ms M [fresh_ms F]
//
//   floor W H [N]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core/dib_rows.h"
#include "platform/memory.h"

template <typename F>
static double BestMs(F f) {
    double best = 1e9;
    for (int round = 0; round < 30; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count();
        if (ms < best) best = ms;
    }
    return best;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    const size_t w = strtoul(argv[1], nullptr, 10), h = strtoul(argv[2], nullptr, 10);
    const size_t arrays = argc == 4 ? strtoul(argv[3], nullptr, 10) : 0;
    std::vector<uint8_t> frame(w * h);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = (uint8_t)((i * 2654435761u) >> 13);
    uint32_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = (uint32_t)i * 0x010203u;
    std::vector<uint32_t> out(w * h, 1), copy(w * h, 1);
    volatile uint32_t sink = 0;
    double plain = BestMs([&] {
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* s = frame.data() + y * w;
            uint32_t* d = out.data() + y * w;
            for (size_t x = 0; x < w; ++x) d[x] = table[s[x]];
        }
        sink = sink + out[w * h / 2];
    });
    double convert = BestMs([&] {
        for (size_t y = 0; y < h; ++y)
            ConvertDibRow(frame.data() + y * w, table, out.data() + y * w, w);
        sink = sink + out[w * h / 3];
    });
    double copied = BestMs([&] {
        memcpy(copy.data(), out.data(), w * h * 4);
        sink = sink + copy[w * h / 4];
    });
    auto t0 = std::chrono::steady_clock::now();
    std::vector<uint8_t*> fresh(arrays);
    for (auto& block : fresh) block = AllocZeroedPages(w * h);
    double freshMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    for (uint8_t* block : fresh) FreeZeroedPages(block, w * h);
    printf("plain_ms %.3f convert_ms %.3f copy_ms %.3f", plain, convert, copied);
    if (arrays > 0) printf(" fresh_ms %.1f", freshMs);
    printf("\n");
    return 0;
}
