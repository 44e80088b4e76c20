// How fast a frame decodes: the reader's GetRLE beside the decoder it replaced (the tests'
// oracle) on the same frames in the same run, each against the memory floor measured in the
// same run (reading the stream once and writing the pixels once), and whole frames through
// GetFileImage from a file. Frames: typical and busy 640 x 480 (made word by word), busy
// 1920 x 1080, and an escape-time picture of 1920 x 1080 in 255 levels coded by our writer,
// whose stream is about half the raw size, like ffmpeg's mandelbrot reduced to 255 colours.
// Prints every row's ratio to the floor and the new decoder's to the old at the end.
#include <benchmark/benchmark.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/headless/headless_control.h"
#include "rm/block_reader.h"
#include "rm/frame_locator.h"
#include "rm/rle_decoder.h"
#include "shell/viewer_state.h"
#include "tests/rm/oracle/oracle_decoder.h"
#include "tools/rmwriter/rmwriter.h"

namespace {

enum class Content { Typical, Busy, Busy1080, Picture1080 };
const char* const ContentNames[] = {"typical", "busy", "busy1080", "picture1080"};

int WidthOf(Content c) {
    return c == Content::Typical || c == Content::Busy ? 640 : 1920;
}
int HeightOf(Content c) {
    return c == Content::Typical || c == Content::Busy ? 480 : 1080;
}

// Writes one frame's stream, word by word. Typical: runs of 1 to 40 pixels (about 10 on
// average), about as many literal pixels as runs, a few fills. Busy: mostly literals.
void WriteStream(rmwriter::Metafile& m, Content content, std::mt19937& rng) {
    const int width = WidthOf(content), height = HeightOf(content);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double literalShare = content == Content::Typical ? 0.5 : 0.917;
    const double fillShare = content == Content::Typical ? 0.025 : 0.002;
    m.BeginStream();
    for (int row = 0; row < height; ++row) {
        if (row > 0) m.EndOfScanLine();
        int x = 0;
        while (x < width) {
            double pick = unit(rng);
            uint8_t pixel = static_cast<uint8_t>(rng() & 0xFF);
            if (pick < literalShare) {
                m.Literal(pixel);
                ++x;
            } else if (pick < literalShare + fillShare) {
                int n = std::min(width - x, 20 + static_cast<int>(rng() % 41));
                m.Fill(n);
                x += n;
            } else {
                double u = unit(rng);
                int n = std::min(width - x, 1 + static_cast<int>(39.99 * u * u * u));
                m.SetRunLength(n);
                m.RepeatedRun(pixel);
                x += n;
            }
        }
    }
    m.EndOfFrame();
    m.EndBlock();
}

// An escape-time picture around the point ffmpeg's mandelbrot source starts from, coloured
// by its smoothed iteration count in 254 levels that cycle quickly (inside: level 0), top
// row first; the view narrows a little from frame to frame.
std::vector<uint8_t> EscapePicture(int width, int height, int frame) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    const double scale = 3.0 / height * std::pow(0.97, frame);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::complex<double> c(-0.743643887037151 + (x - width / 2) * scale,
                                         0.13182590420533 + (y - height / 2) * scale);
            std::complex<double> z = 0;
            int n = 0;
            while (n < 256 && std::norm(z) <= 256.0) z = z * z + c, ++n;
            uint8_t level = 0;
            if (n < 256) {
                const double smooth = n + 1 - std::log2(std::log2(std::abs(z)));
                level = static_cast<uint8_t>(1 + static_cast<int>(smooth * 9) % 254);
            }
            pixels[static_cast<size_t>(y) * width + x] = level;
        }
    return pixels;
}

struct Sample {
    std::vector<uint8_t> file;  // header, LUT, stream of each frame
    size_t streamOffset = 0;    // where the first frame's stream starts
    size_t streamBytes = 0;     // its blocks
    size_t words = 0;           // its words from the start word to the end of frame
};

Sample MakeSample(Content content, int frames, uint32_t seed) {
    std::mt19937 rng(seed);
    rmwriter::Metafile m;
    Sample s;
    for (int f = 0; f < frames; ++f) {
        rmwriter::Header h;
        h.Width = WidthOf(content);
        h.Height = HeightOf(content);
        h.Fill[0] = 17;
        if (content == Content::Picture1080) {
            const std::vector<uint8_t> picture = EscapePicture(h.Width, h.Height, f % 8);
            if (f == 0) s.streamOffset = m.Bytes().size() + 2 * BlockSize;
            m.AddFrame(h, rmwriter::GreyRamp(8), picture.data(), true);
        } else {
            m.AddHeader(h);
            m.AddColorTable(h, rmwriter::GreyRamp(8));
            if (f == 0) s.streamOffset = m.Bytes().size();
            WriteStream(m, content, rng);
        }
        if (f == 0) {
            const auto& b = m.Bytes();
            for (size_t i = s.streamOffset; i + 1 < b.size(); i += 2) {
                ++s.words;
                if ((b[i + 1] >> 4) == OpEndOfFrame) break;
            }
            s.streamBytes = (s.words * 2 + BlockSize - 1) / BlockSize * BlockSize;
        }
    }
    s.file = m.Bytes();
    return s;
}

const Sample& SampleOf(Content content) {
    static std::map<Content, Sample> samples;
    auto found = samples.find(content);
    if (found == samples.end())
        found =
            samples.emplace(content, MakeSample(content, 1, 1 + static_cast<int>(content))).first;
    return found->second;
}

// The floor: the frame's stream read once (copied in 64 KB pieces, as a read from the page
// cache hands it over) and its pixels written once.
void BM_Floor(benchmark::State& st, Content content) {
    const Sample& s = SampleOf(content);
    std::vector<uint8_t> pixels(static_cast<size_t>(WidthOf(content)) * HeightOf(content));
    std::vector<uint8_t> piece(65536);
    uint8_t v = 0;
    for (auto _ : st) {
        for (size_t at = 0; at < s.streamBytes; at += piece.size())
            std::memcpy(piece.data(), s.file.data() + s.streamOffset + at,
                        std::min(piece.size(), s.streamBytes - at));
        benchmark::DoNotOptimize(piece.data());
        std::memset(pixels.data(), ++v, pixels.size());
        benchmark::ClobberMemory();
    }
}

// GetRLE (or the oracle) over the frame's stream held in memory, through a stream as the
// reader always reads.
void BM_Decode(benchmark::State& st, Content content, bool oracle) {
    const Sample& s = SampleOf(content);
    State = ViewerState{};
    Headless().Quiet = true;
    InitDefaults();
    FILE* stream = fmemopen(const_cast<uint8_t*>(s.file.data()), s.file.size(), "rb");
    State.MetafileStream = stream;
    Image image;
    InitImage(image);
    image.IW = WidthOf(content);
    image.IH = HeightOf(content);
    image.ScanLineWidth = image.IW;
    image.FillValues[0] = 17;
    AllocImageArray(image);
    std::vector<uint8_t> first;
    for (auto _ : st) {
        std::fseek(stream, static_cast<long>(s.streamOffset), SEEK_SET);
        State.BlockNumber = static_cast<int32_t>(s.streamOffset / BlockSize) - 1;
        oracle ? OracleGetRLE(image, 0) : GetRLE(image, 0);
        benchmark::ClobberMemory();
        if (first.empty()) first.assign(image.Pixels, image.Pixels + image.PixelsSize);
    }
    st.counters["words"] = static_cast<double>(s.words);
    // Both decoders must make the same array; the oracle's is made once, after.
    std::fseek(stream, static_cast<long>(s.streamOffset), SEEK_SET);
    State.BlockNumber = static_cast<int32_t>(s.streamOffset / BlockSize) - 1;
    OracleGetRLE(image, 0);
    if (std::memcmp(first.data(), image.Pixels, first.size()) != 0)
        st.SkipWithError("GetRLE and the oracle disagree");
    std::fclose(stream);
    FreeImageArray(image);
    State.MetafileStream = nullptr;
}

// Sequential reading of a 100-frame file through GetFileImage, from disk: header, LUT,
// placement and decoding of each frame, as playback does.
void BM_GetFileImageSequential(benchmark::State& st, Content content) {
    static std::map<Content, Sample> files;
    if (!files.count(content)) files.emplace(content, MakeSample(content, 100, 3));
    const Sample& hundred = files[content];
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
    State.FileImageNumber = nullptr;  // the vector's
    FreeStateArrays();
    std::remove(path.c_str());
}

void Register() {
    for (Content c : {Content::Typical, Content::Busy, Content::Busy1080, Content::Picture1080}) {
        const std::string name = ContentNames[static_cast<int>(c)];
        benchmark::RegisterBenchmark(("BM_Floor/" + name).c_str(), BM_Floor, c)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_OldGetRLE/" + name).c_str(), BM_Decode, c, true)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_GetRLE/" + name).c_str(), BM_Decode, c, false)
            ->Unit(benchmark::kMicrosecond);
    }
    for (Content c : {Content::Typical, Content::Busy, Content::Picture1080})
        benchmark::RegisterBenchmark(
            ("BM_GetFileImageSequential/" + std::string(ContentNames[static_cast<int>(c)])).c_str(),
            BM_GetFileImageSequential, c)
            ->Unit(benchmark::kMicrosecond);
}

// Keeps each run's CPU time (steadier than wall time on a shared machine) so that the ratios
// can be printed at the end.
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
    Register();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    std::printf("\n%-12s %9s %9s %8s %8s %7s %7s %7s %9s\n", "frame", "words", "stream", "floor",
                "old", "new", "old/fl", "new/fl", "new/old");
    for (Content c : {Content::Typical, Content::Busy, Content::Busy1080, Content::Picture1080}) {
        const std::string name = ContentNames[static_cast<int>(c)];
        const Sample& s = SampleOf(c);
        const double raw = static_cast<double>(WidthOf(c)) * HeightOf(c);
        const double floor = t.count("BM_Floor/" + name) ? t["BM_Floor/" + name] : 0;
        const double old = t.count("BM_OldGetRLE/" + name) ? t["BM_OldGetRLE/" + name] : 0;
        const double now = t.count("BM_GetRLE/" + name) ? t["BM_GetRLE/" + name] : 0;
        if (floor == 0 || old == 0 || now == 0) continue;
        std::printf("%-12s %9zu %8.0f%% %6.0fus %6.0fus %5.0fus %7.1f %7.1f %9.2f\n", name.c_str(),
                    s.words, 200.0 * s.words / raw, floor, old, now, old / floor, now / floor,
                    now / old);
        const std::string file = "BM_GetFileImageSequential/" + name;
        if (t.count(file))
            std::printf("%-12s whole frames from a 100-frame file: %.0f a second\n", "",
                        1e6 / t[file]);
    }
    benchmark::Shutdown();
    return 0;
}
