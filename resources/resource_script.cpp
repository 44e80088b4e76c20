#include "resources/resource_script.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "resources/resource_tables.h"

std::string ResourceString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"': out += "\"\""; break;
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        default: out += c; break;
        }
    }
    return out + "\"";
}

static std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

static void WriteMenu(std::string& out) {
    out += std::to_string(IDM_KINARO) + " MENU\nBEGIN\n";
    for (int p = 0; p < KinaroMenuPopupCount; ++p) {
        const MenuPopupDefinition& popup = KinaroMenu[p];
        out += "    POPUP " + ResourceString(popup.Text) + (popup.IsHelpPopup ? ", HELP" : "") +
               "\n    BEGIN\n";
        for (int i = 0; i < popup.ItemCount; ++i) {
            const MenuItemDefinition& item = popup.Items[i];
            if (item.Id == 0) {
                out += "        MENUITEM SEPARATOR\n";
            } else {
                out += "        MENUITEM " + ResourceString(item.Text) + ", " +
                       std::to_string(item.Id) + "\n";
            }
        }
        out += "    END\n";
    }
    out += "END\n";
}

// Every style is written in full, with no defaults left to the resource compiler: the
// template must carry exactly the bits of the table.
static void WriteDialog(std::string& out) {
    const DialogDefinition& d = OpenFileTemplate;
    out += std::to_string(IDD_OPENFILE) + " DIALOG " + std::to_string(d.X) + ", " +
           std::to_string(d.Y) + ", " + std::to_string(d.Width) + ", " + std::to_string(d.Height) +
           "\nSTYLE " + Hex(d.Style) + "\nFONT " + std::to_string(d.FontPointSize) + ", " +
           ResourceString(d.FontName) + "\nBEGIN\n";
    for (int i = 0; i < d.ControlCount; ++i) {
        const DialogControlDefinition& c = d.Controls[i];
        out += "    CONTROL " + ResourceString(c.Text) + ", " + std::to_string(c.Id) + ", " +
               ResourceString(c.ClassName) + ", " + Hex(c.Style) + ", " + std::to_string(c.X) +
               ", " + std::to_string(c.Y) + ", " + std::to_string(c.Width) + ", " +
               std::to_string(c.Height) + "\n";
    }
    out += "END\n";
}

std::string ResourceScript(std::string_view iconPath) {
    std::string out =
        "// Written at build time from resources/resource_tables.cpp; do not edit.\n\n"
        "LANGUAGE 0x09, 0x01  // English (United States)\n\n";
    out += std::to_string(IDI_KINARO) + " ICON " + ResourceString(iconPath) + "\n\n";
    WriteMenu(out);
    out += "\n";
    WriteDialog(out);
    return out;
}
