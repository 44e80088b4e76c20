// The retained client surface and its presentation. Every drawing of the core writes the
// surface and then presents the changed rectangle to the X server with one (MIT-SHM) put,
// flushed at once. GTK's queue_draw would be held to the 60 Hz frame clock and would merge
// the frames in between; this way each put reaches the screen. A frame is never shown
// half-overwritten: a write waits for (or turns away from) the pixels the server still reads.
#include <gdk/gdkx.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

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
    s.UsesShm = s.PutInFlight = s.HasSpare = false;
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

// A segment the X server reads straight from shared memory; false when MIT-SHM cannot be
// had (a remote display, or the extension refused).
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
    if (!XShmQueryExtension(display) || !AttachSegment(s, display, visual, bytes, s.Image, s.Shm))
        return false;
    s.Pixels = reinterpret_cast<uint32_t*>(s.Shm.shmaddr);
    s.UsesShm = true;
    // Without the second segment every write waits for the server instead.
    s.HasSpare = AttachSegment(s, display, visual, bytes, s.Spare.Image, s.Spare.Shm);
    return true;
}

void WrapInCairo(ClientSurface& s) {
    s.Cairo =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.Pixels),
                                            CAIRO_FORMAT_RGB24, s.Width, s.Height, s.Stride * 4);
}

void AllocateSurface(core::WindowRecord& w, int width, int height) {
    ClientSurface& s = Parts(w).Surface;
    s.Width = width;
    s.Height = height;
    s.Stride = std::max(width, 1);
    size_t bytes = (size_t)s.Stride * std::max(height, 1) * 4;
    Display* display = XDisplayOrNull();
    GdkWindow* gdkWindow =
        Parts(w).Area != nullptr ? gtk_widget_get_window(Parts(w).Area) : nullptr;
    s.Direct = false;
    if (gdkWindow != nullptr && gdk_window_has_native(gdkWindow) && CanPresentDirectly(gdkWindow)) {
        Visual* visual = gdk_x11_visual_get_xvisual(gdk_window_get_visual(gdkWindow));
        s.XWindow = gdk_x11_window_get_xid(gdkWindow);
        if (s.Gc == nullptr) s.Gc = XCreateGC(display, s.XWindow, 0, nullptr);
        if (!AttachSharedPixels(s, display, visual, bytes)) {
            s.Pixels = static_cast<uint32_t*>(calloc(bytes, 1));
            if (s.Pixels != nullptr)
                s.Image =
                    XCreateImage(display, visual, 24, ZPixmap, 0, reinterpret_cast<char*>(s.Pixels),
                                 s.Stride, std::max(height, 1), 32, s.Stride * 4);
        }
        s.Direct = s.Image != nullptr;
    }
    if (s.Pixels == nullptr) s.Pixels = static_cast<uint32_t*>(calloc(bytes, 1));
    if (s.Pixels == nullptr) {
        s.Width = s.Height = 0;
        return;
    }
    WrapInCairo(s);
}

// ---- presenting: the one place that decides when Pixels may be written ------------------
//
// Every put is an MIT-SHM put that asks for a completion event, flushed at once, and remembers
// its request serial. With two shared segments, a write that comes while the server may
// still read the last put does not wait for it: the surface turns to the other segment, once
// the server is done with the put made from that one (usually long done: it was the put before
// last), and the writes it missed meanwhile are copied over from the newer segment unless the
// coming write covers them all. With one segment (or none), the write waits for the server
// with one round trip.

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
        WrapInCairo(s);
    }
}

// The rectangle comes from the core, already clipped to the surface.
void BeforeSurfaceWrite(ClientSurface& s, int x, int y, int width, int height) {
    Display* display = XDisplayOrNull();
    if (s.PutInFlight && display != nullptr && s.HasSpare) {
        if (s.Spare.PutInFlight) WaitForPut(display, s.Spare.PutSerial);
        s.Spare.PutInFlight = false;
        TurnToSpare(s);
        const RECT& m = s.Missed;
        bool covered = x <= m.left && y <= m.top && x + width >= m.right && y + height >= m.bottom;
        if (!core::Empty(m) && !covered) {
            const uint32_t* from = reinterpret_cast<const uint32_t*>(s.Spare.Image->data);
            for (int row = m.top; row < m.bottom; ++row)
                memcpy(s.Pixels + (size_t)row * s.Stride + m.left,
                       from + (size_t)row * s.Stride + m.left, (size_t)(m.right - m.left) * 4);
        }
        s.Missed = {};
    } else if (s.PutInFlight && display != nullptr) {
        XSync(display, False);
    }
    s.PutInFlight = false;
    if (s.HasSpare) core::Unite(s.Spare.Missed, {x, y, x + width, y + height});
}
// ---- end of presenting -------------------------------------------------------------------

}  // namespace

bool PresentRect(core::WindowRecord& w, int x, int y, int width, int height) {
    ClientSurface& s = Parts(w).Surface;
    if (!ClipToSurface(s, x, y, width, height)) return false;
    bool direct = s.Direct && w.Visible && !w.Minimized;
    if (direct) {
        Display* display = XDisplayOrNull();
        s.PutSerial = NextRequest(display);
        if (s.UsesShm)
            XShmPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height, True);
        else
            XPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height);
        XFlush(display);
        s.PutInFlight = true;
    } else if (Parts(w).Area != nullptr) {
        gtk_widget_queue_draw_area(Parts(w).Area, x, y, width, height);
    }
    return direct;
}

bool CanPresentDirectly(GdkWindow* window) {
    Display* display = XDisplayOrNull();
    if (display == nullptr || window == nullptr || !DirectPresentationWanted()) return false;
    // A scaled window (HiDPI) has more device pixels than the surface has; GTK scales then.
    if (gdk_window_get_scale_factor(window) != 1) return false;
    GdkVisual* visual = gdk_window_get_visual(window);
    return DirectVisual(display, gdk_x11_visual_get_xvisual(visual), gdk_visual_get_depth(visual));
}

void RemakeSurface(core::WindowRecord& w, int width, int height) {
    ClientSurface& old = Parts(w).Surface;
    width = std::max(width, 0);
    height = std::max(height, 0);
    int oldWidth = old.Width, oldHeight = old.Height, oldStride = old.Stride;
    uint32_t* kept = nullptr;
    if (old.Pixels != nullptr) {
        kept = static_cast<uint32_t*>(malloc((size_t)oldStride * std::max(oldHeight, 1) * 4));
        if (kept != nullptr)
            memcpy(kept, old.Pixels, (size_t)oldStride * std::max(oldHeight, 1) * 4);
    }
    FreeSurfaceMemory(old, XDisplayOrNull());
    AllocateSurface(w, width, height);
    ClientSurface& s = Parts(w).Surface;
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
        if (s.HasSpare) core::Unite(s.Spare.Missed, {0, 0, s.Width, s.Height});
    }
    free(kept);
    w.Pixels = {s.Pixels, s.Width, s.Height, s.Stride};
}

void ReleaseSurface(core::WindowRecord& w) {
    Display* display = XDisplayOrNull();
    ClientSurface& s = Parts(w).Surface;
    FreeSurfaceMemory(s, display);
    if (s.Gc != nullptr && display != nullptr) XFreeGC(display, s.Gc);
    s.Gc = nullptr;
    s.Direct = false;
    s.Width = s.Height = 0;
    w.Pixels = {};
}

void PaintSurface(core::WindowRecord& w, cairo_t* cr) {
    ClientSurface& s = Parts(w).Surface;
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

namespace native {

void ResizeSurface(core::WindowRecord& w, int width, int height) {
    RemakeSurface(w, width, height);
}
void BeforeWrite(core::WindowRecord& w, int x, int y, int width, int height) {
    ClientSurface& s = Parts(w).Surface;
    BeforeSurfaceWrite(s, x, y, width, height);
    w.Pixels.Pixels = s.Pixels;  // the segments may have turned
}

void Present(core::WindowRecord& w, int x, int y, int width, int height, bool bitmap) {
    bool sent = PresentRect(w, x, y, width, height);
    if (bitmap) {
        Stats().BitmapPuts++;
        Stats().BitmapPresents += sent;
    }
}

}  // namespace native
