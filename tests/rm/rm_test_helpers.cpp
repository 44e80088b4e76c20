#include "tests/rm/rm_test_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless/headless_control.h"
#include "rm/frame_locator.h"

std::string OpenMetafile(const rmwriter::Metafile& file, const std::string& name) {
    std::string path = TempPath(name);
    EXPECT_TRUE(file.Save(path));
    State.MetafileStream = std::fopen(path.c_str(), "rb");
    EXPECT_NE(State.MetafileStream, nullptr);
    return path;
}

void SelectFrames(uint32_t first, uint32_t skip) {
    // State owns its table, as it owns the one ParseCommandLine builds.
    std::free(State.FileImageNumber);
    auto* table = static_cast<uint32_t*>(std::malloc(size_t{State.MaxFrames} * 4));
    ASSERT_NE(table, nullptr);
    std::fill(table, table + State.MaxFrames, AllOnes);
    uint32_t n = first;
    for (uint32_t i = 0; i < State.MaxFrames && n < State.MaxFrames; ++i, n += skip) table[i] = n;
    State.FileImageNumber = table;
}

rmwriter::Frame PatternFrame(int width, int height, int seed, int depth) {
    rmwriter::Frame f;
    f.header.Width = width;
    f.header.Height = height;
    f.header.Depth = depth;
    f.header.Fill[0] = static_cast<uint8_t>(seed * 7 + 1);
    f.colors = rmwriter::GreyRamp(depth);
    uint32_t x = 2166136261u ^ static_cast<uint32_t>(seed);
    int mask = depth >= 8 ? 255 : (1 << depth) - 1;
    for (int r = 0; r < height; ++r) {
        std::vector<uint8_t> row;
        while (static_cast<int>(row.size()) < width) {
            x = x * 1664525u + 1013904223u;
            int kind = (x >> 28) & 3;
            int length = 1 + ((x >> 8) % 12);
            uint8_t pixel = static_cast<uint8_t>(((x >> 16) & 0xFF) & mask);
            if (kind == 0) pixel = f.header.Fill[0];
            for (int k = 0; k < length && static_cast<int>(row.size()) < width; ++k)
                row.push_back(kind == 3 ? static_cast<uint8_t>((pixel + k) & mask) : pixel);
        }
        f.rows.push_back(row);
    }
    return f;
}

std::vector<uint8_t> ExpectedArray(const rmwriter::Frame& frame, int scanLineWidth,
                                   std::vector<uint8_t> initial) {
    size_t height = frame.rows.size();
    if (initial.empty()) initial.assign(height * scanLineWidth, 0);
    for (size_t r = 0; r < height; ++r) {
        size_t start = (height - 1 - r) * scanLineWidth;
        for (size_t c = 0; c < frame.rows[r].size() && start + c < initial.size(); ++c)
            initial[start + c] = frame.rows[r][c];
    }
    return initial;
}

std::vector<uint8_t> ArrayOf(const Image& image) {
    if (image.Pixels == nullptr) return {};
    return std::vector<uint8_t>(image.Pixels, image.Pixels + image.PixelsSize);
}

std::string LastBoxText() {
    const auto& boxes = Headless().Boxes;
    return boxes.empty() ? std::string() : boxes.back().Text;
}

CapturedLog::CapturedLog(int level) {
    stream_ = open_memstream(&buffer_, &size_);
    State.LogLevel = static_cast<int16_t>(level);
    State.LogFile = stream_;
}

CapturedLog::~CapturedLog() {
    if (State.LogFile == stream_) {
        std::fclose(stream_);
        State.LogFile = nullptr;
    }
    State.LogLevel = 0;
    std::free(buffer_);
}

std::string CapturedLog::Text() {
    if (State.LogFile == stream_) std::fflush(stream_);
    return std::string(buffer_ != nullptr ? buffer_ : "", size_);
}

std::string HashHex(const uint8_t* data, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string SummariseFile(const std::string& path) {
    ResetViewer();
    Headless().Quiet = true;
    SelectFrames();
    State.MetafileStream = std::fopen(path.c_str(), "rb");
    if (State.MetafileStream == nullptr) return "cannot open";
    InitImage(State.DisplayImage);
    std::string frames;
    uint32_t count = 0;
    std::string error;
    try {
        while (GetFileImage(State.DisplayImage, count) >= 0) {
            const Image& im = State.DisplayImage;
            // Appended piece by piece: GCC 12 at -O3 sees a false overlap in "literal" + string.
            frames.append(" ").append(std::to_string(im.IW)).append("x");
            frames.append(std::to_string(im.IH)).append(":");
            frames.append(HashHex(im.Pixels, im.PixelsSize));
            ++count;
        }
    } catch (const ProcessEnded& ended) {
        error = !ended.fatal ? "ended without a fatal error"
                             : "\"" + ended.fatal->routine + "\" " + ended.fatal->text +
                                   " (block " + std::to_string(ended.fatal->blockNumber) + ")";
    }
    if (State.MetafileStream != nullptr) std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    return std::to_string(count) + " frames" + frames + (error.empty() ? "" : " | " + error);
}
