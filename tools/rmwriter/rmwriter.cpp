#include "tools/rmwriter/rmwriter.h"

#include <algorithm>
#include <cstdio>

namespace rmwriter {

ColorTable GreyRamp(int depth) {
    ColorTable t;
    int n = 1 << std::clamp(depth, 0, 8);
    for (int i = 0; i < n; ++i) t.Red.push_back(static_cast<uint8_t>(n == 1 ? 0 : i * 255 / (n - 1)));
    return t;
}

ColorTable ColourRamp(int depth) {
    ColorTable t;
    int n = 1 << std::clamp(depth, 0, 8);
    for (int i = 0; i < n; ++i) {
        int v = n == 1 ? 0 : i * 255 / (n - 1);
        t.Red.push_back(static_cast<uint8_t>(v));
        t.Green.push_back(static_cast<uint8_t>(255 - v));
        t.Blue.push_back(static_cast<uint8_t>((v * 7) & 0xFF));
    }
    return t;
}

void Metafile::Put16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void Metafile::Put32(uint32_t v) {
    Put16(static_cast<uint16_t>(v & 0xFFFF));
    Put16(static_cast<uint16_t>(v >> 16));
}

void Metafile::EndBlock() {
    size_t rest = bytes_.size() % BlockSize;
    if (rest != 0) bytes_.resize(bytes_.size() + BlockSize - rest, 0);
}

void Metafile::AddBlock(const std::vector<uint8_t>& block) {
    EndBlock();
    std::vector<uint8_t> b = block;
    b.resize(BlockSize, 0);
    bytes_.insert(bytes_.end(), b.begin(), b.end());
}

void Metafile::AddHeader(const Header& h) {
    EndBlock();
    Put32(HeaderMarker);
    Put32(static_cast<uint32_t>(h.Width));
    Put32(static_cast<uint32_t>(h.Height));
    Put32(static_cast<uint32_t>(h.Components));
    Put16(h.ColorFlag);
    Put16(0);
    Put32(static_cast<uint32_t>(h.BitsPerLUTEntry));
    Put32(0);
    Put32(static_cast<uint32_t>(h.Depth));
    for (uint8_t f : h.Fill) Put32(f);
    EndBlock();
}

void Metafile::AddColorTable(const Header& h, const ColorTable& colors) {
    auto component = [&](const std::vector<uint8_t>& values) {
        EndBlock();
        for (size_t k = 0; k < 256; ++k) {
            uint8_t v = k < values.size() ? values[k] : 0;
            Put16(static_cast<uint16_t>(v | (colors.HighByte << 8)));
        }
    };
    component(colors.Red);
    if (h.ColorFlag != 0) {
        component(colors.Green);
        component(colors.Blue);
    }
}

void Metafile::AddJunk(int count, uint8_t seed) {
    for (int b = 0; b < count; ++b) {
        std::vector<uint8_t> block(BlockSize);
        for (size_t i = 0; i < BlockSize; ++i)
            block[i] = static_cast<uint8_t>(seed + b * 31 + i * 37);
        // Neither a header marker (byte 1 is 0x00 there) nor a start word (0x40).
        if (block[1] == 0x00 || block[1] == 0x40) block[1] = 0xEE;
        AddBlock(block);
    }
}

void Metafile::BeginStream(uint8_t firstByte) {
    EndBlock();
    bytes_.push_back(firstByte);
    bytes_.push_back(0x40);
}

void Metafile::AddWord(uint16_t word) { Put16(word); }

void Metafile::Run(uint8_t pixel, int count) {
    while (count > 0) {
        int n = std::min(count, MaxCount);
        SetRunLength(n);
        RepeatedRun(pixel);
        count -= n;
    }
}

void Metafile::Fills(int count) {
    while (count > 0) {
        int n = std::min(count, MaxCount);
        Fill(n);
        count -= n;
    }
}

void Metafile::Row(const std::vector<uint8_t>& pixels, uint8_t fillValue, bool useFill) {
    size_t i = 0;
    while (i < pixels.size()) {
        size_t j = i + 1;
        while (j < pixels.size() && pixels[j] == pixels[i]) ++j;
        int length = static_cast<int>(j - i);
        if (useFill && pixels[i] == fillValue && length >= 2) {
            Fills(length);
        } else if (length >= 3) {
            Run(pixels[i], length);
        } else {
            for (int k = 0; k < length; ++k) Literal(pixels[i]);
        }
        i = j;
    }
}

void Metafile::AddFrame(const Frame& f) {
    AddHeader(f.header);
    if (f.writeLUT) AddColorTable(f.header, f.colors);
    AddJunk(f.junkBeforeStream, 0x33);
    BeginStream();
    for (size_t r = 0; r < f.rows.size(); ++r) {
        if (r > 0) EndOfScanLine();
        Row(f.rows[r], f.header.Fill[0], f.useFill);
    }
    EndOfFrame();
    EndBlock();
}

void Metafile::Truncate(size_t size) {
    if (size < bytes_.size()) bytes_.resize(size);
}

bool Metafile::Save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace rmwriter
