// Icon 101: the viewer's own 32 x 32, 16-colour drawing, and its encodings for the Windows
// resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int IconSize = 32;
constexpr int IconColors = 16;

// One character per pixel, top row first: '.' is transparent, '0'-'9' and 'A'-'F' are
// indices into IconPalette.
extern const char* const IconDrawing[IconSize];
// The standard 16-colour palette, as 0xRRGGBB.
extern const uint32_t IconPalette[IconColors];

// The palette index of a pixel (0 for a transparent one) and whether it is transparent.
// Rows count from the top. Throws std::invalid_argument when the drawing holds a character
// that is no pixel.
int IconPixel(int column, int row);
bool IconTransparent(int column, int row);

// The icon image as Windows stores it: a BITMAPINFOHEADER of twice the height (colour
// bitmap and mask), the palette, the 4-bit colour rows and the 1-bit mask rows, bottom-up.
std::vector<uint8_t> IconImage();
// The same image wrapped in an .ico file with one entry.
std::vector<uint8_t> IconFile();

// The icon of a metafile in Explorer: a page with a folded corner and icon 101 at half size
// on it, drawn with the same palette and encoded the same way.
std::vector<std::string> DocumentIconDrawing();
std::vector<uint8_t> DocumentIconFile();
