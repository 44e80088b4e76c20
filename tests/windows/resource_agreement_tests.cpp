// The compiled Windows resources (what kinaro.exe links) against the one definition of the
// menu and the open-file dialog that the Linux backend builds from, and the icon against
// its drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>

#include "resources/icon_drawing.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"
#include "resources/writer/resource_script.h"
#include "tests/windows/resource_file.h"

namespace {

constexpr uint16_t MF_POPUP = 0x10, MF_END = 0x80, MF_HELP = 0x4000;

std::vector<uint8_t> ReadBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CompiledResources : public ::testing::Test {
   protected:
    static void SetUpTestSuite() { Entries = ParseResourceFile(ReadBytes(KINARO_RES_FILE)); }

    static const ResourceEntry* Find(uint16_t type, uint16_t name) {
        for (const ResourceEntry& e : Entries) {
            if (e.Type.IsOrdinal && e.Type.Ordinal == type && e.Name.IsOrdinal &&
                e.Name.Ordinal == name)
                return &e;
        }
        return nullptr;
    }

    static std::vector<ResourceEntry> Entries;
};
std::vector<ResourceEntry> CompiledResources::Entries;

TEST_F(CompiledResources, HoldExactlyTheMenuTheDialogTheIconTheManifestAndTheVersion) {
    std::map<uint16_t, std::vector<uint16_t>> names;
    for (const ResourceEntry& e : Entries) {
        ASSERT_TRUE(e.Type.IsOrdinal && e.Name.IsOrdinal) << "resource named by a string";
        names[e.Type.Ordinal].push_back(e.Name.Ordinal);
        EXPECT_EQ(e.Language, 0x0409);
    }
    EXPECT_EQ(names[ResourceTypeMenu], std::vector<uint16_t>{IDM_KINARO});
    EXPECT_EQ(names[ResourceTypeDialog], std::vector<uint16_t>{IDD_OPENFILE});
    EXPECT_EQ(names[ResourceTypeGroupIcon], std::vector<uint16_t>{IDI_KINARO});
    EXPECT_EQ(names[ResourceTypeIcon].size(), 1u);
    EXPECT_EQ(names[ResourceTypeManifest], std::vector<uint16_t>{1});  // read at process start
    EXPECT_EQ(names[ResourceTypeVersion], std::vector<uint16_t>{1});
    EXPECT_EQ(names.size(), 6u);
}

TEST_F(CompiledResources, ManifestAsksForUtf8PerMonitorDpiAndCommonControls6) {
    const ResourceEntry* entry = Find(ResourceTypeManifest, 1);
    ASSERT_NE(entry, nullptr);
    std::string manifest(entry->Data.begin(), entry->Data.end());
    EXPECT_EQ(manifest, ApplicationManifest());
    const char* required[] = {
        "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">"
        "UTF-8</activeCodePage>",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
        "true/pm</dpiAware>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "PerMonitorV2</dpiAwareness>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        "version=\"1.62.0.0\"",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    for (const char* text : required)
        EXPECT_NE(manifest.find(text), std::string::npos) << "manifest lacks " << text;
}

TEST_F(CompiledResources, VersionResourceNamesKinaroAtItsVersion) {
    const ResourceEntry* entry = Find(ResourceTypeVersion, 1);
    ASSERT_NE(entry, nullptr);
    VersionNode root = ParseVersionInfo(entry->Data);
    EXPECT_EQ(root.Key, "VS_VERSION_INFO");
    ASSERT_EQ(root.Value.size(), 52u);  // VS_FIXEDFILEINFO
    ResourceReader fixed(root.Value);
    EXPECT_EQ(fixed.Dword(), 0xFEEF04BDu);
    fixed.Dword();                            // structure version
    EXPECT_EQ(fixed.Dword(), 1u << 16 | 62);  // file version 1.62
    EXPECT_EQ(fixed.Dword(), 0u);             //              .0.0
    EXPECT_EQ(fixed.Dword(), 1u << 16 | 62);  // product version
    EXPECT_EQ(fixed.Dword(), 0u);
    fixed.Dword();                       // flags mask
    EXPECT_EQ(fixed.Dword(), 0u);        // not a debug or pre-release build
    EXPECT_EQ(fixed.Dword(), 0x40004u);  // VOS_NT_WINDOWS32
    EXPECT_EQ(fixed.Dword(), 1u);        // VFT_APP

    const VersionNode* strings = root.Child("StringFileInfo");
    ASSERT_NE(strings, nullptr);
    const VersionNode* table = strings->Child("040904B0");  // US English, Unicode
    ASSERT_NE(table, nullptr);
    std::map<std::string, std::string> values;
    for (const VersionNode& s : table->Children) values[s.Key] = s.Text;
    EXPECT_EQ(values["ProductName"], "Kinaro");
    EXPECT_EQ(values["ProductVersion"], "1.62");
    EXPECT_EQ(values["FileVersion"], "1.62");
    EXPECT_EQ(values["FileDescription"], "Kinaro Raster Metafile viewer");
    EXPECT_EQ(values["OriginalFilename"], "kinaro.exe");

    const VersionNode* translations = root.Child("VarFileInfo");
    ASSERT_NE(translations, nullptr);
    ASSERT_NE(translations->Child("Translation"), nullptr);
    EXPECT_EQ(translations->Child("Translation")->Value,
              (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
}

TEST_F(CompiledResources, MenuIsTheDefinedMenu) {
    const ResourceEntry* menu = Find(ResourceTypeMenu, IDM_KINARO);
    ASSERT_NE(menu, nullptr);
    std::vector<MenuNode> bar = ParseMenu(menu->Data);
    ASSERT_EQ(static_cast<int>(bar.size()), KinaroMenuPopupCount);
    for (int p = 0; p < KinaroMenuPopupCount; ++p) {
        const MenuPopupDefinition& want = KinaroMenu[p];
        const MenuNode& popup = bar[p];
        SCOPED_TRACE(want.Text);
        EXPECT_EQ(popup.Text, want.Text);
        uint16_t flags = MF_POPUP | (want.IsHelpPopup ? MF_HELP : 0) |
                         (p == KinaroMenuPopupCount - 1 ? MF_END : 0);
        EXPECT_EQ(popup.Flags, flags);
        ASSERT_EQ(static_cast<int>(popup.Items.size()), want.ItemCount);
        for (int i = 0; i < want.ItemCount; ++i) {
            const MenuItemDefinition& wantItem = want.Items[i];
            const MenuNode& item = popup.Items[i];
            EXPECT_EQ(item.Flags, i == want.ItemCount - 1 ? MF_END : 0) << "item " << i;
            EXPECT_EQ(item.Id, wantItem.Id) << "item " << i;
            EXPECT_EQ(item.Text, wantItem.Text ? wantItem.Text : "") << "item " << i;
            EXPECT_TRUE(item.Items.empty());
        }
    }
}

// Windows knows the standard control classes by name or by their atom; either works, and
// windres writes the atom.
bool SameClass(const ResourceId& compiled, const char* name) {
    static const std::map<std::string, uint16_t> atoms = {
        {"button", 0x80},  {"edit", 0x81},      {"static", 0x82},
        {"listbox", 0x83}, {"scrollbar", 0x84}, {"combobox", 0x85},
    };
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (compiled.IsOrdinal) return atoms.count(lower) && atoms.at(lower) == compiled.Ordinal;
    std::string got = compiled.Name;
    std::transform(got.begin(), got.end(), got.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return got == lower;
}

TEST_F(CompiledResources, DialogIsTheDefinedTemplate) {
    const ResourceEntry* entry = Find(ResourceTypeDialog, IDD_OPENFILE);
    ASSERT_NE(entry, nullptr);
    DialogTemplate dialog = ParseDialog(entry->Data);
    const DialogDefinition& want = OpenFileTemplate;
    EXPECT_EQ(dialog.Style, want.Style);
    EXPECT_EQ(dialog.ExStyle, 0u);
    EXPECT_EQ(dialog.X, want.X);
    EXPECT_EQ(dialog.Y, want.Y);
    EXPECT_EQ(dialog.Width, want.Width);
    EXPECT_EQ(dialog.Height, want.Height);
    EXPECT_TRUE(dialog.Menu.IsOrdinal ? dialog.Menu.Ordinal == 0 : dialog.Menu.Name.empty());
    EXPECT_TRUE(dialog.Class.IsOrdinal ? dialog.Class.Ordinal == 0 : dialog.Class.Name.empty());
    EXPECT_EQ(dialog.Caption, "");
    EXPECT_EQ(dialog.PointSize, want.FontPointSize);
    EXPECT_EQ(dialog.FontName, want.FontName);
    ASSERT_EQ(static_cast<int>(dialog.Items.size()), want.ControlCount);
    for (int i = 0; i < want.ControlCount; ++i) {
        const DialogControlDefinition& w = want.Controls[i];
        const DialogItem& got = dialog.Items[i];
        SCOPED_TRACE(std::to_string(i) + ": " + w.Text);
        EXPECT_EQ(got.Id, w.Id);
        EXPECT_TRUE(SameClass(got.Class, w.ClassName)) << w.ClassName;
        EXPECT_FALSE(got.Text.IsOrdinal);
        EXPECT_EQ(got.Text.Name, w.Text);
        EXPECT_EQ(got.Style, w.Style);
        EXPECT_EQ(got.ExStyle, 0u);
        EXPECT_EQ(got.X, w.X);
        EXPECT_EQ(got.Y, w.Y);
        EXPECT_EQ(got.Width, w.Width);
        EXPECT_EQ(got.Height, w.Height);
        EXPECT_EQ(got.ExtraBytes, 0);
    }
}

// The controls the Linux backend adds to its file chooser are found in the template under
// the same ids, as the check boxes and push button the hook expects.
TEST(DialogDefinition, HoldsTheDisplayOptionsAndHelpButtonTheHookUses) {
    struct Expected {
        int Id;
        const char* Text;
        uint32_t ButtonStyle;  // low bits: BS_AUTOCHECKBOX 3, BS_PUSHBUTTON 0
    };
    const Expected expected[] = {
        {IDC_MULTIPLE_COLORMAPS, "Multiple Colormaps", 3},
        {IDC_USE_BUFFERING, "Use Buffering", 3},
        {IDC_OPEN_HELP, "&Help", 0},
    };
    for (const Expected& e : expected) {
        const DialogControlDefinition* found = nullptr;
        for (int i = 0; i < OpenFileTemplate.ControlCount; ++i) {
            if (OpenFileTemplate.Controls[i].Id == e.Id) {
                EXPECT_EQ(found, nullptr) << "id " << e.Id << " twice";
                found = &OpenFileTemplate.Controls[i];
            }
        }
        ASSERT_NE(found, nullptr) << e.Id;
        EXPECT_STREQ(found->ClassName, "button");
        EXPECT_STREQ(found->Text, e.Text);
        EXPECT_EQ(found->Style & 0xF, e.ButtonStyle);
    }
}

TEST_F(CompiledResources, IconIsOneThirtyTwoPixelSixteenColourImageOfTheDrawing) {
    const ResourceEntry* group = Find(ResourceTypeGroupIcon, IDI_KINARO);
    ASSERT_NE(group, nullptr);
    ResourceReader in(group->Data);
    EXPECT_EQ(in.Word(), 0);  // reserved
    EXPECT_EQ(in.Word(), 1);  // icons, not cursors
    ASSERT_EQ(in.Word(), 1);  // one image
    EXPECT_EQ(in.Byte(), 32);
    EXPECT_EQ(in.Byte(), 32);
    EXPECT_EQ(in.Byte(), 16);
    EXPECT_EQ(in.Byte(), 0);
    EXPECT_EQ(in.Word(), 1);  // planes
    EXPECT_EQ(in.Word(), 4);  // bits a pixel
    uint32_t bytes = in.Dword();
    uint16_t iconId = in.Word();
    EXPECT_TRUE(in.AtEnd());

    const ResourceEntry* icon = Find(ResourceTypeIcon, iconId);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->Data.size(), bytes);
    ResourceReader image(icon->Data);
    EXPECT_EQ(image.Dword(), 40u);
    EXPECT_EQ(image.Dword(), 32u);
    EXPECT_EQ(image.Dword(), 64u);
    EXPECT_EQ(image.Word(), 1);
    EXPECT_EQ(image.Word(), 4);
    EXPECT_EQ(image.Dword(), 0u);  // uncompressed
    const size_t paletteAt = 40, colorAt = paletteAt + 16 * 4, maskAt = colorAt + 32 * 16;
    ASSERT_EQ(icon->Data.size(), maskAt + 32 * 4);

    // Decode it the way Windows does and compare with the drawing, pixel by pixel.
    std::vector<int> colorsUsed(16, 0);
    for (int row = 0; row < 32; ++row) {
        int stored = 31 - row;  // bottom-up
        for (int column = 0; column < 32; ++column) {
            uint8_t pair = icon->Data[colorAt + stored * 16 + column / 2];
            int index = column % 2 ? pair & 0xF : pair >> 4;
            bool transparent = icon->Data[maskAt + stored * 4 + column / 8] & (0x80 >> column % 8);
            ASSERT_EQ(transparent, IconTransparent(column, row)) << column << "," << row;
            ASSERT_EQ(index, IconPixel(column, row)) << column << "," << row;
            if (!transparent) colorsUsed[index] = 1;
        }
    }
    for (int i = 0; i < 16; ++i) {
        uint32_t rgb = IconPalette[i];
        const uint8_t* quad = &icon->Data[paletteAt + 4 * i];
        EXPECT_EQ(quad[0] | quad[1] << 8 | quad[2] << 16, static_cast<int>(rgb)) << i;
    }
    // A drawing, not a blank square.
    EXPECT_GE(std::count(colorsUsed.begin(), colorsUsed.end(), 1), 5);
}

TEST(ResourceString, QuotesAndEscapesAsTheResourceCompilerReads) {
    EXPECT_EQ(ResourceString(""), "\"\"");
    EXPECT_EQ(ResourceString("&Forward\tF"), "\"&Forward\\tF\"");
    EXPECT_EQ(ResourceString("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(ResourceString("C:\\dir\nnext"), "\"C:\\\\dir\\nnext\"");
}

}  // namespace
