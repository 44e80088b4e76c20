// A reader for compiled Windows resources (.res files, as windres -O res writes them), so
// that tests can check what the Windows build really links, independently of how the
// resource script was written.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A resource type or name: a 16-bit ordinal or a string.
struct ResourceId {
    bool IsOrdinal = true;
    uint16_t Ordinal = 0;
    std::string Name;  // UTF-16 narrowed; only ASCII is expected
};

struct ResourceEntry {
    ResourceId Type;
    ResourceId Name;
    uint16_t Language = 0;
    std::vector<uint8_t> Data;
};

constexpr uint16_t ResourceTypeIcon = 3;
constexpr uint16_t ResourceTypeMenu = 4;
constexpr uint16_t ResourceTypeDialog = 5;
constexpr uint16_t ResourceTypeGroupIcon = 14;
constexpr uint16_t ResourceTypeVersion = 16;
constexpr uint16_t ResourceTypeManifest = 24;

// Little-endian reads that throw std::out_of_range instead of running off the data.
class ResourceReader {
   public:
    explicit ResourceReader(const std::vector<uint8_t>& data, size_t offset = 0)
        : data_(data), offset_(offset) {}
    uint8_t Byte();
    uint16_t Word();
    uint32_t Dword();
    int16_t Short() { return static_cast<int16_t>(Word()); }
    std::string String();  // zero-terminated UTF-16
    ResourceId Id();       // 0xFFFF then an ordinal, else a zero-terminated string
    void AlignTo(size_t boundary);
    size_t Offset() const { return offset_; }
    bool AtEnd() const { return offset_ >= data_.size(); }

   private:
    const std::vector<uint8_t>& data_;
    size_t offset_;
};

// Every resource of a .res file except the leading empty entry.
std::vector<ResourceEntry> ParseResourceFile(const std::vector<uint8_t>& bytes);

// A menu template (MENU, not MENUEX) as a tree.
struct MenuNode {
    uint16_t Flags = 0;  // MF_POPUP 0x10, MF_END 0x80, MF_HELP 0x4000, ...
    uint16_t Id = 0;     // items only
    std::string Text;
    std::vector<MenuNode> Items;  // popups only
};
std::vector<MenuNode> ParseMenu(const std::vector<uint8_t>& data);

// A dialog template (DIALOG, not DIALOGEX).
struct DialogItem {
    uint32_t Style = 0, ExStyle = 0;
    int16_t X = 0, Y = 0, Width = 0, Height = 0;
    uint16_t Id = 0;
    ResourceId Class;
    ResourceId Text;
    uint16_t ExtraBytes = 0;
};
struct DialogTemplate {
    uint32_t Style = 0, ExStyle = 0;
    int16_t X = 0, Y = 0, Width = 0, Height = 0;
    ResourceId Menu, Class;
    std::string Caption;
    uint16_t PointSize = 0;
    std::string FontName;
    std::vector<DialogItem> Items;
};
DialogTemplate ParseDialog(const std::vector<uint8_t>& data);

// One node of a version resource: VS_VERSIONINFO, StringFileInfo, a string table, a string.
// `Value` is the raw value bytes (a string's value is UTF-16 text, narrowed into `Text`).
struct VersionNode {
    std::string Key;
    uint16_t Type = 0;  // 1 text, 0 binary
    std::vector<uint8_t> Value;
    std::string Text;
    std::vector<VersionNode> Children;
    const VersionNode* Child(const std::string& key) const;
};
VersionNode ParseVersionInfo(const std::vector<uint8_t>& data);
