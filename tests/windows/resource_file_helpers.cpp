#include "tests/windows/resource_file.h"

uint8_t ResourceReader::Byte() {
    if (offset_ >= data_.size()) throw std::out_of_range("resource data ends early");
    return data_[offset_++];
}

uint16_t ResourceReader::Word() {
    uint16_t low = Byte();
    return static_cast<uint16_t>(low | Byte() << 8);
}

uint32_t ResourceReader::Dword() {
    uint32_t low = Word();
    return low | static_cast<uint32_t>(Word()) << 16;
}

std::string ResourceReader::String() {
    std::string text;
    for (uint16_t c = Word(); c != 0; c = Word()) {
        if (c > 0x7F) throw std::runtime_error("non-ASCII character in a resource string");
        text += static_cast<char>(c);
    }
    return text;
}

ResourceId ResourceReader::Id() {
    ResourceId id;
    size_t start = offset_;
    if (Word() == 0xFFFF) {
        id.Ordinal = Word();
        return id;
    }
    offset_ = start;
    id.IsOrdinal = false;
    id.Name = String();
    return id;
}

void ResourceReader::AlignTo(size_t boundary) {
    offset_ = (offset_ + boundary - 1) / boundary * boundary;
}

std::vector<ResourceEntry> ParseResourceFile(const std::vector<uint8_t>& bytes) {
    std::vector<ResourceEntry> entries;
    ResourceReader in(bytes);
    bool first = true;
    while (!in.AtEnd()) {
        size_t start = in.Offset();
        uint32_t dataSize = in.Dword();
        uint32_t headerSize = in.Dword();
        ResourceEntry entry;
        entry.Type = in.Id();
        entry.Name = in.Id();
        in.AlignTo(4);
        in.Dword();  // data version
        in.Word();   // memory flags
        entry.Language = in.Word();
        in.Dword();  // version
        in.Dword();  // characteristics
        if (in.Offset() != start + headerSize) throw std::runtime_error("bad resource header size");
        for (uint32_t i = 0; i < dataSize; ++i) entry.Data.push_back(in.Byte());
        in.AlignTo(4);
        // A .res file starts with an empty entry that marks it as a 32-bit resource file.
        if (first) {
            if (dataSize != 0 || !entry.Type.IsOrdinal || entry.Type.Ordinal != 0)
                throw std::runtime_error("not a 32-bit resource file");
            first = false;
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

static void ParseMenuItems(ResourceReader& in, std::vector<MenuNode>& items, int depth) {
    if (depth > 8) throw std::runtime_error("menu nested too deeply");
    for (;;) {
        MenuNode node;
        node.Flags = in.Word();
        if (!(node.Flags & 0x10)) node.Id = in.Word();
        node.Text = in.String();
        if (node.Flags & 0x10) ParseMenuItems(in, node.Items, depth + 1);
        bool last = node.Flags & 0x80;
        items.push_back(std::move(node));
        if (last) return;
    }
}

std::vector<MenuNode> ParseMenu(const std::vector<uint8_t>& data) {
    ResourceReader in(data);
    if (in.Word() != 0 || in.Word() != 0) throw std::runtime_error("not a MENU template");
    std::vector<MenuNode> bar;
    ParseMenuItems(in, bar, 0);
    if (!in.AtEnd()) throw std::runtime_error("bytes after the menu template");
    return bar;
}

DialogTemplate ParseDialog(const std::vector<uint8_t>& data) {
    ResourceReader in(data);
    DialogTemplate dialog;
    dialog.Style = in.Dword();
    if ((dialog.Style & 0xFFFF0000u) == 0xFFFF0000u) throw std::runtime_error("DIALOGEX template");
    dialog.ExStyle = in.Dword();
    uint16_t count = in.Word();
    dialog.X = in.Short();
    dialog.Y = in.Short();
    dialog.Width = in.Short();
    dialog.Height = in.Short();
    dialog.Menu = in.Id();
    dialog.Class = in.Id();
    dialog.Caption = in.String();
    if (dialog.Style & 0x40) {  // DS_SETFONT
        dialog.PointSize = in.Word();
        dialog.FontName = in.String();
    }
    for (uint16_t i = 0; i < count; ++i) {
        in.AlignTo(4);
        DialogItem item;
        item.Style = in.Dword();
        item.ExStyle = in.Dword();
        item.X = in.Short();
        item.Y = in.Short();
        item.Width = in.Short();
        item.Height = in.Short();
        item.Id = in.Word();
        item.Class = in.Id();
        item.Text = in.Id();
        item.ExtraBytes = in.Word();
        for (uint16_t b = 0; b < item.ExtraBytes; ++b) in.Byte();
        dialog.Items.push_back(std::move(item));
    }
    return dialog;
}

const VersionNode* VersionNode::Child(const std::string& key) const {
    for (const VersionNode& c : Children)
        if (c.Key == key) return &c;
    return nullptr;
}

// Each node: length (whole node), value length (words for text), type, key, padding to 32
// bits, value, padding, children up to the length.
static VersionNode ParseVersionNode(const std::vector<uint8_t>& data, size_t offset) {
    ResourceReader in(data, offset);
    uint16_t length = in.Word();
    uint16_t valueLength = in.Word();
    VersionNode node;
    node.Type = in.Word();
    node.Key = in.String();
    in.AlignTo(4);
    size_t end = offset + length;
    // A node shorter than its header would stop the walk over its siblings from advancing.
    if (length < 6 || end > data.size()) throw std::out_of_range("version node overruns");
    size_t valueBytes = node.Type == 1 ? 2u * valueLength : valueLength;
    for (size_t i = 0; i < valueBytes && in.Offset() < end; ++i) node.Value.push_back(in.Byte());
    if (node.Type == 1) {
        for (size_t i = 0; i + 1 < node.Value.size() && node.Value[i] | node.Value[i + 1]; i += 2)
            node.Text += static_cast<char>(node.Value[i]);
    }
    in.AlignTo(4);
    for (size_t at = in.Offset(); at + 6 <= end;) {
        node.Children.push_back(ParseVersionNode(data, at));
        uint16_t childLength = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
        at = (at + childLength + 3) / 4 * 4;
    }
    return node;
}

VersionNode ParseVersionInfo(const std::vector<uint8_t>& data) {
    return ParseVersionNode(data, 0);
}
