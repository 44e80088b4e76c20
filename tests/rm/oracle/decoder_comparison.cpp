#include "tests/rm/oracle/decoder_comparison.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/headless/headless_control.h"
#include "rm/rle_decoder.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"
#include "tests/rm/oracle/oracle_decoder.h"

namespace {

struct FrameOutcome {
    std::vector<uint8_t> pixels;
    std::optional<FatalRecord> fatal;
    int32_t blockNumber = 0;
    std::vector<uint8_t> block;
    int64_t position = -1;  // of the stream after the frame, when it can tell
};

// A read-only stream over `bytes` that cannot seek (fopencookie without a seek function).
struct PipeCookie {
    const std::vector<uint8_t>* bytes;
    size_t at;
};
ssize_t PipeRead(void* cookie, char* into, size_t size) {
    auto* pipe = static_cast<PipeCookie*>(cookie);
    size_t n = std::min(size, pipe->bytes->size() - pipe->at);
    if (n > 0) std::memcpy(into, pipe->bytes->data() + pipe->at, n);
    pipe->at += n;
    return static_cast<ssize_t>(n);
}

std::vector<FrameOutcome> Decode(bool oracle, const std::vector<uint8_t>& file,
                                 const DecodeSetup& setup) {
    FreeStateArrays();
    State = ViewerState{};
    HeadlessReset();
    Headless().Quiet = true;
    InitDefaults();
    std::vector<uint8_t> copy = file;
    PipeCookie cookie{&copy, 0};
    if (setup.seekable)
        State.MetafileStream = copy.empty() ? nullptr : fmemopen(copy.data(), copy.size(), "rb");
    else
        State.MetafileStream = fopencookie(&cookie, "rb", {PipeRead, nullptr, nullptr, nullptr});
    State.BlockNumber = setup.firstBlock;

    Image image;
    InitImage(image);
    image.IW = setup.width;
    image.IH = setup.height;
    image.ScanLineWidth = ((setup.width - 1) & ~3) + 4;
    for (int c = 0; c < 3; ++c) image.FillValues[c] = setup.fill[c];
    std::vector<uint8_t> pixels(
        static_cast<size_t>(image.ScanLineWidth) * image.IH + setup.spareBytes, setup.initial);
    image.Pixels = pixels.data();
    image.PixelsSize = pixels.size();

    std::vector<FrameOutcome> outcomes;
    for (int f = 0; f < setup.frames; ++f) {
        FrameOutcome o;
        try {
            oracle ? OracleGetRLE(image, setup.channel) : GetRLE(image, setup.channel);
        } catch (const ProcessEnded& ended) {
            o.fatal = ended.fatal ? *ended.fatal : FatalRecord{"(no record)", "", 0};
        }
        o.pixels = pixels;
        o.blockNumber = State.BlockNumber;
        o.block.assign(State.Block, State.Block + sizeof State.Block);
        if (State.MetafileStream != nullptr && setup.seekable)
            o.position = static_cast<int64_t>(ftello(State.MetafileStream));
        outcomes.push_back(std::move(o));
        if (outcomes.back().fatal) break;
    }
    if (State.MetafileStream != nullptr) std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    image.Pixels = nullptr;  // the vector's
    return outcomes;
}

std::string Describe(const FatalRecord& r) {
    return r.routine + ": " + r.text + " (block " + std::to_string(r.blockNumber) + ")";
}

}  // namespace

std::string CompareWithOracle(const std::vector<uint8_t>& file, const DecodeSetup& setup) {
    const std::vector<FrameOutcome> got = Decode(false, file, setup);
    const std::vector<FrameOutcome> want = Decode(true, file, setup);
    if (got.size() != want.size())
        return "frames decoded: " + std::to_string(got.size()) + " against the oracle's " +
               std::to_string(want.size());
    for (size_t f = 0; f < got.size(); ++f) {
        const FrameOutcome& g = got[f];
        const FrameOutcome& w = want[f];
        const std::string frame = "frame " + std::to_string(f) + ": ";
        if (g.fatal.has_value() != w.fatal.has_value())
            return frame + (g.fatal ? "fatal " + Describe(*g.fatal) : "no fatal error") +
                   ", oracle " + (w.fatal ? "fatal " + Describe(*w.fatal) : "no fatal error");
        if (g.fatal && (g.fatal->routine != w.fatal->routine || g.fatal->text != w.fatal->text ||
                        g.fatal->blockNumber != w.fatal->blockNumber))
            return frame + Describe(*g.fatal) + ", oracle " + Describe(*w.fatal);
        for (size_t i = 0; i < g.pixels.size(); ++i)
            if (g.pixels[i] != w.pixels[i])
                return frame + "array byte " + std::to_string(i) + " is " +
                       std::to_string(g.pixels[i]) + ", oracle " + std::to_string(w.pixels[i]);
        if (g.blockNumber != w.blockNumber)
            return frame + "BlockNumber " + std::to_string(g.blockNumber) + ", oracle " +
                   std::to_string(w.blockNumber);
        if (g.block != w.block) return frame + "Block differs";
        if (g.position != w.position)
            return frame + "stream at " + std::to_string(g.position) + ", oracle " +
                   std::to_string(w.position);
    }
    return "";
}

DecodeSetup SetupFromBytes(std::vector<uint8_t>& data) {
    DecodeSetup s;
    uint8_t b[8] = {};
    const size_t used = std::min<size_t>(8, data.size());
    if (used > 0) std::memcpy(b, data.data(), used);
    data.erase(data.begin(), data.begin() + static_cast<long>(used));
    s.width = 1 + (b[0] | (b[1] & 0x07) << 8);  // 1 to 2048
    s.height = 1 + b[2] % 64;
    s.spareBytes = b[3] & 3;
    s.fill[0] = b[4];
    s.fill[1] = static_cast<uint8_t>(b[4] + 1);
    s.fill[2] = static_cast<uint8_t>(b[4] + 2);
    s.channel = static_cast<int32_t>(b[5] % 5) - 1;  // -1 to 3
    s.initial = b[6];
    s.firstBlock = (b[7] & 1) ? INT32_MAX - static_cast<int32_t>(b[7] >> 1) : -1;
    s.seekable = (b[5] / 5) % 2 == 0;
    s.frames = 1 + (b[3] >> 2) % 3;
    return s;
}
