// Keys, menu commands and mouse buttons into playback commands, by the binding table.
#include "playback/input_mapping.h"

#include <cstdint>

#include "playback/bindings.h"
#include "shell/diagnostics.h"
#include "shell/info_boxes.h"
#include "shell/viewer_state.h"

namespace {

constexpr int32_t SpeedStep = 50;

PlaybackCommand Apply(const Binding& b) {
    switch (b.Action) {
        case Effect::Set:
            if (b.Mode != KeepMode) State.Mode = b.Mode;
            if (b.Direction != KeepDirection) State.Direction = b.Direction;
            return b.Command;
        case Effect::CurrentMode: return State.Mode;
        case Effect::CycleOn:
            State.Mode = Cycle;
            return State.Direction == 1 ? CmdStepForward : CmdStepBackward;
        case Effect::Slower:
            // A longer pause. It has no upper bound but the type's own.
            State.Wait = State.Wait > INT32_MAX - SpeedStep ? INT32_MAX : State.Wait + SpeedStep;
            return CmdNone;
        case Effect::Faster:
            State.Wait = State.Wait < SpeedStep ? 0 : State.Wait - SpeedStep;
            return CmdNone;
        case Effect::AsKey: return Apply(*FindBinding(InputKind::Key, b.Key));
        case Effect::ShowAbout: ShowAbout(); return CmdNone;
        case Effect::ShowControls: ShowControls(); return CmdNone;
        case Effect::ShowUsage: ShowUsage(); return CmdNone;
    }
    return CmdNone;
}

PlaybackCommand ApplyKey(unsigned char key) {
    if (key >= 'a' && key <= 'z') key = static_cast<unsigned char>(key - 'a' + 'A');
    const Binding* b = FindBinding(InputKind::Key, key);
    return b != nullptr ? Apply(*b) : CmdNone;
}

PlaybackCommand ApplyMouse(int32_t value) {
    const Binding* b = FindBinding(InputKind::Mouse, value);
    if (b == nullptr) FatalError("GetEvent", "Mouse button error (%ld)", value);
    return Apply(*b);
}

PlaybackCommand Press(int32_t button) {
    State.PressedButton = static_cast<int16_t>(button);
    return ApplyMouse(button);
}

// A release counts only for the button last pressed.
PlaybackCommand Release(int32_t button) {
    if (State.PressedButton != button) return State.Mode;
    return ApplyMouse(-button);
}

}  // namespace

PlaybackCommand GetEvent() {
    switch (State.EventMessage) {
        case WM_DESTROY: return CmdQuit;
        case WM_CHAR: return ApplyKey(LOBYTE(State.EventWParam));
        case WM_COMMAND: {
            const Binding* b = FindBinding(InputKind::Menu, LOWORD(State.EventWParam));
            return b != nullptr ? Apply(*b) : CmdNone;
        }
        case WM_LBUTTONDOWN: return Press(State.LeftButton);
        case WM_RBUTTONDOWN: return Press(State.RightButton);
        case WM_MBUTTONDOWN: return Press(State.MiddleButton);
        case WM_LBUTTONUP: return Release(State.LeftButton);
        case WM_RBUTTONUP: return Release(State.RightButton);
        case WM_MBUTTONUP: return Release(State.MiddleButton);
        default: return CmdNone;
    }
}
