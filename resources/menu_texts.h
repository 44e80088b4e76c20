// The texts of menu 103's items: '&' marks the mnemonic, and the text after '\t' is the key
// the item acts as. The binding table (playback/bindings.h) says what each item does and
// checks at compile time that an item showing a key acts as that key. Plain constant data in
// a header, so that both the resource tables and the binding table read it at compile time.
#pragma once

#include <iterator>

#include "resources/resource_ids.h"

struct MenuItemText {
    int Id;
    const char* Text;
};

inline constexpr MenuItemText MenuItemTexts[] = {
    {IDM_GO_FORWARD, "&Forward\tF"},
    {IDM_GO_BACKWARD, "&Backward\tB"},
    {IDM_GO_CYCLE, "&Cycle\tC"},
    {IDM_GO_LOOP, "&Loop\tL"},
    {IDM_GO_STOP, "&Stop\tS"},
    {IDM_GO_FASTER, "&Increase Speed\t>"},
    {IDM_GO_SLOWER, "&Decrease Speed\t<"},
    {IDM_GO_EXIT, "E&xit"},
    {IDM_STEP_FORWARD, "&Forward One Frame\t+"},
    {IDM_STEP_BACKWARD, "&Backward One Frame\t-"},
    {IDM_STEP_FIRST, "&To First Frame\t1"},
    {IDM_HELP_ABOUT, "&About Kinaro"},
    {IDM_HELP_CONTROLS, "&Keyboard Controls"},
    {IDM_HELP_OPTIONS, "&Command Line Options"},
};

// The position of item `id` in MenuItemTexts, or -1 when menu 103 has no such item.
constexpr int FindMenuText(int id) {
    for (int i = 0; i < static_cast<int>(std::size(MenuItemTexts)); ++i)
        if (MenuItemTexts[i].Id == id) return i;
    return -1;
}

// The text of menu item `id`, or null.
constexpr const char* MenuText(int id) {
    const int row = FindMenuText(id);
    return row >= 0 ? MenuItemTexts[row].Text : nullptr;
}
