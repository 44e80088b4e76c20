#include "resources/resource_tables.h"

#include "resources/menu_texts.h"
#include "resources/resource_ids.h"

// The menu's layout is here; the texts of its items are in menu_texts.h.

static const MenuItemDefinition GoItems[] = {
    {IDM_GO_FORWARD, MenuText(IDM_GO_FORWARD)},
    {IDM_GO_BACKWARD, MenuText(IDM_GO_BACKWARD)},
    {IDM_GO_CYCLE, MenuText(IDM_GO_CYCLE)},
    {IDM_GO_LOOP, MenuText(IDM_GO_LOOP)},
    {0, nullptr},
    {IDM_GO_STOP, MenuText(IDM_GO_STOP)},
    {IDM_GO_FASTER, MenuText(IDM_GO_FASTER)},
    {IDM_GO_SLOWER, MenuText(IDM_GO_SLOWER)},
    {0, nullptr},
    {IDM_GO_EXIT, MenuText(IDM_GO_EXIT)},
};

static const MenuItemDefinition StepItems[] = {
    {IDM_STEP_FORWARD, MenuText(IDM_STEP_FORWARD)},
    {IDM_STEP_BACKWARD, MenuText(IDM_STEP_BACKWARD)},
    {IDM_STEP_FIRST, MenuText(IDM_STEP_FIRST)},
};

static const MenuItemDefinition HelpItems[] = {
    {IDM_HELP_ABOUT, MenuText(IDM_HELP_ABOUT)},
    {IDM_HELP_CONTROLS, MenuText(IDM_HELP_CONTROLS)},
    {IDM_HELP_OPTIONS, MenuText(IDM_HELP_OPTIONS)},
};

#define COUNT_OF(a) (int)(sizeof(a) / sizeof((a)[0]))

const MenuPopupDefinition KinaroMenu[] = {
    {"&Go", false, GoItems, COUNT_OF(GoItems)},
    {"&Step", false, StepItems, COUNT_OF(StepItems)},
    {"&Help", true, HelpItems, COUNT_OF(HelpItems)},
};
const int KinaroMenuPopupCount = COUNT_OF(KinaroMenu);

static const DialogControlDefinition OpenFileControls[] = {
    {1090, "static", "File &Name:", 0x50020000u, 6, 6, 76, 9},
    {1152, "edit", "", 0x50810480u, 6, 16, 90, 12},
    {1120, "listbox", "", 0x50A11053u, 6, 32, 90, 68},
    {65535, "static", "&Directories:", 0x50020000u, 110, 6, 92, 9},
    {1088, "static", "", 0x50020080u, 110, 18, 92, 9},
    {1121, "listbox", "", 0x50A11053u, 110, 32, 92, 68},
    {1089, "static", "List Files of &Type:", 0x50020000u, 6, 104, 90, 9},
    {1136, "combobox", "", 0x50A10043u, 6, 114, 90, 48},
    {1091, "static", "Dri&ves:", 0x50020000u, 110, 104, 92, 9},
    {1137, "combobox", "", 0x50A10353u, 110, 114, 92, 68},
    {65535, "button", "Display Options", 0x50000007u, 6, 130, 196, 27},
    {IDC_MULTIPLE_COLORMAPS, "button", "Multiple Colormaps", 0x50010003u, 14, 142, 77, 10},
    {IDC_USE_BUFFERING, "button", "Use Buffering", 0x50010003u, 110, 142, 76, 10},
    {1, "button", "OK", 0x50030001u, 208, 6, 50, 14},
    {2, "button", "Cancel", 0x50030000u, 208, 24, 50, 14},
    {IDC_OPEN_HELP, "button", "&Help", 0x50030000u, 208, 44, 50, 14},
    {1040, "button", "&Read Only", 0x50030003u, 208, 86, 50, 12},
};

const DialogDefinition OpenFileTemplate = {
    0x80C800C0u, 36, 24, 262, 164, "Helv", 8, OpenFileControls, COUNT_OF(OpenFileControls),
};
