// The binding table: every key, menu item and mouse value the viewer answers, one row each.
// GetEvent applies it, and a test checks the Controls box against it. The menu items' texts
// are the resources' (resources/menu_texts.h); the checks at the end hold the two together.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

#include "playback/playback_command.h"
#include "resources/menu_texts.h"
#include "resources/resource_ids.h"
#include "shell/viewer_state.h"

enum class InputKind : uint8_t { Key, Menu, Mouse };

enum class Effect : uint8_t {
    Set,          // Mode and Direction as the row says, then its command
    CurrentMode,  // nothing changes; the command is the value of Mode
    CycleOn,      // Mode Cycle, stepping the way Direction points
    Slower,       // Wait 50 ms longer
    Faster,       // Wait 50 ms shorter, never below 0
    AsKey,        // a menu item that acts as the key it shows
    ShowAbout,    // the help boxes of the Help menu
    ShowControls,
    ShowUsage,
};

constexpr int32_t KeepMode = -1;
constexpr int16_t KeepDirection = 0;

struct Binding {
    InputKind Kind;
    int Value;  // the character (upper case), the menu id or the mouse value (+n press,
                // -n release of button n)
    Effect Action;
    int32_t Mode = KeepMode;
    int16_t Direction = KeepDirection;
    PlaybackCommand Command = CmdNone;
    char Key = 0;  // AsKey items: the key they act as
};

namespace binding_rows {
using K = InputKind;
using E = Effect;

inline constexpr Binding Rows[] = {
    {K::Key, 27, E::Set, Quit, KeepDirection, CmdQuit},
    {K::Key, 'Q', E::Set, Quit, KeepDirection, CmdQuit},
    {K::Key, ' ', E::Set, Stopped, KeepDirection, CmdStop},
    {K::Key, 'S', E::Set, Stopped, KeepDirection, CmdStop},
    {K::Key, '+', E::Set, Stopped, KeepDirection, CmdStepForward},
    {K::Key, '=', E::Set, Stopped, KeepDirection, CmdStepForward},
    {K::Key, '-', E::Set, Stopped, KeepDirection, CmdStepBackward},
    {K::Key, '_', E::Set, Stopped, KeepDirection, CmdStepBackward},
    {K::Key, '1', E::Set, Stopped, +1, CmdFirst},
    {K::Key, 'F', E::Set, Forward, +1, CmdStepForward},
    {K::Key, 'B', E::Set, Backward, -1, CmdStepBackward},
    {K::Key, 'L', E::Set, Loop, +1, CmdStepForward},
    {K::Key, 'C', E::CycleOn},
    {K::Key, 'R', E::Set, KeepMode, KeepDirection, CmdRedraw},
    {K::Key, ',', E::Slower},
    {K::Key, '<', E::Slower},
    {K::Key, '.', E::Faster},
    {K::Key, '>', E::Faster},
    {K::Key, 0, E::CurrentMode},

    {K::Menu, IDM_GO_FORWARD, E::AsKey, KeepMode, KeepDirection, CmdNone, 'F'},
    {K::Menu, IDM_GO_BACKWARD, E::AsKey, KeepMode, KeepDirection, CmdNone, 'B'},
    {K::Menu, IDM_GO_CYCLE, E::AsKey, KeepMode, KeepDirection, CmdNone, 'C'},
    {K::Menu, IDM_GO_LOOP, E::AsKey, KeepMode, KeepDirection, CmdNone, 'L'},
    {K::Menu, IDM_GO_STOP, E::AsKey, KeepMode, KeepDirection, CmdNone, 'S'},
    {K::Menu, IDM_GO_FASTER, E::AsKey, KeepMode, KeepDirection, CmdNone, '>'},
    {K::Menu, IDM_GO_SLOWER, E::AsKey, KeepMode, KeepDirection, CmdNone, '<'},
    {K::Menu, IDM_GO_EXIT, E::AsKey, KeepMode, KeepDirection, CmdNone, 'Q'},
    {K::Menu, IDM_STEP_FORWARD, E::AsKey, KeepMode, KeepDirection, CmdNone, '+'},
    {K::Menu, IDM_STEP_BACKWARD, E::AsKey, KeepMode, KeepDirection, CmdNone, '-'},
    {K::Menu, IDM_STEP_FIRST, E::AsKey, KeepMode, KeepDirection, CmdNone, '1'},
    {K::Menu, IDM_HELP_ABOUT, E::ShowAbout, KeepMode, KeepDirection, CmdNone},
    {K::Menu, IDM_HELP_CONTROLS, E::ShowControls, KeepMode, KeepDirection, CmdNone},
    {K::Menu, IDM_HELP_OPTIONS, E::ShowUsage, KeepMode, KeepDirection, CmdNone},

    // The mouse never changes Direction.
    {K::Mouse, +1, E::Set, Backward, KeepDirection, CmdStepBackward},
    {K::Mouse, +2, E::Set, Forward, KeepDirection, CmdStepForward},
    {K::Mouse, +3, E::Set, Quit, KeepDirection, CmdQuit},
    {K::Mouse, -3, E::Set, Quit, KeepDirection, CmdQuit},
    {K::Mouse, -1, E::Set, Stopped, KeepDirection, CmdStop},
    {K::Mouse, -2, E::Set, Stopped, KeepDirection, CmdStop},
    {K::Mouse, 0, E::CurrentMode},
};
}  // namespace binding_rows

inline constexpr const auto& Bindings = binding_rows::Rows;

// The position of the row for this input in Bindings, or -1 when the viewer does not answer it.
// The compile-time checks look rows up by position: GCC 12 under -fsanitize=undefined cannot
// compare a row's address with null in a constant expression.
constexpr int FindRow(InputKind kind, int value) {
    for (int i = 0; i < static_cast<int>(std::size(Bindings)); ++i)
        if (Bindings[i].Kind == kind && Bindings[i].Value == value) return i;
    return -1;
}

// The row for this input, or null.
constexpr const Binding* FindBinding(InputKind kind, int value) {
    const int row = FindRow(kind, value);
    return row >= 0 ? &Bindings[row] : nullptr;
}

// A menu item that shows a key after its tab acts as that key, and that key is bound.
constexpr bool MenuItemsShowTheirKeys() {
    for (const Binding& b : Bindings) {
        if (b.Kind != InputKind::Menu || b.Action != Effect::AsKey) continue;
        if (FindRow(InputKind::Key, b.Key) < 0) return false;
        const int item = FindMenuText(b.Value);
        if (item < 0) return false;
        std::string_view text = MenuItemTexts[item].Text;
        size_t tab = text.find('\t');
        if (tab != std::string_view::npos && text.substr(tab + 1) != std::string_view(&b.Key, 1))
            return false;
    }
    return true;
}
static_assert(MenuItemsShowTheirKeys(), "a menu item's text names another key than it acts as");

// Every item of menu 103 has its row, and every menu row its item.
constexpr bool MenuItemsAreBound() {
    for (const MenuItemText& item : MenuItemTexts)
        if (FindRow(InputKind::Menu, item.Id) < 0) return false;
    for (const Binding& b : Bindings)
        if (b.Kind == InputKind::Menu && FindMenuText(b.Value) < 0) return false;
    return true;
}
static_assert(MenuItemsAreBound(), "a menu item without its row, or a menu row without its item");
