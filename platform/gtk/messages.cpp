// Waiting for GTK's events until the next timer tick. The deadline is kept to the
// microsecond through a timerfd that wakes GLib's poll, so a period of 1 ms is honoured
// (GLib's own timeouts would round every wait up to the next millisecond).
#include <glib-unix.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/gtk/gtk_backend.h"

namespace {

int timerFd = -1;
int64_t armedUs = -1;

gboolean OnTimerFd(gint fd, GIOCondition, gpointer) {
    uint64_t expirations;
    while (read(fd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
    armedUs = -1;
    return G_SOURCE_CONTINUE;
}

void Arm(int64_t deadlineUs) {
    if (deadlineUs < 0 || deadlineUs == armedUs) return;
    if (timerFd < 0) {
        timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timerFd < 0) return;
        g_unix_fd_add(timerFd, G_IO_IN, OnTimerFd, nullptr);
    }
    // The core's clock is CLOCK_MONOTONIC (QueryPerformanceCounter).
    int64_t at = deadlineUs > 0 ? deadlineUs : 1;
    struct itimerspec when = {{0, 0}, {at / 1000000, (at % 1000000) * 1000}};
    timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
    armedUs = deadlineUs;
}

}  // namespace

namespace gtkb {
void FlushGtkEvents() {
    for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i)
        g_main_context_iteration(nullptr, FALSE);
}
}  // namespace gtkb

core::WaitResult native::Wait(int64_t deadlineUs) {
    if (!gtkb::EnsureDisplay()) {
        // Without a display only a timer can ever come; without one, nothing would.
        if (deadlineUs < 0) return core::WaitResult::Failed;
        int64_t now = core::NowUs();
        if (deadlineUs > now) g_usleep(static_cast<gulong>(deadlineUs - now));
        return core::WaitResult::Woke;
    }
    Arm(deadlineUs);
    g_main_context_iteration(nullptr, TRUE);
    return core::WaitResult::Woke;
}
