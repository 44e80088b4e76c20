// The open-file dialog of the headless backend: a test scripts what the user does, and the
// program's hook sees the dialog's messages and check boxes as on Windows.
#include <cstddef>
#include <cstring>

#include "platform/headless/headless_internal.h"
#include "resources/resource_tables.h"

using namespace headless;

namespace {

constexpr DWORD CderrStructSize = 0x0001;
constexpr DWORD CderrInitialization = 0x0002;
constexpr DWORD FnerrBufferTooSmall = 0x3003;
constexpr DWORD BsAutoCheckBox = 0x0003;

HeadlessOpenFileScript script;
std::vector<HeadlessOpenFileCall> calls;
DWORD extendedError = 0;
LPOFNHOOKPROC activeHook = nullptr;
HWND activeDialog = nullptr;

std::string FilterText(LPCSTR filter) {
    std::string s;
    if (filter == nullptr) return s;
    // Pairs of zero-terminated texts, ended by an empty one; bounded for safety.
    for (size_t i = 0; i < 4096; ++i) {
        if (filter[i] == '\0' && i > 0 && filter[i - 1] == '\0') break;
        s += filter[i];
    }
    return s;
}

bool OtherFieldsZero(const OPENFILENAMEA& o) {
    return o.lpstrCustomFilter == nullptr && o.nMaxCustFilter == 0 &&
           o.lpstrFileTitle == nullptr && o.nMaxFileTitle == 0 &&
           o.lpstrInitialDir == nullptr && o.nFileOffset == 0 && o.nFileExtension == 0 &&
           o.lCustData == 0;
}

bool IsAutoCheckBox(const DialogControlDefinition& c) {
    return std::strcmp(c.ClassName, "button") == 0 && (c.Style & 0xF) == BsAutoCheckBox;
}

}  // namespace

namespace headless {
void ResetDialogs() {
    script = HeadlessOpenFileScript{};
    calls.clear();
    extendedError = 0;
    activeHook = nullptr;
    activeDialog = nullptr;
}
}  // namespace headless

BOOL WINAPI GetOpenFileNameA(OPENFILENAMEA* ofn) {
    extendedError = 0;
    if (ofn == nullptr) {
        extendedError = CderrInitialization;
        return FALSE;
    }
    const DWORD oldSize = offsetof(OPENFILENAMEA, pvReserved);
    if (ofn->lStructSize != oldSize && ofn->lStructSize != sizeof(OPENFILENAMEA)) {
        extendedError = CderrStructSize;
        return FALSE;
    }
    HeadlessOpenFileCall call;
    call.StructSize = ofn->lStructSize;
    call.Owner = ofn->hwndOwner;
    call.Instance = ofn->hInstance;
    call.Filter = FilterText(ofn->lpstrFilter);
    call.FilterIndex = ofn->nFilterIndex;
    call.MaxFile = ofn->nMaxFile;
    call.Title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
    call.Flags = ofn->Flags;
    call.DefaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
    call.HasHook = ofn->lpfnHook != nullptr;
    call.Template = IS_INTRESOURCE(ofn->lpTemplateName)
                        ? reinterpret_cast<uintptr_t>(ofn->lpTemplateName)
                        : 0;
    call.OtherFieldsZero = OtherFieldsZero(*ofn);
    calls.push_back(call);

    HeadlessOpenFileScript now = script;
    if (now.Failure != 0) {
        extendedError = now.Failure;
        return FALSE;
    }
    HWND dialog = CreateWindowExA(0, "#32770", ofn->lpstrTitle, WS_POPUP, 0, 0, 400, 300,
                                  ofn->hwndOwner, nullptr, ofn->hInstance, nullptr);
    if (dialog == nullptr) {
        extendedError = CderrInitialization;
        return FALSE;
    }
    if (Window* w = AnyWindowRecord(dialog)) {
        for (int i = 0; i < OpenFileTemplate.ControlCount; ++i)
            if (IsAutoCheckBox(OpenFileTemplate.Controls[i]))
                w->Checks[OpenFileTemplate.Controls[i].Id] = BST_UNCHECKED;
    }
    HWND previousForeground = GetForegroundWindow();
    HeadlessSetForegroundWindow(dialog);
    LPOFNHOOKPROC previousHook = activeHook;
    HWND previousDialog = activeDialog;
    activeHook = (ofn->Flags & OFN_ENABLEHOOK) ? ofn->lpfnHook : nullptr;
    activeDialog = dialog;
    if (activeHook) {
        activeHook(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(ofn));
        activeHook(dialog, WM_SHOWWINDOW, TRUE, 0);
    }
    if (now.WhileOpen) now.WhileOpen(dialog);
    activeHook = previousHook;
    activeDialog = previousDialog;
    DestroyWindow(dialog);
    HeadlessSetForegroundWindow(previousForeground);

    if (!now.Accept) return FALSE;
    if (ofn->lpstrFile == nullptr || ofn->nMaxFile <= now.FileName.size()) {
        if (ofn->lpstrFile != nullptr && ofn->nMaxFile >= 2) {
            // Windows reports the size needed in the first two bytes of the buffer.
            WORD needed = static_cast<WORD>(now.FileName.size() + 1);
            std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
        }
        extendedError = FnerrBufferTooSmall;
        return FALSE;
    }
    std::memcpy(ofn->lpstrFile, now.FileName.c_str(), now.FileName.size() + 1);
    size_t slash = now.FileName.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = now.FileName.find_last_of('.');
    ofn->nFileOffset = static_cast<WORD>(nameStart);
    ofn->nFileExtension = static_cast<WORD>(
        dot == std::string::npos || dot < nameStart ? now.FileName.size() : dot + 1);
    return TRUE;
}

DWORD WINAPI CommDlgExtendedError() { return extendedError; }

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int itemId, UINT message, WPARAM wParam,
                                   LPARAM) {
    Window* w = FindWindowRecord(dialog);
    if (w == nullptr) return 0;
    auto it = w->Checks.find(itemId);
    if (it == w->Checks.end()) {
        SetError(ErrorInvalidWindowHandle);
        return 0;
    }
    switch (message) {
        case BM_SETCHECK:
            it->second = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
            return 0;
        case BM_GETCHECK:
            return it->second;
        default:
            return 0;
    }
}

void HeadlessSetOpenFileScript(HeadlessOpenFileScript s) { script = std::move(s); }
const std::vector<HeadlessOpenFileCall>& HeadlessOpenFileCalls() { return calls; }

UINT_PTR HeadlessClickDialogButton(HWND dialog, int id) {
    Window* w = FindWindowRecord(dialog);
    if (w == nullptr) return 0;
    auto it = w->Checks.find(id);
    if (it != w->Checks.end()) it->second = it->second == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (activeHook == nullptr || dialog != activeDialog) return 0;
    return activeHook(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

int HeadlessDialogCheck(HWND dialog, int id) {
    Window* w = AnyWindowRecord(dialog);
    if (w == nullptr) return -1;
    auto it = w->Checks.find(id);
    return it == w->Checks.end() ? -1 : it->second;
}
