#include "tools/rmwriter/rmwriter.h"

#include <algorithm>
#include <cstdio>

namespace rmwriter {

ColorTable GreyRamp(int depth) {
    ColorTable t;
    int n = 1 << std::clamp(depth, 0, 8);
    for (int i = 0; i < n; ++i)
        t.Red.push_back(static_cast<uint8_t>(n == 1 ? 0 : i * 255 / (n - 1)));
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
    std::vector<uint8_t> block(BlockSize, 0);
    auto put = [&block](int offset, uint32_t value, int bytes = 4) {
        for (int i = 0; i < bytes; ++i) block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(0, HeaderMarker);
    put(header_field::Width, static_cast<uint32_t>(h.Width));
    put(header_field::Height, static_cast<uint32_t>(h.Height));
    put(header_field::Components, static_cast<uint32_t>(h.Components));
    put(header_field::ColorFlag, h.ColorFlag, 2);
    put(header_field::BitsPerLUTEntry, static_cast<uint32_t>(h.BitsPerLUTEntry));
    put(header_field::Depth, static_cast<uint32_t>(h.Depth));
    for (int c = 0; c < 3; ++c) put(header_field::Fill[c], h.Fill[c]);
    AddBlock(block);
}

void Metafile::AddColorTable(const Header& h, const ColorTable& colors) {
    auto component = [&](const std::vector<uint8_t>& values) {
        EndBlock();
        for (size_t k = 0; k < WordsPerBlock; ++k) {
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
        // Neither a header marker nor a start word.
        if (block[1] == HeaderMarkerBytes[1] || block[1] == StartWordHighByte) block[1] = 0xEE;
        AddBlock(block);
    }
}

void Metafile::BeginStream(uint8_t firstByte) {
    EndBlock();
    bytes_.push_back(firstByte);
    bytes_.push_back(StartWordHighByte);
}

void Metafile::AddWord(uint16_t word) {
    Put16(word);
}

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

void Metafile::Row(const uint8_t* pixels, size_t count, uint8_t fillValue, bool useFill) {
    // No pixel costs more than one word (a literal), so room for `count` words is enough;
    // the words are written straight into it.
    const size_t start = bytes_.size();
    bytes_.resize(start + 2 * count);
    uint8_t* out = bytes_.data() + start;
    auto put = [&out](int opcode, int value) {
        uint16_t w = Word(opcode, value);
        *out++ = static_cast<uint8_t>(w & 0xFF);
        *out++ = static_cast<uint8_t>(w >> 8);
    };
    size_t i = 0;
    while (i < count) {
        const uint8_t pixel = pixels[i];
        const size_t j = RunEnd(pixels, i, count);
        size_t length = j - i;
        if (useFill && pixel == fillValue && length >= 2) {
            for (; length > 0; length -= std::min<size_t>(length, MaxCount)) {
                put(OpFill, static_cast<int>(std::min<size_t>(length, MaxCount)));
                ++rowWords_.fill;
            }
        } else if (length >= 3) {
            for (; length > 0; length -= std::min<size_t>(length, MaxCount)) {
                put(OpSetRunLength, static_cast<int>(std::min<size_t>(length, MaxCount)));
                put(OpRepeatedRun, pixel);
                rowWords_.run += 2;
            }
        } else {
            for (size_t k = 0; k < length; ++k) put(OpLiteral, pixel);
            rowWords_.literal += length;
        }
        i = j;
    }
    bytes_.resize(static_cast<size_t>(out - bytes_.data()));
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

void Metafile::AddFrame(const Header& header, const ColorTable& colors, const uint8_t* pixels,
                        bool useFill) {
    AddHeader(header);
    AddColorTable(header, colors);
    BeginStream();
    const size_t width = header.Width > 0 ? static_cast<size_t>(header.Width) : 0;
    for (int32_t r = 0; r < header.Height; ++r) {
        if (r > 0) EndOfScanLine();
        Row(pixels + r * width, width, header.Fill[0], useFill);
    }
    EndOfFrame();
    EndBlock();
}

void Metafile::Truncate(size_t size) {
    if (size < bytes_.size()) bytes_.resize(size);
}

void Metafile::TakeBytes(std::vector<uint8_t>& out) {
    out.swap(bytes_);
    bytes_.clear();
}

bool Metafile::Save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace rmwriter
