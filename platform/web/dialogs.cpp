// Message boxes and the open-file dialog as modal dialogs of the page. The core's modal loop
// runs while they are open, so timer ticks and paints go on behind them. The chooser is the
// browser's file picker with the controls the caller's template adds to the standard dialog
// (the "Display Options" box with its two check boxes, and the Help button).
#include <cstdio>
#include <cstring>

#include "platform/web/web_layer.h"
#include "resources/resource_tables.h"

namespace {

// Button styles as Win32 numbers them; kinds as the page draws them.
constexpr uint32_t BsTypeMask = 0xF, BsCheckBox = 2, BsAutoCheckBox = 3, BsGroupBox = 7;
constexpr int GroupKind = 0, CheckKind = 1, ButtonKind = 2;
constexpr UINT MbOkCancel = 1, MbTypeMask = 0xF;

// The page's picker brings its own name, file list, OK and Cancel: of the template's buttons
// only those the standard dialog lacks (all but OK, Cancel, Help and Read Only) are added.
void AddTemplateControls(int number, const core::WindowRecord& dialog) {
    for (int i = 0; i < OpenFileTemplate.ControlCount; ++i) {
        const DialogControlDefinition& c = OpenFileTemplate.Controls[i];
        uint32_t type = c.Style & BsTypeMask;
        if (strcmp(c.ClassName, "button") != 0 || c.Id == IDOK || c.Id == IDCANCEL ||
            c.Id == 1038 || c.Id == 1040)
            continue;
        int kind = type == BsGroupBox                             ? GroupKind
                   : type == BsAutoCheckBox || type == BsCheckBox ? CheckKind
                                                                  : ButtonKind;
        auto check = dialog.Checks.find(c.Id);
        kinaro_web_control(number, c.Id, c.Text, kind,
                           check != dialog.Checks.end() && check->second == BST_CHECKED);
    }
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "Error";
    // The page's console keeps every box, as the desktop's stderr does without a display.
    fprintf(stderr, "%s: %s\n", caption, text);
    web::PageDialog box{core::BeginDialog(owner, caption), kinaro_web_box(caption, text, int(type)),
                        -1};
    int answer = web::RunPageDialog(box);
    if (box.Window != nullptr) core::EndDialog(box.Window);
    // Escape and closing answer like the only (or the cancelling) button.
    return answer == IDOK || (type & MbTypeMask) != MbOkCancel ? IDOK : IDCANCEL;
}

DWORD native::ChooseFile(HWND dialog, OPENFILENAMEA* request, std::string* path) {
    core::WindowRecord* w = core::AnyWindow(dialog);
    const char* title = request->lpstrTitle != nullptr ? request->lpstrTitle : "Open";
    web::PageDialog chooser{dialog, kinaro_web_chooser(title), -1};
    if (w != nullptr && (request->Flags & OFN_ENABLETEMPLATE))
        AddTemplateControls(chooser.Number, *w);
    // As on Windows, the hook hears WM_SHOWWINDOW as the dialog is about to be shown.
    core::CallDialogHook(dialog, WM_SHOWWINDOW, TRUE, 0);
    kinaro_web_dialog_shown(chooser.Number);
    if (web::RunPageDialog(chooser) != 1) return 0;
    char chosen[4096];
    if (!kinaro_web_chosen(chosen, sizeof chosen)) return 0;
    *path = chosen;
    return 1;
}
