// The wait for the page's events until the next timer tick, and what each event becomes:
// keys as WM_KEYDOWN with the character TranslateMessage makes of them, buttons as the six
// button messages, menu items as WM_COMMAND, and the answers and clicks of page dialogs.
#include <map>

#include "platform/web/web_layer.h"

namespace {

std::map<int, web::PageDialog*> dialogs;  // the open page dialogs by number

// The canvas window while it takes input.
core::WindowRecord* InputWindow() {
    core::WindowRecord* w = core::LiveWindow(web::CanvasWindow());
    return w != nullptr && core::AcceptsInput(*w) ? w : nullptr;
}

void Deliver(const int* f) {
    core::WindowRecord* w = InputWindow();
    switch (f[0]) {
        case web::Key:
            if (w != nullptr) core::Post(w->Handle, WM_KEYDOWN, WPARAM(f[1]), 1, uint32_t(f[2]));
            break;
        case web::Button:
            if (w != nullptr)
                core::Post(w->Handle, UINT(f[1]), WPARAM(f[2]),
                           LPARAM(DWORD(WORD(int16_t(f[4]))) << 16 | WORD(int16_t(f[3]))));
            break;
        case web::Command:
            if (w != nullptr && w->Menu != nullptr)
                core::Post(w->Handle, WM_COMMAND, WORD(f[1]), 0);
            break;
        case web::DialogClick:
            if (auto d = dialogs.find(f[1]); d != dialogs.end())
                core::ClickDialogItem(d->second->Window, f[2]);
            break;
        case web::DialogEnd:
            if (auto d = dialogs.find(f[1]); d != dialogs.end()) d->second->Answer = f[2];
            break;
    }
}

}  // namespace

int web::RunPageDialog(PageDialog& dialog) {
    dialogs[dialog.Number] = &dialog;
    HWND window = dialog.Window;
    core::RunModalLoop(
        [&] { return dialog.Answer >= 0 || (window != nullptr && !core::LiveWindow(window)); });
    dialogs.erase(dialog.Number);
    kinaro_web_close(dialog.Number);
    return dialog.Answer;
}

void web::TakePageInput() {
    int fields[5];
    while (kinaro_web_next_event(fields, 1)) Deliver(fields);
}

// The page is always there: a wait ends with events or at the deadline.
core::WaitResult native::Wait(int64_t deadlineUs) {
    kinaro_web_wait(deadlineUs < 0 ? -1.0 : double(deadlineUs) / 1000.0);
    int fields[5];
    while (kinaro_web_next_event(fields, 0)) Deliver(fields);
    return core::WaitResult::Woke;
}

void native::SetCheck(core::WindowRecord& dialog, int id, int state) {
    for (auto& [number, open] : dialogs)
        if (open->Window == dialog.Handle) kinaro_web_set_check(number, id, state == BST_CHECKED);
}

// The page queues its events only while the program waits: a wait that is already due gives
// it a turn, and what it queued is delivered.
void native::DeliverPending() {
    native::Wait(0);
}
