// The one handle table and the last error. A handle is (slot + 1) in its upper half and the
// slot's generation in its lower half; freeing a slot moves its generation on, so the handles
// it gave out before are refused from then on. Window records stay in their slots after the
// window is destroyed (marked dead), until Reset.
#include "platform/core/core.h"

namespace core {
namespace {

constexpr int HalfBits = static_cast<int>(sizeof(uintptr_t) * 4);
constexpr uintptr_t LowMask = (uintptr_t(1) << HalfBits) - 1;

struct Slot {
    uintptr_t Generation = 1;
    std::unique_ptr<Object> Record;
};
std::vector<Slot> slots;
std::vector<size_t> freeSlots;
std::vector<HWND> windowOrder;
DWORD lastError = 0;

uintptr_t HandleOf(size_t index) {
    return (uintptr_t(index + 1) << HalfBits) | slots[index].Generation;
}

Slot* SlotOf(const void* handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    uintptr_t index = value >> HalfBits;
    if (index == 0 || index > slots.size()) return nullptr;
    Slot& slot = slots[index - 1];
    return (slot.Record != nullptr && slot.Generation == (value & LowMask)) ? &slot : nullptr;
}

}  // namespace

void* AddObject(std::unique_ptr<Object> object) {
    size_t index;
    if (!freeSlots.empty()) {
        index = freeSlots.back();
        freeSlots.pop_back();
    } else {
        index = slots.size();
        slots.emplace_back();
    }
    slots[index].Record = std::move(object);
    auto* handle = reinterpret_cast<void*>(HandleOf(index));
    if (auto* w = dynamic_cast<WindowRecord*>(slots[index].Record.get())) {
        w->Handle = static_cast<HWND>(handle);
        windowOrder.push_back(w->Handle);
    }
    return handle;
}

Object* FindObject(const void* handle) {
    Slot* slot = SlotOf(handle);
    return slot != nullptr ? slot->Record.get() : nullptr;
}

void FreeObject(const void* handle) {
    Slot* slot = SlotOf(handle);
    if (slot == nullptr) return;
    slot->Record.reset();
    slot->Generation = (slot->Generation + 1) & LowMask;
    if (slot->Generation == 0) slot->Generation = 1;
    freeSlots.push_back(static_cast<size_t>(slot - slots.data()));
}

int CountContexts() {
    int n = 0;
    for (const Slot& slot : slots)
        n += dynamic_cast<const DeviceContextRecord*>(slot.Record.get()) != nullptr;
    return n;
}

bool Refused(Call call) {
    DWORD error = native::Refusal(call);
    if (error != 0) SetLastError(error);
    return error != 0;
}

WindowRecord* AnyWindow(HWND window) {
    return Find<WindowRecord>(window);
}

WindowRecord* LiveWindow(HWND window) {
    WindowRecord* w = AnyWindow(window);
    return w != nullptr && w->Alive ? w : Fail<WindowRecord*>(ErrorInvalidWindowHandle);
}

const std::vector<HWND>& WindowsInOrder() {
    return windowOrder;
}

void Reset() {
    ResetDialogs();
    ResetMessages();
    ResetWindows();
    for (size_t i = 0; i < slots.size(); ++i)
        if (slots[i].Record != nullptr) FreeObject(reinterpret_cast<void*>(HandleOf(i)));
    windowOrder.clear();
    lastError = 0;
}

}  // namespace core

DWORD WINAPI GetLastError() {
    return core::lastError;
}
void WINAPI SetLastError(DWORD code) {
    core::lastError = code;
}
