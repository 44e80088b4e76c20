// Counts the frames that reach the X server's screen, independently of the viewer: waits for
// the window titled NAME, watches it (subwindows included) with the DAMAGE extension, counts
// every damaged rectangle of at least W x H pixels (a whole frame). Ends when the window is
// destroyed or after SECONDS; prints one line:
//   frames N first_ms F last_ms L intervals_ms mean M min A max B within2 K
//   play_frames P play_ticks T play_ms S
// where times count from the watcher's start and "within2" is how many intervals (from 50 ms
// after the first frame) lay within 2 ms of their mean. The play_ fields are the playback
// part on its own: the CPU time (utime + stime, in clock ticks) of the window's process
// (_NET_WM_PID) from the first frame on screen to the last sample, taken at most every 10 ms
// at a frame, over the P frames shown after the first up to that sample, in S ms.
//
//   damage_watch NAME W H SECONDS
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <unistd.h>

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

// The first viewable window titled `name` other than `ignore`.
static Window FindNamed(Display* d, Window w, const char* name, Window ignore) {
    XWindowAttributes a;
    char* title = nullptr;
    if (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable && XFetchName(d, w, &title) &&
        title != nullptr) {
        bool match = strcmp(title, name) == 0 && w != ignore;
        XFree(title);
        if (match) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i) found = FindNamed(d, children[i], name, ignore);
    if (children) XFree(children);
    return found;
}

// Damage of a window includes what is drawn into its subwindows (the client area).
static void Watch(Display* d, Window w) {
    XDamageCreate(d, w, XDamageReportRawRectangles);
    XSelectInput(d, w, StructureNotifyMask);
}

// The process that owns the window, or 0.
static long WindowPid(Display* d, Window w) {
    Atom property = XInternAtom(d, "_NET_WM_PID", True), type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    long pid = 0;
    if (property != None &&
        XGetWindowProperty(d, w, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data != nullptr && items == 1 && format == 32)
        pid = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return pid;
}

// utime + stime of the process whose stat file is open as `fd`, or -1.
static long CpuTicks(int fd) {
    char text[1024];
    ssize_t n = fd < 0 ? -1 : pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return -1;
    text[n] = 0;
    const char* p = strrchr(text, ')');  // the name may hold spaces
    if (p == nullptr) return -1;
    unsigned long utime = 0, stime = 0;
    // Fields 3 to 13 come before utime (14) and stime (15).
    if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return static_cast<long>(utime + stime);
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
    // The watcher starts before the player: a window of that name already there is the last
    // run's, still closing.
    const Window stale = FindNamed(d, DefaultRootWindow(d), name, 0);
    Window top = 0;
    while (!(top = FindNamed(d, DefaultRootWindow(d), name, stale))) {
        if (NowMs() - start > limit) {
            printf("frames 0\n");
            return 1;
        }
        struct timespec pause = {0, 200000};
        nanosleep(&pause, nullptr);
    }
    Watch(d, top);
    XSync(d, False);
    int statFd = -1;
    if (long pid = WindowPid(d, top)) {
        char path[64];
        snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        statFd = open(path, O_RDONLY);
    }
    long firstTicks = -1, lastTicks = -1;
    size_t lastFrames = 0;
    double lastSample = 0;
    std::vector<double> times;
    bool alive = true;
    while (alive && NowMs() - start < limit) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == eventBase + XDamageNotify) {
                auto* dn = reinterpret_cast<XDamageNotifyEvent*>(&e);
                if ((long)dn->area.width * dn->area.height >= minArea) {
                    times.push_back(NowMs() - start);
                    if (firstTicks < 0 && times.size() == 1) {
                        firstTicks = CpuTicks(statFd);
                        lastSample = times.back();
                    } else if (firstTicks >= 0 && times.back() - lastSample >= 10.0) {
                        long ticks = CpuTicks(statFd);
                        if (ticks >= 0) {
                            lastTicks = ticks;
                            lastFrames = times.size() - 1;
                            lastSample = times.back();
                        }
                    }
                }
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
    if (lastTicks >= 0)
        printf(" play_frames %zu play_ticks %ld play_ms %.1f", lastFrames, lastTicks - firstTicks,
               lastSample - times.front());
    printf("\n");
    XCloseDisplay(d);
    return 0;
}
