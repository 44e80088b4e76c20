// Time passes on the real clock; pixels are read back from the X server.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdk.h>

#include <ctime>
#include <string>

#include "tests/contract/contract_shim.h"

namespace {

// The largest child of the viewable top-level window with this title: its client area.
Window ClientWindow(Display* display, const char* title) {
    Window root = DefaultRootWindow(display), parent, *tops = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(display, root, &root, &parent, &tops, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XGetWindowAttributes(display, tops[i], &a) && a.map_state == IsViewable &&
            XFetchName(display, tops[i], &name) && name != nullptr && title == std::string(name)) {
            Window r, p, *children = nullptr;
            unsigned n = 0;
            long best = 0;
            XQueryTree(display, tops[i], &r, &p, &children, &n);
            for (unsigned c = 0; c < n; ++c) {
                XWindowAttributes ca;
                XGetWindowAttributes(display, children[c], &ca);
                if (long(ca.width) * ca.height > best) {
                    best = long(ca.width) * ca.height;
                    found = children[c];
                }
            }
            if (children) XFree(children);
        }
        if (name) XFree(name);
    }
    if (tops) XFree(tops);
    return found;
}

}  // namespace

void LetTimePass(int milliseconds) {
    timespec pause = {0, milliseconds * 1000000L};
    nanosleep(&pause, nullptr);
}

uint32_t ClientPixel(HWND, const char* title, int x, int y) {
    static Display* display = XOpenDisplay(nullptr);
    gdk_display_sync(gdk_display_get_default());  // our own puts have reached the server
    Window client = display != nullptr ? ClientWindow(display, title) : 0;
    XImage* image =
        client != 0 ? XGetImage(display, client, x, y, 1, 1, AllPlanes, ZPixmap) : nullptr;
    if (image == nullptr) return 0xFFFFFFFFu;
    uint32_t pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}
