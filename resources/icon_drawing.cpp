#include "resources/icon_drawing.h"

#include <cstring>
#include <stdexcept>
#include <string>

// Two frames of a film strip, the sun moving across the sky from one to the next: the
// viewer shows such frames one after another.
const char* const IconDrawing[IconSize] = {
    "................................", "..0000000000000000000000000000..",
    "..00FF00CCCCCCCCCCCCCCCC00FF00..", "..00FF00CCBBCCCCCCCCCCCC00FF00..",
    "..000000CBBBBCCCCCCCFFCC000000..", "..000000CBBBBCCCCCCFFFFC000000..",
    "..00FF00CCBBCCCCCCCCCCCC00FF00..", "..00FF00CCCCCCCCCCCCCCCC00FF00..",
    "..000000CCCCCCCCCCCCCCCC000000..", "..000000CCCCCCCAACCCCCCC000000..",
    "..00FF00CCCCCAAAAAACCCCC00FF00..", "..00FF00CCCAAAAAAAAAACCC00FF00..",
    "..000000CAAAAAAAAAAAAAAC000000..", "..000000AAAAAAAAAAAAAAAA000000..",
    "..00FF00222222222222222200FF00..", "..00FF00000000000000000000FF00..",
    "..0000000000000000000000000000..", "..000000CCCCCCCCCCCCCCCC000000..",
    "..00FF00CCCCCCCCBBCCCCCC00FF00..", "..00FF00CCCCCCCBBBBCCCCC00FF00..",
    "..000000CCFFCCCBBBBCCCCC000000..", "..000000CFFFFCCCBBCCCCCC000000..",
    "..00FF00CCCCCCCCCCCCCCCC00FF00..", "..00FF00CCCCCCCCCCCCCCCC00FF00..",
    "..000000CCCCCCCAACCCCCCC000000..", "..000000CCCCCAAAAAACCCCC000000..",
    "..00FF00CCCAAAAAAAAAACCC00FF00..", "..00FF00CAAAAAAAAAAAAAAC00FF00..",
    "..000000AAAAAAAAAAAAAAAA000000..", "..0000002222222222222222000000..",
    "..0000000000000000000000000000..", "................................",
};

const uint32_t IconPalette[IconColors] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

static char DrawingAt(const char* const* drawing, int column, int row) {
    const char* line = drawing[row];
    if (std::strlen(line) != IconSize) throw std::invalid_argument("icon row of wrong length");
    return line[column];
}

static bool Transparent(const char* const* drawing, int column, int row) {
    return DrawingAt(drawing, column, row) == '.';
}

static int Pixel(const char* const* drawing, int column, int row) {
    char c = DrawingAt(drawing, column, row);
    if (c == '.') return 0;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument("icon pixel is not a palette index");
}

bool IconTransparent(int column, int row) {
    return Transparent(IconDrawing, column, row);
}

int IconPixel(int column, int row) {
    return Pixel(IconDrawing, column, row);
}

static void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

static std::vector<uint8_t> EncodeImage(const char* const* drawing) {
    constexpr int colorRowBytes = IconSize / 2;  // 4 bits a pixel, already a multiple of 4
    constexpr int maskRowBytes = 4;              // 1 bit a pixel, rounded up to 4 bytes
    std::vector<uint8_t> out;
    PutLittleEndian(out, 40, 4);            // biSize
    PutLittleEndian(out, IconSize, 4);      // biWidth
    PutLittleEndian(out, 2 * IconSize, 4);  // biHeight: colour bitmap and mask
    PutLittleEndian(out, 1, 2);             // biPlanes
    PutLittleEndian(out, 4, 2);             // biBitCount
    PutLittleEndian(out, 0, 4);             // biCompression: BI_RGB
    PutLittleEndian(out, IconSize * (colorRowBytes + maskRowBytes), 4);  // biSizeImage
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, 0, 4);  // biClrUsed: all 16
    PutLittleEndian(out, 0, 4);
    for (uint32_t rgb : IconPalette) {
        out.push_back(static_cast<uint8_t>(rgb));        // blue
        out.push_back(static_cast<uint8_t>(rgb >> 8));   // green
        out.push_back(static_cast<uint8_t>(rgb >> 16));  // red
        out.push_back(0);
    }
    for (int row = IconSize - 1; row >= 0; --row) {
        for (int column = 0; column < IconSize; column += 2) {
            out.push_back(static_cast<uint8_t>(Pixel(drawing, column, row) << 4 |
                                               Pixel(drawing, column + 1, row)));
        }
    }
    for (int row = IconSize - 1; row >= 0; --row) {
        uint32_t bits = 0;
        for (int column = 0; column < IconSize; ++column) {
            if (Transparent(drawing, column, row)) bits |= 0x80000000u >> column;
        }
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(bits >> shift));
    }
    return out;
}

static std::vector<uint8_t> EncodeFile(const char* const* drawing) {
    std::vector<uint8_t> image = EncodeImage(drawing);
    std::vector<uint8_t> out;
    PutLittleEndian(out, 0, 2);  // reserved
    PutLittleEndian(out, 1, 2);  // type: icon
    PutLittleEndian(out, 1, 2);  // one image
    out.push_back(IconSize);
    out.push_back(IconSize);
    out.push_back(IconColors);
    out.push_back(0);
    PutLittleEndian(out, 1, 2);  // planes
    PutLittleEndian(out, 4, 2);  // bits a pixel
    PutLittleEndian(out, static_cast<uint32_t>(image.size()), 4);
    PutLittleEndian(out, 6 + 16, 4);  // the image follows the one directory entry
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

std::vector<uint8_t> IconImage() {
    return EncodeImage(IconDrawing);
}

std::vector<uint8_t> IconFile() {
    return EncodeFile(IconDrawing);
}

std::vector<std::string> DocumentIconDrawing() {
    // A white page with its top right corner folded over, and icon 101 at half size on it.
    constexpr int left = 4, right = 27, top = 1, bottom = 30, fold = 7;
    std::vector<std::string> rows(IconSize, std::string(IconSize, '.'));
    for (int r = top; r <= bottom; ++r) {
        const int edge = right - fold + (r - top);  // the fold's diagonal in this row
        for (int c = left; c <= right && c <= edge; ++c) {
            const bool inFold = c >= right - fold && r <= top + fold;
            const bool border = c == left || r == bottom || c == edge ||
                                (r == top && c <= right - fold) ||
                                (c == right && r >= top + fold) ||
                                (inFold && (c == right - fold || r == top + fold));
            rows[r][c] = border ? '0' : inFold ? '7' : 'F';
        }
    }
    constexpr int atColumn = 8, atRow = 12;
    for (int r = 0; r < IconSize / 2; ++r)
        for (int c = 0; c < IconSize / 2; ++c)
            if (!IconTransparent(2 * c + 1, 2 * r))
                rows[atRow + r][atColumn + c] = IconDrawing[2 * r][2 * c + 1];
    return rows;
}

std::vector<uint8_t> DocumentIconFile() {
    const std::vector<std::string> rows = DocumentIconDrawing();
    const char* drawing[IconSize];
    for (int r = 0; r < IconSize; ++r) drawing[r] = rows[r].c_str();
    return EncodeFile(drawing);
}
