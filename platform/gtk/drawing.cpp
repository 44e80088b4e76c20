// The retained client surface, device contexts, the logical palette and the two drawing
// operations the program uses (SetDIBitsToDevice, FillRect).
//
// Every drawing operation writes the surface and then presents the changed rectangle to the
// X server with one (MIT-SHM) put, flushed at once. GTK's queue_draw would be held to the
// 60 Hz frame clock and would merge the frames in between; this way each put reaches the
// screen. Before the next write the server is made to finish reading (one round trip), so a
// frame is never shown half-overwritten.
#include <gdk/gdkx.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/core/dib_rows.h"
#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

struct DeviceContext {
    uint32_t Magic;
    WindowRecord* Window;
    HPALETTE Palette;
};
constexpr uint32_t DcMagic = 0x4B444320;  // "KDC "

struct PaletteRecord {
    uint32_t Magic;
    bool Alive;
    int Count;
    PALETTEENTRY Entries[256];
};
constexpr uint32_t PaletteMagic = 0x4B50414C;  // "KPAL"

struct BrushRecord {
    uint32_t Magic;
    uint32_t Color;  // 0x00RRGGBB
};
constexpr uint32_t BrushMagic = 0x4B425253;  // "KBRS"

BrushRecord stockBrushes[] = {
    {BrushMagic, 0xFFFFFF}, {BrushMagic, 0xC0C0C0}, {BrushMagic, 0x808080},
    {BrushMagic, 0x404040}, {BrushMagic, 0x000000},
};

PaletteRecord defaultPalette = {PaletteMagic, true, 0, {}};
std::vector<PaletteRecord*> palettes;

DeviceContext* FindDc(HDC handle) {
    auto* dc = reinterpret_cast<DeviceContext*>(handle);
    if (dc == nullptr || dc->Magic != DcMagic) return nullptr;
    return dc;
}

PaletteRecord* FindPalette(HPALETTE handle) {
    auto* p = reinterpret_cast<PaletteRecord*>(handle);
    if (p == &defaultPalette) return p;
    for (PaletteRecord* known : palettes)
        if (known == p) return p->Alive ? p : nullptr;
    return nullptr;
}

bool IsStockBrush(const void* object) {
    for (const BrushRecord& b : stockBrushes)
        if (&b == object) return true;
    return false;
}

HDC NewDc(WindowRecord* window) {
    auto* dc = new DeviceContext{DcMagic, window, reinterpret_cast<HPALETTE>(&defaultPalette)};
    return reinterpret_cast<HDC>(dc);
}

void FreeDc(DeviceContext* dc) {
    dc->Magic = 0;
    delete dc;
}

// The surface rectangle that a drawing into (x, y, width, height) touches, or false.
bool ClipToSurface(const ClientSurface& s, int& x, int& y, int& width, int& height) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min<long long>((long long)x + width, s.Width);
    int y1 = std::min<long long>((long long)y + height, s.Height);
    if (x0 >= x1 || y0 >= y1) return false;
    x = x0;
    y = y0;
    width = x1 - x0;
    height = y1 - y0;
    return true;
}

// The image of a shared segment keeps a pointer to its segment's record (obdata), which is
// therefore never moved.
void DetachSegment(Display* display, XImage*& image) {
    if (image == nullptr) return;
    auto* shm = reinterpret_cast<XShmSegmentInfo*>(image->obdata);
    if (display != nullptr) XShmDetach(display, shm);
    image->data = nullptr;
    XDestroyImage(image);
    image = nullptr;
    shmdt(shm->shmaddr);
    *shm = {};
}

void FreeSurfaceMemory(ClientSurface& s, Display* display) {
    if (s.Cairo != nullptr) cairo_surface_destroy(s.Cairo);
    s.Cairo = nullptr;
    if (display != nullptr && (s.PutInFlight || s.Spare.PutInFlight)) XSync(display, False);
    if (s.HasSpare) DetachSegment(display, s.Spare.Image);
    if (s.UsesShm) {
        DetachSegment(display, s.Image);
    } else {
        if (s.Image != nullptr) {
            s.Image->data = nullptr;
            XDestroyImage(s.Image);
            s.Image = nullptr;
        }
        free(s.Pixels);
    }
    s.Pixels = nullptr;
    s.UsesShm = false;
    s.PutInFlight = false;
    s.HasSpare = false;
    s.Spare = {};
}

// A 24-bit true-colour visual with the usual masks and the server in our byte order is what
// the surface's 0x00RRGGBB words can be handed to directly.
bool DirectVisual(Display* display, Visual* visual, int depth) {
    return visual != nullptr && depth == 24 && visual->red_mask == 0xFF0000 &&
           visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF &&
           ImageByteOrder(display) == LSBFirst;
}

// KINARO_GTK_PRESENT=gtk leaves presenting to GTK's redraws (frame clock), for comparison.
bool DirectPresentationWanted() {
    static const bool wanted = [] {
        const char* choice = getenv("KINARO_GTK_PRESENT");
        return choice == nullptr || strcmp(choice, "gtk") != 0;
    }();
    return wanted;
}

// Pixels the X server reads straight from shared memory; false when MIT-SHM cannot be had
// (a remote display, or the extension refused).
bool AttachSegment(const ClientSurface& s, Display* display, Visual* visual, size_t bytes,
                   XImage*& image, XShmSegmentInfo& shm) {
    image = XShmCreateImage(display, visual, 24, ZPixmap, nullptr, &shm, s.Stride,
                            std::max(s.Height, 1));
    if (image == nullptr) return false;
    bool attached = false;
    if (image->bytes_per_line == s.Stride * 4 &&
        (shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600)) >= 0) {
        shm.shmaddr = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        shm.readOnly = True;
        if (shm.shmaddr != reinterpret_cast<char*>(-1)) {
            GdkDisplay* gdkDisplay = gdk_display_get_default();
            gdk_x11_display_error_trap_push(gdkDisplay);
            attached = XShmAttach(display, &shm);
            XSync(display, False);
            if (gdk_x11_display_error_trap_pop(gdkDisplay) != 0) attached = false;
            if (!attached) shmdt(shm.shmaddr);
        }
        // Marked for removal at once: the segment goes away with the last detach, even if
        // the process is killed.
        shmctl(shm.shmid, IPC_RMID, nullptr);
    }
    if (!attached) {
        XDestroyImage(image);
        image = nullptr;
        shm = {};
        return false;
    }
    image->data = shm.shmaddr;
    return true;
}

bool AttachSharedPixels(ClientSurface& s, Display* display, Visual* visual, size_t bytes) {
    if (!XShmQueryExtension(display)) return false;
    if (!AttachSegment(s, display, visual, bytes, s.Image, s.Shm)) return false;
    s.Pixels = reinterpret_cast<uint32_t*>(s.Shm.shmaddr);
    s.UsesShm = true;
    // Without the second segment every write waits for the server instead.
    s.HasSpare = AttachSegment(s, display, visual, bytes, s.Spare.Image, s.Spare.Shm);
    return true;
}

void AllocateSurface(WindowRecord* w, int width, int height) {
    ClientSurface& s = w->Surface;
    s.Width = width;
    s.Height = height;
    s.Stride = std::max(width, 1);
    size_t bytes = (size_t)s.Stride * std::max(height, 1) * 4;
    Display* display = XDisplayOrNull();
    GdkWindow* gdkWindow = w->Area != nullptr ? gtk_widget_get_window(w->Area) : nullptr;
    s.Direct = false;
    if (gdkWindow != nullptr && gdk_window_has_native(gdkWindow) && CanPresentDirectly(gdkWindow)) {
        Visual* visual = gdk_x11_visual_get_xvisual(gdk_window_get_visual(gdkWindow));
        s.XWindow = gdk_x11_window_get_xid(gdkWindow);
        if (s.Gc == nullptr) s.Gc = XCreateGC(display, s.XWindow, 0, nullptr);
        if (!AttachSharedPixels(s, display, visual, bytes)) {
            s.Pixels = static_cast<uint32_t*>(calloc(bytes, 1));
            if (s.Pixels != nullptr)
                s.Image = XCreateImage(display, visual, 24, ZPixmap, 0,
                                       reinterpret_cast<char*>(s.Pixels), s.Stride,
                                       std::max(height, 1), 32, s.Stride * 4);
        }
        s.Direct = s.Image != nullptr;
    }
    if (s.Pixels == nullptr) s.Pixels = static_cast<uint32_t*>(calloc(bytes, 1));
    if (s.Pixels == nullptr) {
        s.Width = s.Height = 0;
        return;
    }
    s.Cairo = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.Pixels),
                                                  CAIRO_FORMAT_RGB24, s.Width, s.Height,
                                                  s.Stride * 4);
}

}  // namespace

bool CanPresentDirectly(GdkWindow* window) {
    Display* display = XDisplayOrNull();
    if (display == nullptr || window == nullptr || !DirectPresentationWanted()) return false;
    // A scaled window (HiDPI) has more device pixels than the surface has; GTK scales then.
    if (gdk_window_get_scale_factor(window) != 1) return false;
    GdkVisual* visual = gdk_window_get_visual(window);
    return DirectVisual(display, gdk_x11_visual_get_xvisual(visual), gdk_visual_get_depth(visual));
}

// ---- presenting: the one place that decides when Pixels may be written -----------------
//
// Every put is an MIT-SHM put that asks for a completion event, flushed at once, and remembers
// its request serial. With two shared segments, a write that comes while the server may
// still read the last put does not wait for it: the surface turns to the other segment, once
// the server is done with the put made from that one (usually long done: it was the put before
// last), and the writes it missed meanwhile are copied over from the newer segment unless the
// coming write covers them all. With one segment (or none), the write waits for the server
// with one round trip, as before.
namespace {

bool Empty(const int (&r)[4]) { return r[0] >= r[2] || r[1] >= r[3]; }

void AddRect(int (&r)[4], int x0, int y0, int x1, int y1) {
    if (x0 >= x1 || y0 >= y1) return;
    if (Empty(r)) {
        r[0] = x0, r[1] = y0, r[2] = x1, r[3] = y1;
        return;
    }
    r[0] = std::min(r[0], x0), r[1] = std::min(r[1], y0);
    r[2] = std::max(r[2], x1), r[3] = std::max(r[3], y1);
}

// True once the server has processed the request `serial`. Reads what the connection holds
// without blocking; the events read stay queued for GDK.
bool Processed(Display* display, unsigned long serial) {
    if (static_cast<long>(LastKnownRequestProcessed(display) - serial) >= 0) return true;
    XEventsQueued(display, QueuedAfterReading);
    return static_cast<long>(LastKnownRequestProcessed(display) - serial) >= 0;
}

// Waits for the completion of the put `serial`; after half a second, for everything.
void WaitForPut(Display* display, unsigned long serial) {
    XFlush(display);
    for (int waited = 0; !Processed(display, serial); ++waited) {
        if (waited == 500) {
            XSync(display, False);
            return;
        }
        pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 1);
    }
}

void TurnToSpare(ClientSurface& s) {
    std::swap(s.Image, s.Spare.Image);
    std::swap(s.PutInFlight, s.Spare.PutInFlight);
    std::swap(s.PutSerial, s.Spare.PutSerial);
    std::swap(s.Missed, s.Spare.Missed);
    s.Pixels = reinterpret_cast<uint32_t*>(s.Image->data);
    if (s.Cairo != nullptr) {
        cairo_surface_destroy(s.Cairo);
        s.Cairo = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.Pixels),
                                                      CAIRO_FORMAT_RGB24, s.Width, s.Height,
                                                      s.Stride * 4);
    }
}

}  // namespace

void BeforeSurfaceWrite(ClientSurface& s, int x, int y, int width, int height) {
    if (!ClipToSurface(s, x, y, width, height)) width = height = 0;
    Display* display = XDisplayOrNull();
    if (s.PutInFlight && display != nullptr) {
        if (s.HasSpare) {
            if (s.Spare.PutInFlight) WaitForPut(display, s.Spare.PutSerial);
            s.Spare.PutInFlight = false;
            TurnToSpare(s);
            const int(&m)[4] = s.Missed;
            bool covered = x <= m[0] && y <= m[1] && x + width >= m[2] && y + height >= m[3];
            if (!Empty(m) && !covered) {
                const uint32_t* from = reinterpret_cast<const uint32_t*>(s.Spare.Image->data);
                for (int row = m[1]; row < m[3]; ++row)
                    memcpy(s.Pixels + (size_t)row * s.Stride + m[0],
                           from + (size_t)row * s.Stride + m[0], (size_t)(m[2] - m[0]) * 4);
            }
            s.Missed[0] = s.Missed[1] = s.Missed[2] = s.Missed[3] = 0;
        } else {
            XSync(display, False);
            s.PutInFlight = false;
        }
    }
    s.PutInFlight = false;
    if (s.HasSpare) AddRect(s.Spare.Missed, x, y, x + width, y + height);
}

void PresentRect(WindowRecord* w, int x, int y, int width, int height) {
    ClientSurface& s = w->Surface;
    if (!ClipToSurface(s, x, y, width, height)) return;
    if (s.Direct && w->Visible && !w->Minimized) {
        Display* display = XDisplayOrNull();
        s.PutSerial = NextRequest(display);
        if (s.UsesShm)
            XShmPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height, True);
        else
            XPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height);
        XFlush(display);
        s.PutInFlight = true;
    } else if (w->Area != nullptr) {
        gtk_widget_queue_draw_area(w->Area, x, y, width, height);
    }
}
// ---- end of presenting ------------------------------------------------------------------

void ResizeSurface(WindowRecord* w, int width, int height) {
    ClientSurface& old = w->Surface;
    width = std::max(width, 0);
    height = std::max(height, 0);
    int oldWidth = old.Width, oldHeight = old.Height, oldStride = old.Stride;
    uint32_t* kept = nullptr;
    if (old.Pixels != nullptr) {
        BeforeSurfaceWrite(old, 0, 0, 0, 0);
        kept = static_cast<uint32_t*>(malloc((size_t)oldStride * std::max(oldHeight, 1) * 4));
        if (kept != nullptr)
            memcpy(kept, old.Pixels, (size_t)oldStride * std::max(oldHeight, 1) * 4);
    }
    FreeSurfaceMemory(old, XDisplayOrNull());
    AllocateSurface(w, width, height);
    ClientSurface& s = w->Surface;
    if (s.Pixels != nullptr) {
        for (int y = 0; y < s.Height; ++y) {
            uint32_t* row = s.Pixels + (size_t)y * s.Stride;
            int copied = 0;
            if (kept != nullptr && y < oldHeight) {
                copied = std::min(oldWidth, s.Width);
                memcpy(row, kept + (size_t)y * oldStride, (size_t)copied * 4);
            }
            std::fill(row + copied, row + s.Width, 0u);
        }
        // The spare segment starts zeroed, without the pixels kept.
        if (s.HasSpare) AddRect(s.Spare.Missed, 0, 0, s.Width, s.Height);
    }
    free(kept);
}

void ReleaseSurface(WindowRecord* w) {
    Display* display = XDisplayOrNull();
    FreeSurfaceMemory(w->Surface, display);
    if (w->Surface.Gc != nullptr && display != nullptr) XFreeGC(display, w->Surface.Gc);
    w->Surface.Gc = nullptr;
    w->Surface.Direct = false;
    w->Surface.Width = w->Surface.Height = 0;
}

void PaintSurface(WindowRecord* w, cairo_t* cr) {
    ClientSurface& s = w->Surface;
    if (s.Cairo == nullptr) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        return;
    }
    cairo_surface_mark_dirty(s.Cairo);
    cairo_set_source_surface(cr, s.Cairo, 0, 0);
    cairo_paint(cr);
}

}  // namespace gtkb

using namespace gtkb;

HDC WINAPI GetDC(HWND window) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || w->Kind != WindowKind::Frame) return nullptr;
    return NewDc(w);
}

int WINAPI ReleaseDC(HWND, HDC handle) {
    DeviceContext* dc = FindDc(handle);
    if (dc == nullptr) return 0;
    FreeDc(dc);
    return 1;
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
    WindowRecord* w = FindWindow(window);
    if (w == nullptr || paint == nullptr || w->Kind != WindowKind::Frame) return nullptr;
    memset(paint, 0, sizeof *paint);
    GetUpdateRect(window, &paint->rcPaint, FALSE);
    w->HasUpdate = false;
    w->Update = {0, 0, 0, 0};
    paint->hdc = NewDc(w);
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (paint == nullptr) return FALSE;
    if (DeviceContext* dc = FindDc(paint->hdc)) FreeDc(dc);
    return TRUE;
}

HPALETTE WINAPI CreatePalette(const LOGPALETTE* logPalette) {
    if (logPalette == nullptr || logPalette->palVersion != 0x300 ||
        logPalette->palNumEntries == 0 || logPalette->palNumEntries > 256)
        return nullptr;
    auto* p = new PaletteRecord{PaletteMagic, true, logPalette->palNumEntries, {}};
    memcpy(p->Entries, logPalette->palPalEntry, sizeof(PALETTEENTRY) * p->Count);
    palettes.push_back(p);
    return reinterpret_cast<HPALETTE>(p);
}

HPALETTE WINAPI SelectPalette(HDC handle, HPALETTE palette, BOOL) {
    DeviceContext* dc = FindDc(handle);
    if (dc == nullptr || FindPalette(palette) == nullptr) return nullptr;
    HPALETTE previous = dc->Palette;
    dc->Palette = palette;
    return previous;
}

// A true-colour display maps every entry; nothing on screen changes.
UINT WINAPI RealizePalette(HDC handle) {
    DeviceContext* dc = FindDc(handle);
    if (dc == nullptr) return 0;
    PaletteRecord* p = FindPalette(dc->Palette);
    return p != nullptr ? (UINT)p->Count : 0;
}

// Replaces the entries that were created reserved for animation; the colours on screen come
// from each bitmap's own colour table, as on a true-colour Windows display.
BOOL WINAPI AnimatePalette(HPALETTE palette, UINT startIndex, UINT entries,
                           const PALETTEENTRY* colors) {
    PaletteRecord* p = FindPalette(palette);
    if (p == nullptr || p == &defaultPalette || colors == nullptr) return FALSE;
    for (UINT i = 0; i < entries && startIndex + i < (UINT)p->Count; ++i) {
        PALETTEENTRY& e = p->Entries[startIndex + i];
        if (!(e.peFlags & PC_RESERVED)) continue;
        e.peRed = colors[i].peRed;
        e.peGreen = colors[i].peGreen;
        e.peBlue = colors[i].peBlue;
    }
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (object == nullptr) return FALSE;
    if (IsStockBrush(object)) return TRUE;
    PaletteRecord* p = FindPalette(reinterpret_cast<HPALETTE>(object));
    if (p == nullptr || p == &defaultPalette) return FALSE;
    p->Alive = false;
    return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    if (object < 0 || object > BLACK_BRUSH) return nullptr;
    return &stockBrushes[object];
}

BOOL WINAPI SetRect(RECT* rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

int WINAPI FillRect(HDC handle, const RECT* rect, HBRUSH brush) {
    DeviceContext* dc = FindDc(handle);
    auto* b = reinterpret_cast<BrushRecord*>(brush);
    if (dc == nullptr || rect == nullptr || !IsStockBrush(b)) return 0;
    WindowRecord* w = dc->Window;
    if (!w->Alive) return 0;
    ClientSurface& s = w->Surface;
    int x = rect->left, y = rect->top;
    int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (s.Pixels == nullptr || !ClipToSurface(s, x, y, width, height)) return 1;
    BeforeSurfaceWrite(s, x, y, width, height);
    for (int row = y; row < y + height; ++row) {
        uint32_t* p = s.Pixels + (size_t)row * s.Stride + x;
        std::fill(p, p + width, b->Color);
    }
    PresentRect(w, x, y, width, height);
    return 1;
}

// 8-bit device-independent bitmaps, bottom-up or top-down, through their colour table
// (DIB_RGB_COLORS) or the selected palette (DIB_PAL_COLORS). Returns the scan lines set.
int WINAPI SetDIBitsToDevice(HDC handle, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT scanLines, const void* bits,
                             const BITMAPINFO* info, UINT colorUse) {
    DeviceContext* dc = FindDc(handle);
    if (dc == nullptr || bits == nullptr || info == nullptr) return 0;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 8 || h.biCompression != BI_RGB ||
        h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
        return 0;
    WindowRecord* w = dc->Window;
    if (!w->Alive) return 0;

    // Colour table into surface words.
    uint32_t table[256] = {};
    if (colorUse == DIB_RGB_COLORS) {
        unsigned used = h.biClrUsed == 0 ? 256u : std::min<DWORD>(h.biClrUsed, 256u);
        const auto* colors = reinterpret_cast<const RGBQUAD*>(
            reinterpret_cast<const uint8_t*>(info) + h.biSize);
        for (unsigned i = 0; i < used; ++i)
            table[i] = ((uint32_t)colors[i].rgbRed << 16) | ((uint32_t)colors[i].rgbGreen << 8) |
                       colors[i].rgbBlue;
    } else {
        PaletteRecord* p = FindPalette(dc->Palette);
        unsigned used = h.biClrUsed == 0 ? 256u : std::min<DWORD>(h.biClrUsed, 256u);
        const auto* indices = reinterpret_cast<const uint16_t*>(
            reinterpret_cast<const uint8_t*>(info) + h.biSize);
        for (unsigned i = 0; p != nullptr && i < used; ++i) {
            if (indices[i] >= p->Count) continue;
            const PALETTEENTRY& e = p->Entries[indices[i]];
            table[i] = ((uint32_t)e.peRed << 16) | ((uint32_t)e.peGreen << 8) | e.peBlue;
        }
    }

    const long long dibWidth = h.biWidth;
    const long long dibHeight = h.biHeight > 0 ? h.biHeight : -(long long)h.biHeight;
    const bool bottomUp = h.biHeight > 0;
    const long long stride = ((dibWidth * 8 + 31) >> 3) & ~3LL;
    ClientSurface& s = w->Surface;
    if (s.Pixels == nullptr) return (int)scanLines;

    // Destination rectangle, clipped to the surface and to the source bitmap.
    long long dx0 = xDest, dy0 = yDest;
    long long dx1 = dx0 + width, dy1 = dy0 + height;
    // Source column of destination column dx: xSrc + (dx - xDest). Source row counted from
    // the top of the bitmap for destination row dy: (dibHeight - ySrc - height) + (dy - yDest).
    long long topRow0 = dibHeight - ySrc - (long long)height;
    dx0 = std::max({dx0, 0LL, (long long)xDest - xSrc});
    dx1 = std::min({dx1, (long long)s.Width, (long long)xDest - xSrc + dibWidth});
    dy0 = std::max({dy0, 0LL, (long long)yDest - topRow0});
    dy1 = std::min({dy1, (long long)s.Height, (long long)yDest - topRow0 + dibHeight});
    if (dx0 >= dx1 || dy0 >= dy1) return (int)scanLines;

    // `bits` holds the rows startScan .. startScan + scanLines - 1 of a bottom-up bitmap; a
    // top-down one is taken from its first row. The rows at hand form one run of dy.
    const auto sourceRow = [&](long long dy) -> long long {
        long long topRow = topRow0 + (dy - yDest);
        // The bitmap's own row number (0 = first row in memory order).
        long long memoryRow = bottomUp ? dibHeight - 1 - topRow : topRow;
        long long available = bottomUp ? memoryRow - (long long)startScan : memoryRow;
        return available < 0 || available >= (long long)scanLines ? -1 : available;
    };
    int drawnTop = -1, drawnBottom = -1;
    for (long long dy = dy0; dy < dy1; ++dy) {
        if (sourceRow(dy) < 0) continue;
        if (drawnTop < 0) drawnTop = (int)dy;
        drawnBottom = (int)dy;
    }
    if (drawnTop < 0) return (int)scanLines;

    BeforeSurfaceWrite(s, (int)dx0, drawnTop, (int)(dx1 - dx0), drawnBottom - drawnTop + 1);
    const auto* source = static_cast<const uint8_t*>(bits);
    for (long long dy = drawnTop; dy <= drawnBottom; ++dy) {
        const uint8_t* src = source + sourceRow(dy) * stride + (xSrc + (dx0 - xDest));
        uint32_t* dst = s.Pixels + (size_t)dy * s.Stride + dx0;
        ConvertDibRow(src, table, dst, (size_t)(dx1 - dx0));
    }
    Stats().BitmapPuts++;
    bool direct = s.Direct && w->Visible && !w->Minimized;
    PresentRect(w, (int)dx0, drawnTop, (int)(dx1 - dx0), drawnBottom - drawnTop + 1);
    if (direct) Stats().BitmapPresents++;
    return (int)scanLines;
}
