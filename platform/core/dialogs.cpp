// The open-file dialog as Win32 has it around the native file chooser: the checks of the
// request, the template's check boxes, the hook and its messages, the controls that
// SendDlgItemMessageA reaches, and the result written back into the request.
#include <cstddef>
#include <cstring>

#include "platform/core/core.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

namespace core {
namespace {

constexpr DWORD CderrStructSize = 0x0001;
constexpr DWORD CderrInitialization = 0x0002;
constexpr DWORD CderrNoTemplate = 0x0003;
constexpr DWORD FnerrBufferTooSmall = 0x3003;
constexpr DWORD BsAutoCheckBox = 0x0003;

DWORD extendedError = 0;

BOOL DialogFails(DWORD error) {
    extendedError = error;
    return FALSE;
}

BOOL Store(OPENFILENAMEA* ofn, const std::string& path) {
    if (ofn->lpstrFile == nullptr || ofn->nMaxFile <= path.size()) {
        if (ofn->lpstrFile != nullptr && ofn->nMaxFile >= 2) {
            // Windows tells the size needed in the first two bytes of the buffer.
            WORD needed = static_cast<WORD>(path.size() + 1);
            std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
        }
        return DialogFails(FnerrBufferTooSmall);
    }
    std::memcpy(ofn->lpstrFile, path.c_str(), path.size() + 1);
    size_t slash = path.find_last_of("/\\");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    ofn->nFileOffset = static_cast<WORD>(nameStart);
    ofn->nFileExtension =
        static_cast<WORD>(dot == std::string::npos || dot < nameStart ? path.size() : dot + 1);
    if (ofn->lpstrFileTitle != nullptr && ofn->nMaxFileTitle > 0) {
        std::string title = path.substr(nameStart, ofn->nMaxFileTitle - 1);
        std::memcpy(ofn->lpstrFileTitle, title.c_str(), title.size() + 1);
    }
    return TRUE;
}

}  // namespace

UINT_PTR CallDialogHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* w = AnyWindow(dialog);
    return w != nullptr && w->Hook != nullptr ? w->Hook(dialog, message, wParam, lParam) : 0;
}

UINT_PTR ClickDialogItem(HWND dialog, int id) {
    WindowRecord* w = LiveWindow(dialog);
    if (w == nullptr) return 0;
    auto it = w->Checks.find(id);
    if (it != w->Checks.end()) it->second = it->second == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    return CallDialogHook(dialog, WM_COMMAND, static_cast<WORD>(id), 0);  // BN_CLICKED is 0
}

void ResetDialogs() {
    extendedError = 0;
}

}  // namespace core

using namespace core;

BOOL WINAPI GetOpenFileNameA(OPENFILENAMEA* ofn) {
    extendedError = 0;
    if (ofn == nullptr) return DialogFails(CderrInitialization);
    if (ofn->lStructSize != offsetof(OPENFILENAMEA, pvReserved) &&
        ofn->lStructSize != sizeof(OPENFILENAMEA))
        return DialogFails(CderrStructSize);
    if ((ofn->Flags & OFN_ENABLETEMPLATE) &&
        (!IS_INTRESOURCE(ofn->lpTemplateName) || LOWORD(ofn->lpTemplateName) != IDD_OPENFILE))
        return DialogFails(CderrNoTemplate);
    HWND dialog = BeginDialog(ofn->hwndOwner, ofn->lpstrTitle);
    if (dialog == nullptr) return DialogFails(CderrInitialization);
    WindowRecord* w = AnyWindow(dialog);
    for (int i = 0; i < OpenFileTemplate.ControlCount; ++i) {
        const DialogControlDefinition& c = OpenFileTemplate.Controls[i];
        if (std::strcmp(c.ClassName, "button") == 0 && (c.Style & 0xF) == BsAutoCheckBox)
            w->Checks[c.Id] = BST_UNCHECKED;
    }
    w->Hook = (ofn->Flags & OFN_ENABLEHOOK) ? ofn->lpfnHook : nullptr;
    CallDialogHook(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(ofn));
    std::string path;
    DWORD result = native::ChooseFile(dialog, ofn, &path);
    w->Hook = nullptr;
    EndDialog(dialog);
    if (result != 1) return DialogFails(result & 0xFFFF);
    return Store(ofn, path);
}

DWORD WINAPI CommDlgExtendedError() {
    return extendedError;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int itemId, UINT message, WPARAM wParam, LPARAM) {
    WindowRecord* w = LiveWindow(dialog);
    if (w == nullptr) return 0;
    auto it = w->Checks.find(itemId);
    if (it == w->Checks.end()) return Fail<LRESULT>(ErrorInvalidWindowHandle);
    if (message == BM_GETCHECK) return it->second;
    if (message == BM_SETCHECK) {
        it->second = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        native::SetCheck(*w, itemId, it->second);
    }
    return 0;
}
