// How fast a 640x480 frame decodes: the reader (GetRLE, bounds checks and all, from memory
// and through GetFileImage from a file) next to a plain reference decoder (one switch per
// word, one memset per run, no checks) and memset of the same bytes. Prints the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/viewer_state.h"
#include "platform/headless/headless_control.h"
#include "rm/block_reader.h"
#include "rm/frame_locator.h"
#include "rm/rle_decoder.h"
#include "tools/rmwriter/rmwriter.h"

namespace {

constexpr int Width = 640;
constexpr int Height = 480;

enum class Content { Typical, Busy };

// Writes one frame's stream of realistic content. Typical: runs of 1 to 40 pixels (about 10
// on average), about as many literal pixels as runs, a few fills. Busy: mostly literals.
void WriteStream(rmwriter::Metafile& m, Content content, std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double literalShare = content == Content::Typical ? 0.5 : 0.917;
    const double fillShare = content == Content::Typical ? 0.025 : 0.002;
    m.BeginStream();
    for (int row = 0; row < Height; ++row) {
        if (row > 0) m.EndOfScanLine();
        int x = 0;
        while (x < Width) {
            double pick = unit(rng);
            uint8_t pixel = static_cast<uint8_t>(rng() & 0xFF);
            if (pick < literalShare) {
                m.Literal(pixel);
                ++x;
            } else if (pick < literalShare + fillShare) {
                int n = std::min(Width - x, 20 + static_cast<int>(rng() % 41));
                m.Fill(n);
                x += n;
            } else {
                double u = unit(rng);
                int n = std::min(Width - x, 1 + static_cast<int>(39.99 * u * u * u));
                m.SetRunLength(n);
                m.RepeatedRun(pixel);
                x += n;
            }
        }
    }
    m.EndOfFrame();
    m.EndBlock();
}

struct Sample {
    std::vector<uint8_t> file;  // header, LUT, stream
    size_t streamOffset = 0;    // where the stream's first block starts
    size_t words = 0;           // words from the start word to the end of frame
};

Sample MakeSample(Content content, int frames, uint32_t seed) {
    std::mt19937 rng(seed);
    rmwriter::Metafile m;
    Sample s;
    for (int f = 0; f < frames; ++f) {
        rmwriter::Header h;
        h.Width = Width;
        h.Height = Height;
        h.Fill[0] = 17;
        m.AddHeader(h);
        m.AddColorTable(h, rmwriter::GreyRamp(8));
        if (f == 0) s.streamOffset = m.Bytes().size();
        WriteStream(m, content, rng);
        if (f == 0) {
            const auto& b = m.Bytes();
            for (size_t i = s.streamOffset; i + 1 < b.size(); i += 2) {
                ++s.words;
                if ((b[i + 1] & 0xF0) == 0x70) break;
            }
        }
    }
    s.file = m.Bytes();
    return s;
}

const Sample& SampleOf(Content content) {
    static const Sample typical = MakeSample(Content::Typical, 1, 1);
    static const Sample busy = MakeSample(Content::Busy, 1, 2);
    return content == Content::Typical ? typical : busy;
}

// The plain reference: one switch per word, one memset per run, no bounds checks. Only for
// well-formed frames of a known size.
void PlainDecode(const uint8_t* stream, uint8_t* pixels, int scanLineWidth, int height,
                 uint8_t fill) {
    uint8_t* rowStart = pixels + static_cast<size_t>(height - 1) * scanLineWidth;
    uint8_t* pos = rowStart;
    unsigned run = 0;
    for (const uint8_t* w = stream + 2;; w += 2) {
        unsigned value = w[0] | (w[1] & 0x0F) << 8;
        switch (w[1] >> 4) {
            case 0x0: run = value; break;
            case 0x1: *pos++ = w[0]; break;
            case 0x3:
                std::memset(pos, w[0], run);
                pos += run;
                run = 0;
                break;
            case 0x6:
                rowStart -= scanLineWidth;
                pos = rowStart;
                break;
            case 0x7: return;
            case 0xD:
                std::memset(pos, fill, value);
                pos += value;
                break;
            default: break;
        }
    }
}

void BM_Memset(benchmark::State& st) {
    std::vector<uint8_t> pixels(Width * Height);
    uint8_t v = 0;
    for (auto _ : st) {
        std::memset(pixels.data(), ++v, pixels.size());
        benchmark::ClobberMemory();
    }
}

void BM_PlainDecoder(benchmark::State& st, Content content) {
    const Sample& s = SampleOf(content);
    std::vector<uint8_t> pixels(Width * Height);
    for (auto _ : st) {
        PlainDecode(s.file.data() + s.streamOffset, pixels.data(), Width, Height, 17);
        benchmark::ClobberMemory();
    }
    st.counters["words"] = static_cast<double>(s.words);
}

// The reader's GetRLE over the frame's stream held in memory.
void BM_GetRLEFromMemory(benchmark::State& st, Content content) {
    const Sample& s = SampleOf(content);
    State = ViewerState{};
    Headless().Quiet = true;
    InitDefaults();
    FILE* stream = fmemopen(const_cast<uint8_t*>(s.file.data()), s.file.size(), "rb");
    State.MetafileStream = stream;
    Image image;
    InitImage(image);
    image.IW = Width;
    image.IH = Height;
    image.ScanLineWidth = Width;
    image.FillValues[0] = 17;
    AllocImageArray(image);
    for (auto _ : st) {
        std::fseek(stream, static_cast<long>(s.streamOffset), SEEK_SET);
        State.BlockNumber = static_cast<int32_t>(s.streamOffset / BlockSize) - 1;
        GetRLE(image, 0);
        benchmark::ClobberMemory();
    }
    std::vector<uint8_t> reference(Width * Height);
    PlainDecode(s.file.data() + s.streamOffset, reference.data(), Width, Height, 17);
    if (std::memcmp(reference.data(), image.Pixels, reference.size()) != 0)
        st.SkipWithError("GetRLE and the plain decoder disagree");
    std::fclose(stream);
    FreeImageArray(image);
    State.MetafileStream = nullptr;
}

// Sequential reading of a 100-frame file through GetFileImage, from disk: header, LUT,
// placement and decoding of each frame, as playback does.
void BM_GetFileImageSequential(benchmark::State& st, Content content) {
    static const Sample typical = MakeSample(Content::Typical, 100, 3);
    static const Sample busy = MakeSample(Content::Busy, 100, 4);
    const Sample& hundred = content == Content::Typical ? typical : busy;
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/kinaro-bench-100.rm";
    FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(hundred.file.data(), 1, hundred.file.size(), out);
    std::fclose(out);

    State = ViewerState{};
    Headless().Quiet = true;
    InitDefaults();
    std::vector<uint32_t> table(State.MaxFrames, AllOnes);
    for (uint32_t i = 0; i < 100; ++i) table[i] = i;
    State.FileImageNumber = table.data();
    State.MetafileStream = std::fopen(path.c_str(), "rb");
    InitImage(State.DisplayImage);
    uint32_t index = 0;
    for (auto _ : st) {
        if (GetFileImage(State.DisplayImage, index) < 0) st.SkipWithError("frame missing");
        index = (index + 1) % 100;
    }
    st.SetItemsProcessed(st.iterations());
    std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    std::remove(path.c_str());
}

BENCHMARK(BM_Memset)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PlainDecoder, typical, Content::Typical)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PlainDecoder, busy, Content::Busy)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetRLEFromMemory, typical, Content::Typical)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetRLEFromMemory, busy, Content::Busy)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetFileImageSequential, typical, Content::Typical)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GetFileImageSequential, busy, Content::Busy)->Unit(benchmark::kMicrosecond);

// Keeps each run's CPU time (steadier than wall time on a shared machine) so that the ratios can be
// printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
   public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    std::printf("\nwords per frame: typical %zu, busy %zu\n", SampleOf(Content::Typical).words,
                SampleOf(Content::Busy).words);
    for (const char* content : {"typical", "busy"}) {
        std::string plain = std::string("BM_PlainDecoder/") + content;
        std::string real = std::string("BM_GetRLEFromMemory/") + content;
        std::string file = std::string("BM_GetFileImageSequential/") + content;
        if (t.count(plain) && t.count(real) && t.count("BM_Memset"))
            std::printf(
                "%-8s reader / plain = %.2f   plain / memset = %.0f   reader / memset = %.0f\n",
                content, t[real] / t[plain], t[plain] / t["BM_Memset"], t[real] / t["BM_Memset"]);
        if (t.count(file))
            std::printf("%-8s whole frames from a 100-frame file: %.0f a second%s\n", content,
                        1e6 / t[file],
                        t.count(plain) ? (" (" + std::to_string(t[file] / t[plain]).substr(0, 4) +
                                          " x the plain decoder's time)")
                                             .c_str()
                                       : "");
    }
    benchmark::Shutdown();
    return 0;
}
