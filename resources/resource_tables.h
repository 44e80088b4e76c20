// The one definition of menu 103 and open-file dialog template 103. The Linux backend builds
// its menu and dialog extras from these tables; the Windows resource script must agree with
// them (checked by a test).
#pragma once

#include <cstdint>

struct MenuItemDefinition {
    int Id;            // 0 for a separator
    const char* Text;  // '&' marks the mnemonic; the text after '\t' is the accelerator label
};

struct MenuPopupDefinition {
    const char* Text;
    bool IsHelpPopup;  // placed at the right end of the menu bar
    const MenuItemDefinition* Items;
    int ItemCount;
};

struct DialogControlDefinition {
    int Id;  // 65535 (-1) for controls without their own id
    const char* ClassName;
    const char* Text;
    uint32_t Style;
    int X, Y, Width, Height;  // dialog units
};

struct DialogDefinition {
    uint32_t Style;
    int X, Y, Width, Height;
    const char* FontName;
    int FontPointSize;
    const DialogControlDefinition* Controls;
    int ControlCount;
};

extern const MenuPopupDefinition KinaroMenu[];
extern const int KinaroMenuPopupCount;
extern const DialogDefinition OpenFileTemplate;
