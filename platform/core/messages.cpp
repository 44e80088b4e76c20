// The message queue under GetMessageA, in Win32's order of delivery: posted messages first,
// then the quit request, then WM_PAINT for a window with something to update, then WM_TIMER.
// Paints and ticks are states, never queued, so neither piles up: a timer that fell behind
// ticks once and then keeps its period.
#include <algorithm>
#include <deque>
#include <optional>

#include "platform/core/core.h"

namespace core {
namespace {

struct Queued {
    MSG Message;
    uint32_t Character;  // WM_KEYDOWN: what TranslateMessage makes of it
};

std::deque<Queued> queue;
std::vector<Timer> timers;
bool quitPending = false;
int quitCode = 0;
UINT_PTR nextThreadTimerId = 0x7000;

std::optional<Queued> lastKey;  // the last key press handed out, for TranslateMessage

bool Matches(HWND window, UINT message, HWND filter, UINT min, UINT max) {
    if (filter != nullptr && window != filter) return false;
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

MSG Make(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, static_cast<DWORD>(NowUs() / 1000), {0, 0}};
}

int64_t PeriodUs(UINT periodMs) {
    return std::max<UINT>(periodMs, 1) * int64_t(1000);
}

std::vector<Timer>::iterator FindTimer(HWND window, UINT_PTR id) {
    return std::find_if(timers.begin(), timers.end(),
                        [&](const Timer& t) { return t.Window == window && t.Id == id; });
}

int64_t EarliestDue() {
    int64_t due = -1;
    for (const Timer& t : timers)
        if (due < 0 || t.DueUs < due) due = t.DueUs;
    return due;
}

}  // namespace

const std::vector<Timer>& Timers() {
    return timers;
}

int64_t NowUs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart / std::max<LONGLONG>(frequency.QuadPart / 1000000, 1);
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam, uint32_t character) {
    queue.push_back({Make(window, message, wParam, lParam), character});
}

bool TakeReady(MSG* out, HWND filter, UINT min, UINT max, bool takeQuit, bool withTimers) {
    // Messages of destroyed windows are dropped.
    for (auto it = queue.begin(); it != queue.end();) {
        HWND h = it->Message.hwnd;
        if (h != nullptr && LiveWindow(h) == nullptr) {
            it = queue.erase(it);
            continue;
        }
        if (!Matches(h, it->Message.message, filter, min, max)) {
            ++it;
            continue;
        }
        *out = it->Message;
        if (out->message == WM_KEYDOWN) lastKey = *it;
        queue.erase(it);
        return true;
    }
    if (quitPending && takeQuit) {
        quitPending = false;
        *out = Make(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0);
        return true;
    }
    for (HWND h : WindowsInOrder()) {
        WindowRecord* w = AnyWindow(h);
        if (!w->Alive || !w->Visible || Empty(w->Update) || !Matches(h, WM_PAINT, filter, min, max))
            continue;
        *out = Make(h, WM_PAINT, 0, 0);
        return true;
    }
    if (!withTimers || timers.empty()) return false;
    int64_t now = NowUs();
    Timer* due = nullptr;
    for (Timer& t : timers)
        if (t.DueUs <= now &&
            (t.Window == nullptr || Matches(t.Window, WM_TIMER, filter, min, max)) &&
            (due == nullptr || t.DueUs < due->DueUs))
            due = &t;
    if (due == nullptr) return false;
    due->DueUs += PeriodUs(due->Period);
    if (due->DueUs <= now) due->DueUs = now + PeriodUs(due->Period);
    *out = Make(due->Window, WM_TIMER, due->Id, reinterpret_cast<LPARAM>(due->Procedure));
    return true;
}

void ForgetTimers(HWND window) {
    std::erase_if(timers, [&](const Timer& t) { return t.Window == window; });
}

bool QuitPending() {
    return quitPending;
}

void RunModalLoop(const std::function<bool()>& done) {
    while (!done()) {
        MSG message;
        if (TakeReady(&message, nullptr, 0, 0, false)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else if (native::Wait(EarliestDue()) != WaitResult::Woke) {
            return;
        }
    }
}

bool FireTimer(HWND window, UINT_PTR id) {
    auto t = FindTimer(window, id);
    if (t == timers.end()) return false;
    t->DueUs = NowUs() + PeriodUs(t->Period);
    MSG m = Make(window, WM_TIMER, id, reinterpret_cast<LPARAM>(t->Procedure));
    DispatchMessageA(&m);
    return true;
}

void ResetMessages() {
    queue.clear();
    timers.clear();
    quitPending = false;
    quitCode = 0;
    lastKey.reset();
}

}  // namespace core

using namespace core;

BOOL WINAPI PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (message == nullptr || (window != nullptr && LiveWindow(window) == nullptr)) return FALSE;
    native::DeliverPending();
    if ((remove & PM_REMOVE) != 0) return TakeReady(message, window, filterMin, filterMax, true);
    // Looked at only: the message stays where it is. Paints and ticks are not offered.
    for (const Queued& q : queue) {
        HWND h = q.Message.hwnd;
        if ((h == nullptr || LiveWindow(h) != nullptr) &&
            Matches(h, q.Message.message, window, filterMin, filterMax)) {
            *message = q.Message;
            return TRUE;
        }
    }
    if (!quitPending || !Matches(nullptr, WM_QUIT, nullptr, filterMin, filterMax)) return FALSE;
    *message = Make(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0);
    return TRUE;
}

BOOL WINAPI GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr || (window != nullptr && LiveWindow(window) == nullptr)) return -1;
    for (;;) {
        if (TakeReady(message, window, filterMin, filterMax, true))
            return message->message == WM_QUIT ? FALSE : TRUE;
        switch (native::Wait(EarliestDue())) {
            case WaitResult::Woke: break;
            case WaitResult::Ended: *message = Make(nullptr, WM_QUIT, 0, 0); return FALSE;
            case WaitResult::Failed: return -1;
        }
    }
}

// The character that a key press makes comes next, ahead of everything queued after it.
BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr || message->message != WM_KEYDOWN || !lastKey) return FALSE;
    const MSG& k = lastKey->Message;
    if (k.hwnd != message->hwnd || k.wParam != message->wParam || k.time != message->time)
        return FALSE;
    uint32_t character = lastKey->Character;
    lastKey.reset();
    if (character == 0 || LiveWindow(message->hwnd) == nullptr) return FALSE;
    queue.push_front({Make(message->hwnd, WM_CHAR, character, message->lParam), 0});
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr) return 0;
    if (message->message == WM_TIMER && message->lParam != 0) {
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam,
                                                     message->time);
        return 0;
    }
    if (message->hwnd == nullptr) return 0;
    return Deliver(message->hwnd, message->message, message->wParam, message->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Deliver(window, message, wParam, lParam);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    if (window != nullptr && LiveWindow(window) == nullptr) return 0;
    auto same = FindTimer(window, id);
    // A thread timer gets an id of its own unless it replaces one of its own.
    if (window == nullptr && same == timers.end()) id = nextThreadTimerId++;
    int64_t due = NowUs() + PeriodUs(elapseMs);
    if (same != timers.end())
        *same = {window, id, elapseMs, proc, due};
    else
        timers.push_back({window, id, elapseMs, proc, due});
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    auto it = FindTimer(window, id);
    if (it == timers.end()) return Fail(ErrorInvalidParameter);
    timers.erase(it);
    return TRUE;
}

// Timers here run at the period they are given: there is no system tick to raise.
MMRESULT WINAPI timeBeginPeriod(UINT) {
    return TIMERR_NOERROR;
}
MMRESULT WINAPI timeEndPeriod(UINT) {
    return TIMERR_NOERROR;
}
