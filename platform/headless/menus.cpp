// Menus, icons and cursors of the headless backend. The one menu resource is menu 103,
// built from the program's own definition (resources/resource_tables.h).
#include "platform/headless/headless_internal.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

using namespace headless;

namespace {

MenuRecord* LiveMenu(HMENU menu) {
    auto it = Get().Menus.find(FromHandle(menu));
    if (it == Get().Menus.end() || it->second->Destroyed) {
        SetError(ErrorInvalidMenuHandle);
        return nullptr;
    }
    return it->second.get();
}

int ResourceNumber(LPCSTR name) {
    return (name != nullptr && IS_INTRESOURCE(name)) ? static_cast<int>(reinterpret_cast<uintptr_t>(name))
                                                     : -1;
}

// Icons and cursors are shared resources: one handle each for the life of the process.
int icon;
int arrow;

}  // namespace

HMENU WINAPI LoadMenuA(HINSTANCE, LPCSTR name) {
    if (Fails(HeadlessFault::LoadMenu)) return nullptr;
    if (ResourceNumber(name) != IDM_KINARO || KinaroMenuPopupCount == 0) {
        SetError(ErrorResourceNameNotFound);
        return nullptr;
    }
    auto m = std::make_unique<MenuRecord>();
    m->Id = NewId();
    m->ResourceId = IDM_KINARO;
    HMENU handle = ToHandle<HMENU>(m->Id);
    Get().Menus[m->Id] = std::move(m);
    return handle;
}

BOOL WINAPI SetMenu(HWND window, HMENU menu) {
    Window* w = FindWindowRecord(window);
    if (w == nullptr) return FALSE;
    if ((w->Style & WS_CHILD) != 0) {
        SetError(ErrorInvalidParameter);
        return FALSE;
    }
    MenuRecord* m = nullptr;
    if (menu != nullptr && (m = LiveMenu(menu)) == nullptr) return FALSE;
    if (MenuRecord* old = LiveMenu(w->Menu)) old->AttachedTo = nullptr;
    w->Menu = menu;
    if (m != nullptr) m->AttachedTo = window;
    // The menu bar takes its height from the client area; the outer size stays.
    int oldW = w->ClientWidth, oldH = w->ClientHeight;
    UpdateClientSize(*w);
    if (w->Visible && (oldW != w->ClientWidth || oldH != w->ClientHeight)) {
        SendSize(*w, 0);
        if (Window* again = FindWindowRecord(window)) InvalidateAll(*again, true);
    }
    return TRUE;
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    MenuRecord* m = LiveMenu(menu);
    if (m == nullptr) return FALSE;
    m->Destroyed = true;
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    if (ResourceNumber(name) != IDI_KINARO) {
        SetError(ErrorResourceNameNotFound);
        return nullptr;
    }
    return reinterpret_cast<HICON>(&icon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || ResourceNumber(name) != 32512) {
        SetError(ErrorResourceNameNotFound);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(&arrow);
}

bool HeadlessMenuLive(HMENU menu) {
    auto it = Get().Menus.find(FromHandle(menu));
    return it != Get().Menus.end() && !it->second->Destroyed;
}

int HeadlessMenuResource(HMENU menu) {
    auto it = Get().Menus.find(FromHandle(menu));
    return it == Get().Menus.end() ? 0 : it->second->ResourceId;
}
