// The retained client surface and its presentation. Every drawing of the core writes the
// surface and then presents the changed rectangle to the X server with one (MIT-SHM) put,
// flushed at once. GTK's queue_draw would be held to the
// 60 Hz frame clock and would merge the frames in between; this way each put reaches the
// screen. Before the next write the server is made to finish reading (one round trip), so a
// frame is never shown half-overwritten.
#include <gdk/gdkx.h>
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

void FreeSurfaceMemory(ClientSurface& s, Display* display) {
    if (s.Cairo != nullptr) cairo_surface_destroy(s.Cairo);
    s.Cairo = nullptr;
    if (s.Image != nullptr) {
        if (display != nullptr && s.PutInFlight) XSync(display, False);
        if (s.UsesShm && display != nullptr) XShmDetach(display, &s.Shm);
        s.Image->data = nullptr;
        XDestroyImage(s.Image);
        s.Image = nullptr;
    }
    if (s.UsesShm) {
        shmdt(s.Shm.shmaddr);
    } else {
        free(s.Pixels);
    }
    s.Pixels = nullptr;
    s.UsesShm = false;
    s.PutInFlight = false;
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
bool AttachSharedPixels(ClientSurface& s, Display* display, Visual* visual, size_t bytes) {
    if (!XShmQueryExtension(display)) return false;
    s.Image = XShmCreateImage(display, visual, 24, ZPixmap, nullptr, &s.Shm, s.Stride,
                              std::max(s.Height, 1));
    if (s.Image == nullptr) return false;
    bool attached = false;
    if (s.Image->bytes_per_line == s.Stride * 4 &&
        (s.Shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600)) >= 0) {
        s.Shm.shmaddr = static_cast<char*>(shmat(s.Shm.shmid, nullptr, 0));
        s.Shm.readOnly = True;
        if (s.Shm.shmaddr != reinterpret_cast<char*>(-1)) {
            GdkDisplay* gdkDisplay = gdk_display_get_default();
            gdk_x11_display_error_trap_push(gdkDisplay);
            attached = XShmAttach(display, &s.Shm);
            XSync(display, False);
            if (gdk_x11_display_error_trap_pop(gdkDisplay) != 0) attached = false;
            if (!attached) shmdt(s.Shm.shmaddr);
        }
        // Marked for removal at once: the segment goes away with the last detach, even if
        // the process is killed.
        shmctl(s.Shm.shmid, IPC_RMID, nullptr);
    }
    if (!attached) {
        XDestroyImage(s.Image);
        s.Image = nullptr;
        return false;
    }
    s.Image->data = s.Shm.shmaddr;
    s.Pixels = reinterpret_cast<uint32_t*>(s.Shm.shmaddr);
    s.UsesShm = true;
    return true;
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
    s.Cairo =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s.Pixels),
                                            CAIRO_FORMAT_RGB24, s.Width, s.Height, s.Stride * 4);
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

void BeforeSurfaceWrite(ClientSurface& s) {
    if (!s.PutInFlight) return;
    if (Display* display = XDisplayOrNull()) XSync(display, False);
    s.PutInFlight = false;
}

void RemakeSurface(core::WindowRecord& w, int width, int height) {
    ClientSurface& old = Parts(w).Surface;
    width = std::max(width, 0);
    height = std::max(height, 0);
    int oldWidth = old.Width, oldHeight = old.Height, oldStride = old.Stride;
    uint32_t* kept = nullptr;
    if (old.Pixels != nullptr) {
        BeforeSurfaceWrite(old);
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

void PresentRect(core::WindowRecord& w, int x, int y, int width, int height) {
    ClientSurface& s = Parts(w).Surface;
    if (!ClipToSurface(s, x, y, width, height)) return;
    if (s.Direct && w.Visible && !w.Minimized) {
        Display* display = XDisplayOrNull();
        if (s.UsesShm)
            XShmPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height, False);
        else
            XPutImage(display, s.XWindow, s.Gc, s.Image, x, y, x, y, width, height);
        XFlush(display);
        s.PutInFlight = true;
    } else if (Parts(w).Area != nullptr) {
        gtk_widget_queue_draw_area(Parts(w).Area, x, y, width, height);
    }
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
void BeforeWrite(core::WindowRecord& w) {
    BeforeSurfaceWrite(Parts(w).Surface);
}

void Present(core::WindowRecord& w, int x, int y, int width, int height, bool bitmap) {
    ClientSurface& s = Parts(w).Surface;
    if (bitmap) {
        Stats().BitmapPuts++;
        if (s.Direct && w.Visible && !w.Minimized) Stats().BitmapPresents++;
    }
    PresentRect(w, x, y, width, height);
}

}  // namespace native
