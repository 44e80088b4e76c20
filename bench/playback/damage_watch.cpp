// Counts the frames that reach the X server's screen, independently of the viewer: waits for
// the window titled NAME, watches it (subwindows included) with the DAMAGE extension, counts
// every damaged rectangle of at least W x H pixels (a whole frame). Ends when the window is
// destroyed or after SECONDS; prints one line:
//   frames N first_ms F last_ms L intervals_ms mean M min A max B within2 K
// where times count from the watcher's start and "within2" is how many intervals (from 50 ms
// after the first frame) lay within 2 ms of their mean.
//
//   damage_watch NAME W H SECONDS
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

static double NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static Window FindNamed(Display* d, Window w, const char* name) {
    XWindowAttributes a;
    char* title = nullptr;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && XFetchName(d, w, &title) &&
        title != nullptr) {
        bool match = strcmp(title, name) == 0;
        XFree(title);
        if (match) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i) found = FindNamed(d, children[i], name);
    if (children) XFree(children);
    return found;
}

// Damage of a window includes what is drawn into its subwindows (the client area).
static void Watch(Display* d, Window w) {
    XDamageCreate(d, w, XDamageReportRawRectangles);
    XSelectInput(d, w, StructureNotifyMask);
}

static int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: damage_watch NAME W H SECONDS\n");
        return 2;
    }
    const char* name = argv[1];
    long minArea = atol(argv[2]) * atol(argv[3]);
    double limit = atof(argv[4]) * 1000.0;
    double start = NowMs();
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    XSetErrorHandler(IgnoreErrors);
    int eventBase, errorBase;
    if (!XDamageQueryExtension(d, &eventBase, &errorBase)) return 1;
    Window top = 0;
    while (!(top = FindNamed(d, DefaultRootWindow(d), name))) {
        if (NowMs() - start > limit) {
            printf("frames 0\n");
            return 1;
        }
        struct timespec pause = {0, 200000};
        nanosleep(&pause, nullptr);
    }
    Watch(d, top);
    XSync(d, False);
    std::vector<double> times;
    bool alive = true;
    while (alive && NowMs() - start < limit) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == eventBase + XDamageNotify) {
                auto* dn = reinterpret_cast<XDamageNotifyEvent*>(&e);
                if ((long)dn->area.width * dn->area.height >= minArea)
                    times.push_back(NowMs() - start);
            } else if (e.type == DestroyNotify && e.xdestroywindow.window == top) {
                alive = false;
            }
        }
        if (alive) {
            fd_set fds;
            FD_ZERO(&fds);
            FD_SET(ConnectionNumber(d), &fds);
            timeval tv = {0, 100000};
            select(ConnectionNumber(d) + 1, &fds, nullptr, nullptr, &tv);
        }
    }
    printf("frames %zu", times.size());
    if (!times.empty()) printf(" first_ms %.1f last_ms %.1f", times.front(), times.back());
    if (times.size() > 2 && times.back() > times.front() + 60.0) {
        // The window's first paint messages redraw the first frame at once; intervals are
        // counted from 50 ms after it.
        std::vector<double> gaps;
        for (size_t i = 1; i < times.size(); ++i)
            if (times[i - 1] >= times.front() + 50.0) gaps.push_back(times[i] - times[i - 1]);
        double mean = 0;
        for (double g : gaps) mean += g;
        mean /= gaps.size();
        size_t within = std::count_if(gaps.begin(), gaps.end(),
                                      [&](double g) { return std::fabs(g - mean) <= 2.0; });
        printf(" intervals_ms mean %.2f min %.2f max %.2f within2 %zu/%zu", mean,
               *std::min_element(gaps.begin(), gaps.end()),
               *std::max_element(gaps.begin(), gaps.end()), within, gaps.size());
    }
    printf("\n");
    XCloseDisplay(d);
    return 0;
}
