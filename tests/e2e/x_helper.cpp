// What the end-to-end tests ask of the X server beyond xdotool: closing a window as a
// window manager's close box does (WM_DELETE_WINDOW), which xdotool of this age cannot.
//
//   kinaro_e2e_x close WINDOW
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || strcmp(argv[1], "close") != 0) {
        fprintf(stderr, "usage: kinaro_e2e_x close WINDOW\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fprintf(stderr, "kinaro_e2e_x: no display\n");
        return 1;
    }
    Window window = strtoul(argv[2], nullptr, 0);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
