// Device contexts, palettes, brushes and drawing into the client surfaces of the headless
// backend. The desktop is true-colour: a bitmap is drawn through its own colour table, and
// palettes only keep their entries (observable by tests), as on a true-colour Windows display.
#include <algorithm>
#include <cstring>

#include "platform/headless/headless_internal.h"

namespace headless {

namespace {

constexpr int StockBrushCount = 6;  // WHITE, LTGRAY, GRAY, DKGRAY, BLACK, NULL
HGDIOBJ stockBrushes[StockBrushCount];

uint32_t Rgb(BYTE r, BYTE g, BYTE b) {
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

GdiObject& NewObject(ObjectKind kind) {
    auto o = std::make_unique<GdiObject>();
    o->Id = NewId();
    o->Kind = kind;
    GdiObject& ref = *o;
    Get().Objects[o->Id] = std::move(o);
    return ref;
}

void MakeStockObjects() {
    const uint32_t colours[StockBrushCount] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0, 0};
    for (int i = 0; i < StockBrushCount; ++i) {
        GdiObject& b = NewObject(ObjectKind::Brush);
        b.Stock = true;
        b.Colour = colours[i];
        b.NullBrush = i == 5;
        stockBrushes[i] = ToHandle<HGDIOBJ>(b.Id);
    }
    // The default palette that every new device context starts with.
    GdiObject& p = NewObject(ObjectKind::Palette);
    p.Stock = true;
    p.Entries.assign(20, PALETTEENTRY{0, 0, 0, 0});
    Get().DefaultPalette = ToHandle<HPALETTE>(p.Id);
}

GdiObject* LivePalette(HPALETTE palette) {
    GdiObject* o = FindObject(palette);
    return (o != nullptr && o->Kind == ObjectKind::Palette) ? o : nullptr;
}

Window* ContextWindow(HDC dc) {
    DeviceContext* c = FindContext(dc);
    if (c == nullptr) return nullptr;
    Window* w = AnyWindowRecord(c->Window);
    return (w != nullptr && !w->Destroyed) ? w : nullptr;
}

}  // namespace

GdiObject* FindObject(HGDIOBJ object) {
    auto it = Get().Objects.find(FromHandle(object));
    if (it == Get().Objects.end() || it->second->Deleted) {
        SetError(ErrorInvalidParameter);
        return nullptr;
    }
    return it->second.get();
}

DeviceContext* FindContext(HDC dc) {
    auto it = Get().Contexts.find(FromHandle(dc));
    if (it == Get().Contexts.end() || it->second->Released) {
        SetError(ErrorInvalidParameter);
        return nullptr;
    }
    return it->second.get();
}

void ResetGdi() {
    Desktop& d = Get();
    d.Objects.clear();
    d.Contexts.clear();
    d.LastBitmapHeader = BITMAPINFOHEADER{};
    d.LastColourTable.clear();
    d.DefaultPalette = nullptr;
    MakeStockObjects();
}

void EnsureStockObjects() {
    if (Get().DefaultPalette == nullptr) MakeStockObjects();
}

}  // namespace headless

using namespace headless;

HDC WINAPI GetDC(HWND window) {
    EnsureStockObjects();
    if (Fails(HeadlessFault::GetDC)) return nullptr;
    if (window != nullptr && FindWindowRecord(window) == nullptr) return nullptr;
    auto dc = std::make_unique<DeviceContext>();
    dc->Id = NewId();
    dc->Window = window;
    dc->Palette = Get().DefaultPalette;
    HDC handle = ToHandle<HDC>(dc->Id);
    Get().Contexts[dc->Id] = std::move(dc);
    return handle;
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    DeviceContext* c = FindContext(dc);
    if (c == nullptr || c->FromPaint || c->Window != window) return 0;
    c->Released = true;
    return 1;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette) {
    EnsureStockObjects();
    if (Fails(HeadlessFault::CreatePalette)) return nullptr;
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries == 0) {
        SetError(ErrorInvalidParameter);
        return nullptr;
    }
    GdiObject& p = NewObject(ObjectKind::Palette);
    p.Entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return ToHandle<HPALETTE>(p.Id);
}

HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL) {
    DeviceContext* c = FindContext(dc);
    if (c == nullptr || LivePalette(palette) == nullptr) return nullptr;
    HPALETTE previous = c->Palette;
    c->Palette = palette;
    return previous;
}

UINT WINAPI RealizePalette(HDC dc) {
    DeviceContext* c = FindContext(dc);
    if (c == nullptr) return static_cast<UINT>(-1);  // GDI_ERROR
    GdiObject* p = LivePalette(c->Palette);
    if (p == nullptr) return static_cast<UINT>(-1);
    ++p->Realizations;
    return static_cast<UINT>(p->Entries.size());
}

BOOL WINAPI AnimatePalette(HPALETTE palette, UINT startIndex, UINT entries,
                           const PALETTEENTRY* colors) {
    if (Fails(HeadlessFault::AnimatePalette)) return FALSE;
    GdiObject* p = LivePalette(palette);
    if (p == nullptr || colors == nullptr || startIndex >= p->Entries.size()) {
        SetError(ErrorInvalidParameter);
        return FALSE;
    }
    // Only entries created reserved for animation change, as on Windows.
    UINT end = std::min<UINT>(static_cast<UINT>(p->Entries.size()), startIndex + entries);
    for (UINT i = startIndex; i < end; ++i) {
        PALETTEENTRY& e = p->Entries[i];
        if (e.peFlags & PC_RESERVED) {
            e.peRed = colors[i - startIndex].peRed;
            e.peGreen = colors[i - startIndex].peGreen;
            e.peBlue = colors[i - startIndex].peBlue;
        }
    }
    ++p->Animations;
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    GdiObject* o = FindObject(object);
    if (o == nullptr) return FALSE;
    if (!o->Stock) o->Deleted = true;
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    EnsureStockObjects();
    if (object < 0 || object >= StockBrushCount) return nullptr;
    return stockBrushes[object];
}

int WINAPI SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT scanLines, const void* bits,
                             const BITMAPINFO* info, UINT colorUse) {
    Window* w = ContextWindow(dc);
    if (info == nullptr || bits == nullptr || colorUse != DIB_RGB_COLORS) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 8 || h.biCompression != BI_RGB ||
        h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
        return 0;
    size_t colours = h.biClrUsed != 0 ? std::min<DWORD>(h.biClrUsed, 256) : 256;
    Desktop& d = Get();
    d.LastBitmapHeader = h;
    d.LastColourTable.assign(info->bmiColors, info->bmiColors + colours);
    if (w == nullptr) return static_cast<int>(scanLines);  // a context without a surface
    uint32_t table[256];
    for (size_t i = 0; i < 256; ++i) {
        const RGBQUAD& q = info->bmiColors[i < colours ? i : 0];
        table[i] = i < colours ? Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue) : 0;
    }
    const bool bottomUp = h.biHeight > 0;
    const int64_t rows = bottomUp ? h.biHeight : -static_cast<int64_t>(h.biHeight);
    const size_t stride = ((static_cast<size_t>(h.biWidth) * 8 + 31) / 32) * 4;
    const auto* src = static_cast<const uint8_t*>(bits);
    // Source coordinates count from the bottom-left corner of the bitmap; the destination
    // rectangle's top row shows source row ySrc + height - 1.
    for (int64_t dy = 0; dy < static_cast<int64_t>(height); ++dy) {
        int64_t y = yDest + dy;
        if (y < 0 || y >= w->ClientHeight) continue;
        int64_t sourceRow = ySrc + (static_cast<int64_t>(height) - 1 - dy);
        if (sourceRow < 0 || sourceRow >= rows) continue;
        if (sourceRow < startScan || sourceRow >= static_cast<int64_t>(startScan) + scanLines)
            continue;
        int64_t memoryRow = sourceRow - startScan;
        if (!bottomUp) memoryRow = (rows - 1 - sourceRow) - startScan;
        if (memoryRow < 0 || memoryRow >= scanLines) continue;
        const uint8_t* line = src + static_cast<size_t>(memoryRow) * stride;
        uint32_t* out = &w->Surface[static_cast<size_t>(y) * w->ClientWidth];
        for (int64_t dx = 0; dx < static_cast<int64_t>(width); ++dx) {
            int64_t x = xDest + dx;
            int64_t sx = xSrc + dx;
            if (x < 0 || x >= w->ClientWidth || sx < 0 || sx >= h.biWidth) continue;
            out[x] = table[line[sx]];
        }
    }
    ++w->Draws;
    return static_cast<int>(scanLines);
}

BOOL WINAPI SetRect(RECT* rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    GdiObject* b = FindObject(brush);
    if (rect == nullptr || b == nullptr || b->Kind != ObjectKind::Brush) return 0;
    Window* w = ContextWindow(dc);
    if (FindContext(dc) == nullptr) return 0;
    if (w == nullptr || b->NullBrush) return 1;
    int left = std::max<int>(rect->left, 0), top = std::max<int>(rect->top, 0);
    int right = std::min<int>(rect->right, w->ClientWidth);
    int bottom = std::min<int>(rect->bottom, w->ClientHeight);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            w->Surface[static_cast<size_t>(y) * w->ClientWidth + x] = b->Colour;
    return 1;
}

std::vector<PALETTEENTRY> HeadlessPaletteEntries(HPALETTE palette) {
    GdiObject* p = LivePalette(palette);
    return p ? p->Entries : std::vector<PALETTEENTRY>{};
}

bool HeadlessObjectLive(HGDIOBJ object) {
    auto it = Get().Objects.find(FromHandle(object));
    return it != Get().Objects.end() && !it->second->Deleted;
}

int HeadlessPaletteAnimations(HPALETTE palette) {
    auto it = Get().Objects.find(FromHandle(palette));
    return it == Get().Objects.end() ? 0 : it->second->Animations;
}

int HeadlessPaletteRealizations(HPALETTE palette) {
    auto it = Get().Objects.find(FromHandle(palette));
    return it == Get().Objects.end() ? 0 : it->second->Realizations;
}

int HeadlessLiveDeviceContexts() {
    int n = 0;
    for (auto& [id, c] : Get().Contexts) n += c->Released ? 0 : 1;
    return n;
}

BITMAPINFOHEADER HeadlessLastBitmapHeader() { return Get().LastBitmapHeader; }
std::vector<RGBQUAD> HeadlessLastColourTable() { return Get().LastColourTable; }
