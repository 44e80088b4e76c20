// What the files of the web native layer share (nothing outside platform/web includes it).
// The Win32 rules live in platform/core; this layer puts one frame window's client surface on
// the page's canvas, the menu bar, boxes and the file chooser on the page, and turns the
// page's events into the core's messages. The page's side is library.js.
#pragma once

#include <cstdint>

#include "platform/core/core.h"

// The page (library.js). Strings are UTF-8; dialogs are numbered by the page.
extern "C" {
void kinaro_web_wait(double deadlineMs);  // until an event is queued or the deadline
// The next queued event's five fields (0: none); with `input`, the next key, button, menu
// item or dialog answer only.
int kinaro_web_next_event(int* fields, int input);
double kinaro_web_now_ms();
int kinaro_web_screen(int height);
void kinaro_web_canvas(int width, int height, int shown, int popup);
// A rectangle of the surface (stride x rows words of R, G, B, 255 bytes) onto the canvas.
void kinaro_web_present(const uint32_t* pixels, int stride, int rows, int x, int y, int width,
                        int height, int bitmap);
void kinaro_web_title(const char* text);
void kinaro_web_static(int shown, const char* text);
void kinaro_web_menu_popup(const char* text, int help);
void kinaro_web_menu_item(int id, const char* text);
void kinaro_web_menu_shown(int shown);
int kinaro_web_box(const char* caption, const char* text, int type);
int kinaro_web_chooser(const char* title);
void kinaro_web_control(int dialog, int id, const char* text, int kind, int checked);
void kinaro_web_dialog_shown(int dialog);
void kinaro_web_set_check(int dialog, int id, int checked);
int kinaro_web_chosen(char* path, int size);
void kinaro_web_close(int dialog);
}

namespace web {

enum Event { Key = 1, Button, Command, DialogClick, DialogEnd };

// The frame window on the canvas (the first one made); null when none.
HWND CanvasWindow();
// A dialog of the page, open until its answer comes (DialogEnd) or its record dies.
struct PageDialog {
    HWND Window = nullptr;
    int Number = 0;
    int Answer = -1;
};
// Runs the core's modal loop until the page answers the dialog; the answer (-1: none).
int RunPageDialog(PageDialog& dialog);
// Queues the page's input for the window: called where the page had a turn while drawing,
// since a window whose timer is always due never waits. Dialog clicks, which run the
// dialog's hook, wait for the next wait.
void TakePageInput();

}  // namespace web
