// Device contexts, palettes, stock brushes and the two drawing operations (SetDIBitsToDevice,
// FillRect) into the client surfaces. The display is true-colour: a bitmap is drawn through
// its own colour table, and palettes only keep their entries, as on a true-colour Windows
// display.
#include <algorithm>

#include "platform/core/core.h"
#include "platform/core/dib_rows.h"

namespace core {
namespace {

constexpr int StockBrushCount = 6;  // WHITE, LTGRAY, GRAY, DKGRAY, BLACK, NULL
constexpr int DefaultPaletteObject = 15;
HGDIOBJ stock[DefaultPaletteObject + 1];

void MakeStockObjects() {
    const uint32_t colours[StockBrushCount] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0, 0};
    for (int i = 0; i < StockBrushCount; ++i) {
        auto [b, handle] = Add<BrushRecord>();
        b->Colour = colours[i];
        b->Null = i == StockBrushCount - 1;
        stock[i] = handle;
    }
    // The default palette that every new device context starts with.
    auto [p, handle] = Add<PaletteRecord>();
    p->Stock = true;
    p->Entries.assign(20, PALETTEENTRY{0, 0, 0, 0});
    stock[DefaultPaletteObject] = handle;
}

// Made again after a reset, which leaves the old handles refused.
HGDIOBJ Stock(int index) {
    if (Find<PaletteRecord>(stock[DefaultPaletteObject]) == nullptr) MakeStockObjects();
    return stock[index];
}

// The live window a device context draws into (null for a context without one).
WindowRecord* Target(DeviceContextRecord* dc) {
    WindowRecord* w = AnyWindow(dc->Window);
    return (w != nullptr && w->Alive && w->Pixels.Pixels != nullptr) ? w : nullptr;
}

}  // namespace

}  // namespace core

using namespace core;

HDC WINAPI GetDC(HWND window) {
    if (Refused(Call::GetDC)) return nullptr;
    if (window != nullptr && LiveWindow(window) == nullptr) return nullptr;
    HGDIOBJ palette = Stock(DefaultPaletteObject);
    auto [dc, handle] = Add<DeviceContextRecord>();
    dc->Window = window;
    dc->Palette = static_cast<HPALETTE>(palette);
    return static_cast<HDC>(handle);
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    auto* c = Live<DeviceContextRecord>(dc);
    if (c == nullptr || c->FromPaint || c->Window != window) return 0;
    FreeObject(dc);
    return 1;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
    if (Refused(Call::CreatePalette)) return nullptr;
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0)
        return Fail<HPALETTE>(ErrorInvalidParameter);
    auto [p, handle] = Add<PaletteRecord>();
    p->Entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return static_cast<HPALETTE>(handle);
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL) {
    auto* c = Live<DeviceContextRecord>(dc);
    if (c == nullptr || Live<PaletteRecord>(palette) == nullptr) return nullptr;
    HPALETTE previous = c->Palette;
    c->Palette = palette;
    return previous;
}

UINT WINAPI RealizePalette(HDC dc) {
    auto* c = Live<DeviceContextRecord>(dc);
    auto* p = c != nullptr ? Live<PaletteRecord>(c->Palette) : nullptr;
    if (p == nullptr) return static_cast<UINT>(-1);  // GDI_ERROR
    ++p->Realizations;
    return static_cast<UINT>(p->Entries.size());
}

BOOL WINAPI AnimatePalette(HPALETTE palette, UINT startIndex, UINT entries,
                           const PALETTEENTRY* colors) {
    if (Refused(Call::AnimatePalette)) return FALSE;
    auto* p = Find<PaletteRecord>(palette);
    if (p == nullptr || p->Stock || colors == nullptr || startIndex >= p->Entries.size())
        return Fail(ErrorInvalidParameter);
    // Only entries created reserved for animation change, as on Windows.
    UINT end = std::min<UINT>(static_cast<UINT>(p->Entries.size()), startIndex + entries);
    for (UINT i = startIndex; i < end; ++i) {
        PALETTEENTRY& e = p->Entries[i];
        const PALETTEENTRY& c = colors[i - startIndex];
        if (e.peFlags & PC_RESERVED) e = {c.peRed, c.peGreen, c.peBlue, e.peFlags};
    }
    ++p->Animations;
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (Find<BrushRecord>(object) != nullptr) return TRUE;  // every brush is a stock object
    auto* p = Find<PaletteRecord>(object);
    if (p == nullptr) return Fail(ErrorInvalidParameter);
    if (!p->Stock) FreeObject(object);  // stock objects stay
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    bool known = (object >= 0 && object < StockBrushCount) || object == DefaultPaletteObject;
    return known ? Stock(object) : nullptr;
}

BOOL WINAPI SetRect(RECT* rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    auto* c = Live<DeviceContextRecord>(dc);
    auto* b = Find<BrushRecord>(brush);
    if (c == nullptr || b == nullptr || rect == nullptr) return 0;
    WindowRecord* w = Target(c);
    if (w == nullptr || b->Null) return 1;
    Surface& s = w->Pixels;
    int left = std::max<int>(rect->left, 0), top = std::max<int>(rect->top, 0);
    int right = std::min<int>(rect->right, s.Width), bottom = std::min<int>(rect->bottom, s.Height);
    if (left >= right || top >= bottom) return 1;
    native::BeforeWrite(*w, left, top, right - left, bottom - top);
    for (int y = top; y < bottom; ++y)
        std::fill_n(s.Pixels + static_cast<size_t>(y) * s.Stride + left, right - left,
                    SurfaceWord(s, b->Colour));
    native::Present(*w, left, top, right - left, bottom - top, false);
    return 1;
}

// 8-bit bitmaps, bottom-up or top-down, through their colour table. Source coordinates count
// from the bitmap's bottom-left corner: the destination's top row shows source row
// ySrc + height - 1. `bits` holds the scan lines startScan .. startScan + scanLines - 1.
int WINAPI SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT scanLines, const void* bits,
                             const BITMAPINFO* info, UINT colorUse) {
    auto* c = Live<DeviceContextRecord>(dc);
    if (c == nullptr || info == nullptr || bits == nullptr || colorUse != DIB_RGB_COLORS) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 8 || h.biCompression != BI_RGB ||
        h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
        return 0;
    size_t colours = h.biClrUsed != 0 ? std::min<DWORD>(h.biClrUsed, 256) : 256;
    const auto* table =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + h.biSize);
    if (WatchBitmap != nullptr) WatchBitmap(h, table, colours);
    WindowRecord* w = Target(c);
    if (w == nullptr) return static_cast<int>(scanLines);
    Surface& s = w->Pixels;
    uint32_t words[256] = {};
    for (size_t i = 0; i < colours; ++i)
        words[i] = SurfaceWord(s, (uint32_t(table[i].rgbRed) << 16) |
                                      (uint32_t(table[i].rgbGreen) << 8) | table[i].rgbBlue);
    const bool bottomUp = h.biHeight > 0;
    const int64_t rows = bottomUp ? h.biHeight : -int64_t(h.biHeight);
    const int64_t stride = ((int64_t(h.biWidth) * 8 + 31) / 32) * 4;
    // Destination columns and rows that land on the surface and come from inside the bitmap
    // and the scan lines given. Source rows fall as destination rows rise, so the rows drawn
    // are one range, known before the write.
    int64_t x0 = std::max<int64_t>({xDest, 0, int64_t(xDest) - xSrc});
    int64_t x1 =
        std::min<int64_t>({int64_t(xDest) + width, s.Width, int64_t(xDest) - xSrc + h.biWidth});
    int64_t lowest = bottomUp ? int64_t(startScan) : rows - int64_t(startScan) - scanLines;
    int64_t highest = std::min<int64_t>(lowest + scanLines - 1, rows - 1);
    lowest = std::max<int64_t>(lowest, 0);
    const int64_t topSource = int64_t(yDest) + height - 1 + ySrc;  // destination row - source row
    int64_t y0 = std::max<int64_t>({yDest, 0, topSource - highest});
    int64_t y1 = std::min<int64_t>({int64_t(yDest) + height, s.Height, topSource - lowest + 1});
    if (x0 >= x1 || y0 >= y1) return static_cast<int>(scanLines);
    native::BeforeWrite(*w, int(x0), int(y0), int(x1 - x0), int(y1 - y0));
    const auto* source = static_cast<const uint8_t*>(bits);
    for (int64_t y = y0; y < y1; ++y) {
        int64_t sourceRow = topSource - y;  // counted from the bottom
        int64_t memoryRow = (bottomUp ? sourceRow : rows - 1 - sourceRow) - startScan;
        ConvertDibRow(source + memoryRow * stride + (xSrc + (x0 - xDest)), words,
                      s.Pixels + static_cast<size_t>(y) * s.Stride + x0,
                      static_cast<size_t>(x1 - x0));
    }
    ++w->Draws;
    native::Present(*w, int(x0), int(y0), int(x1 - x0), int(y1 - y0), true);
    return static_cast<int>(scanLines);
}
