// Keys, menu commands and mouse buttons into playback commands. The key table is the one
// place where a character gets its meaning; the menu and the mouse go through it or beside it.
#include "playback/input_mapping.h"

#include <cstdint>

#include "app/diagnostics.h"
#include "app/info_boxes.h"
#include "app/viewer_state.h"
#include "resources/resource_ids.h"

namespace {

constexpr int16_t Unchanged = 0;

struct KeyAction {
    char Key;
    int32_t Mode;       // -1: Mode unchanged
    int16_t Direction;  // Unchanged, +1 or -1
    PlaybackCommand Command;
};

constexpr KeyAction KeyTable[] = {
    {27, Quit, Unchanged, CmdQuit},
    {'Q', Quit, Unchanged, CmdQuit},
    {' ', Stopped, Unchanged, CmdStop},
    {'S', Stopped, Unchanged, CmdStop},
    {'+', Stopped, Unchanged, CmdStepForward},
    {'=', Stopped, Unchanged, CmdStepForward},
    {'-', Stopped, Unchanged, CmdStepBackward},
    {'_', Stopped, Unchanged, CmdStepBackward},
    {'1', Stopped, +1, CmdFirst},
    {'F', Forward, +1, CmdStepForward},
    {'B', Backward, -1, CmdStepBackward},
    {'L', Loop, +1, CmdStepForward},
    {'R', -1, Unchanged, CmdRedraw},
};

// Menu items that stand for a key: the character shown after the item's tab.
struct MenuKey {
    int Id;
    char Key;
};

constexpr MenuKey MenuTable[] = {
    {IDM_GO_FORWARD, 'F'},   {IDM_GO_BACKWARD, 'B'},   {IDM_GO_CYCLE, 'C'},
    {IDM_GO_LOOP, 'L'},      {IDM_GO_STOP, 'S'},       {IDM_GO_FASTER, '>'},
    {IDM_GO_SLOWER, '<'},    {IDM_GO_EXIT, 'Q'},       {IDM_STEP_FORWARD, '+'},
    {IDM_STEP_BACKWARD, '-'}, {IDM_STEP_FIRST, '1'},
};

constexpr int32_t SpeedStep = 50;

PlaybackCommand ApplyKey(unsigned char key) {
    if (key >= 'a' && key <= 'z') key = static_cast<unsigned char>(key - 'a' + 'A');
    switch (key) {
        case 'C':
            State.Mode = Cycle;
            return State.Direction == 1 ? CmdStepForward : CmdStepBackward;
        case ',':
        case '<':
            // Slower: a longer pause. It has no upper bound but the type's own.
            State.Wait = State.Wait > INT32_MAX - SpeedStep ? INT32_MAX : State.Wait + SpeedStep;
            return CmdNone;
        case '.':
        case '>':
            State.Wait = State.Wait < SpeedStep ? 0 : State.Wait - SpeedStep;
            return CmdNone;
        default:
            break;
    }
    for (const KeyAction& a : KeyTable) {
        if (static_cast<unsigned char>(a.Key) != key) continue;
        if (a.Mode >= 0) State.Mode = a.Mode;
        if (a.Direction != Unchanged) State.Direction = a.Direction;
        return a.Command;
    }
    return CmdNone;
}

PlaybackCommand ApplyMenu(int id) {
    switch (id) {
        case IDM_HELP_ABOUT: ShowAbout(); return CmdNone;
        case IDM_HELP_CONTROLS: ShowControls(); return CmdNone;
        case IDM_HELP_OPTIONS: ShowUsage(); return CmdNone;
        default: break;
    }
    for (const MenuKey& m : MenuTable)
        if (m.Id == id) return ApplyKey(static_cast<unsigned char>(m.Key));
    return CmdNone;
}

PlaybackCommand ApplyMouse(int32_t value) {
    switch (value) {
        case 1:
            State.Mode = Backward;
            return CmdStepBackward;
        case 2:
            State.Mode = Forward;
            return CmdStepForward;
        case 3:
        case -3:
            State.Mode = Quit;
            return CmdQuit;
        case -1:
        case -2:
            State.Mode = Stopped;
            return CmdStop;
        case 0:
            return State.Mode;
        default:
            FatalError("GetEvent", "Mouse button error (%ld)", value);
    }
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
        case WM_DESTROY:
            return CmdQuit;
        case WM_CHAR: {
            const unsigned char key = LOBYTE(State.EventWParam);
            if (key == 0) return State.Mode;
            return ApplyKey(key);
        }
        case WM_COMMAND:
            return ApplyMenu(LOWORD(State.EventWParam));
        case WM_LBUTTONDOWN: return Press(State.LeftButton);
        case WM_RBUTTONDOWN: return Press(State.RightButton);
        case WM_MBUTTONDOWN: return Press(State.MiddleButton);
        case WM_LBUTTONUP: return Release(State.LeftButton);
        case WM_RBUTTONUP: return Release(State.RightButton);
        case WM_MBUTTONUP: return Release(State.MiddleButton);
        default:
            return CmdNone;
    }
}
