// Our own message queue under GetMessageA, with Win32's order of delivery: posted messages
// first, then the quit request, then WM_PAINT for a window with something to update, then
// WM_TIMER. Paints and ticks are flags, never queued, so neither piles up. Timers keep their
// period to the microsecond through a timerfd that wakes GLib's poll; a period of 1 ms is
// honoured (GLib's own timeouts would round every wait up to the next millisecond).
#include <glib-unix.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <deque>

#include "platform/gtk/gtk_backend.h"

namespace gtkb {
namespace {

struct QueuedMessage {
    WindowRecord* Window;
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    DWORD Time;
    uint32_t Character;  // WM_KEYDOWN: what TranslateMessage turns it into
};

struct Timer {
    WindowRecord* Window;  // nullptr for a thread timer
    UINT_PTR Id;
    TIMERPROC Proc;
    int64_t PeriodUs;
    int64_t DueUs;
};

std::deque<QueuedMessage> queue;
std::vector<Timer> timers;
bool quitPending = false;
int quitCode = 0;
UINT_PTR nextThreadTimerId = 0x7F00;

int timerFd = -1;
int64_t armedUs = -1;

// The last key press handed out by GetMessageA, for TranslateMessage.
struct {
    WPARAM VirtualKey = 0;
    DWORD Time = 0;
    uint32_t Character = 0;
    bool Valid = false;
} lastKey;

int64_t NowUs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int64_t)now.tv_sec * 1000000 + now.tv_nsec / 1000;
}

DWORD NowMs() { return (DWORD)(NowUs() / 1000); }

gboolean OnTimerFd(gint fd, GIOCondition, gpointer) {
    uint64_t expirations;
    while (read(fd, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
    armedUs = -1;
    return G_SOURCE_CONTINUE;
}

// Arms the timerfd for the earliest due timer so that a blocking GLib iteration wakes then.
void ArmTimerFd() {
    if (timers.empty()) return;
    int64_t earliest = timers.front().DueUs;
    for (const Timer& t : timers)
        if (t.DueUs < earliest) earliest = t.DueUs;
    if (earliest == armedUs) return;
    if (timerFd < 0) {
        timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timerFd < 0) return;
        g_unix_fd_add(timerFd, G_IO_IN, OnTimerFd, nullptr);
    }
    struct itimerspec when = {};
    int64_t at = earliest > 0 ? earliest : 1;
    when.it_value.tv_sec = at / 1000000;
    when.it_value.tv_nsec = (at % 1000000) * 1000;
    timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
    armedUs = earliest;
}

bool Matches(WindowRecord* window, UINT message, HWND filter, UINT min, UINT max) {
    if (filter != nullptr && HandleOf(window) != filter) return false;
    if (min == 0 && max == 0) return true;
    return message >= min && message <= max;
}

void Fill(MSG* out, WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam,
          DWORD time) {
    out->hwnd = window ? HandleOf(window) : nullptr;
    out->message = message;
    out->wParam = wParam;
    out->lParam = lParam;
    out->time = time;
    out->pt = {0, 0};
}

// Takes the next message that is ready, without waiting. WM_QUIT is only taken when
// `takeQuit` is set (modal loops leave it for the outer loop).
bool TakeReady(MSG* out, HWND filter, UINT min, UINT max, bool takeQuit) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (it->Window != nullptr && !it->Window->Alive) continue;
        if (!Matches(it->Window, it->Message, filter, min, max)) continue;
        QueuedMessage m = *it;
        queue.erase(it);
        Fill(out, m.Window, m.Message, m.WParam, m.LParam, m.Time);
        if (m.Message == WM_KEYDOWN) {
            lastKey.VirtualKey = m.WParam;
            lastKey.Time = m.Time;
            lastKey.Character = m.Character;
            lastKey.Valid = true;
        }
        return true;
    }
    // Messages of destroyed windows are dropped once nothing live is ahead of them.
    while (!queue.empty() && queue.front().Window != nullptr && !queue.front().Window->Alive)
        queue.pop_front();

    if (quitPending && takeQuit) {
        quitPending = false;
        Fill(out, nullptr, WM_QUIT, (WPARAM)quitCode, 0, NowMs());
        return true;
    }
    for (WindowRecord* w : AllWindows()) {
        if (!w->Alive || !w->Visible || !w->HasUpdate || w->Proc == nullptr) continue;
        if (!Matches(w, WM_PAINT, filter, min, max)) continue;
        Fill(out, w, WM_PAINT, 0, 0, NowMs());
        return true;
    }
    if (!timers.empty()) {
        int64_t now = NowUs();
        for (Timer& t : timers) {
            if (t.DueUs > now) continue;
            if (t.Window != nullptr && !Matches(t.Window, WM_TIMER, filter, min, max)) continue;
            // The next tick is one period after this one was due. Expirations while the
            // program was busy are one flag, as on Windows: one tick at once, no burst.
            t.DueUs += t.PeriodUs;
            if (t.DueUs < now) t.DueUs = now;
            Fill(out, t.Window, WM_TIMER, t.Id, (LPARAM)t.Proc, NowMs());
            return true;
        }
    }
    return false;
}

}  // namespace

void Post(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
    queue.push_back({window, message, wParam, lParam, NowMs(), 0});
}

void PostKeyDown(WindowRecord* window, WPARAM virtualKey, uint32_t character) {
    queue.push_back({window, WM_KEYDOWN, virtualKey, 1, NowMs(), character});
}

void PostFront(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
    queue.push_front({window, message, wParam, lParam, NowMs(), 0});
}

void ForgetWindowMessages(WindowRecord* window) {
    for (auto it = queue.begin(); it != queue.end();)
        it = it->Window == window ? queue.erase(it) : it + 1;
    for (auto it = timers.begin(); it != timers.end();)
        it = it->Window == window ? timers.erase(it) : it + 1;
}

void RunModalLoop(const std::function<bool()>& done) {
    while (!done()) {
        MSG message;
        if (TakeReady(&message, nullptr, 0, 0, false)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        ArmTimerFd();
        g_main_context_iteration(nullptr, TRUE);
    }
}

void FlushGtkEvents() {
    for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i)
        g_main_context_iteration(nullptr, FALSE);
}

}  // namespace gtkb

using namespace gtkb;

BOOL WINAPI GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) return -1;
    if (window != nullptr && FindWindow(window) == nullptr) return -1;
    bool display = EnsureDisplay();
    for (;;) {
        if (TakeReady(message, window, filterMin, filterMax, true))
            return message->message == WM_QUIT ? FALSE : TRUE;
        // Without a display and without a timer nothing could ever arrive: an error, not an
        // endless wait.
        if (!display && timers.empty()) return -1;
        ArmTimerFd();
        g_main_context_iteration(nullptr, TRUE);
    }
}

// Turns a key press into the character message that follows it, as the keyboard layout
// gives it; the character goes to the front of the queue so that it comes next.
BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN) return FALSE;
    if (!lastKey.Valid || lastKey.VirtualKey != message->wParam || lastKey.Time != message->time)
        return FALSE;
    lastKey.Valid = false;
    if (lastKey.Character == 0) return FALSE;
    WindowRecord* target = FindWindow(message->hwnd);
    if (target == nullptr) return FALSE;
    PostFront(target, WM_CHAR, lastKey.Character, message->lParam);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    if (message->message == WM_TIMER && message->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(message->lParam);
        proc(message->hwnd, WM_TIMER, message->wParam, message->time);
        return 0;
    }
    WindowRecord* target = FindWindow(message->hwnd);
    if (target == nullptr) return 0;
    return SendToWindow(target, message->message, message->wParam, message->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* target = FindWindow(window);
    if (target == nullptr) return 0;
    return SendToWindow(target, message, wParam, lParam);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    WindowRecord* owner = nullptr;
    if (window != nullptr) {
        owner = FindWindow(window);
        if (owner == nullptr) return 0;
    }
    if (elapseMs == 0) elapseMs = 1;
    int64_t period = (int64_t)elapseMs * 1000;
    if (owner == nullptr) {
        // A thread timer gets an id of its own unless it replaces an existing one.
        bool known = false;
        for (const Timer& t : timers)
            if (t.Window == nullptr && t.Id == id) known = true;
        if (!known) id = ++nextThreadTimerId;
    }
    for (Timer& t : timers) {
        if (t.Window == owner && t.Id == id) {
            t.PeriodUs = period;
            t.DueUs = NowUs() + period;
            t.Proc = proc;
            ArmTimerFd();
            return id != 0 ? id : 1;
        }
    }
    timers.push_back({owner, id, proc, period, NowUs() + period});
    ArmTimerFd();
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    WindowRecord* owner = window != nullptr ? FindWindow(window) : nullptr;
    if (window != nullptr && owner == nullptr) return FALSE;
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->Window == owner && it->Id == id) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}
