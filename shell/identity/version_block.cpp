// VS_VERSIONINFO: a tree of nodes, each { u16 length, u16 valueLength,
// u16 type (0 binary, 1 text), key (UTF-16, NUL), padding to four, value,
// padding to four before each child, children }. Lengths count the node and
// its children but no padding after the last child.
#include <cstring>
#include <initializer_list>

#include "identity_layouts.h"
#include "identity_values.h"

namespace {

constexpr uint16_t kBinaryNode = 0;
constexpr uint16_t kTextNode = 1;

Bytes Node(const char* key, uint16_t type, uint16_t valueLength, const Bytes& value,
           std::initializer_list<Bytes> children)
{
    Bytes node;
    Append16(node, 0);  // length, patched below
    Append16(node, valueLength);
    Append16(node, type);
    AppendUtf16(node, key);
    Append16(node, 0);
    PadToFour(node);
    AppendBytes(node, value);
    for (const Bytes& child : children) {
        PadToFour(node);
        AppendBytes(node, child);
    }
    Patch16(node, 0, static_cast<uint16_t>(node.size()));
    return node;
}

uint32_t High(const uint16_t version[4])
{
    return static_cast<uint32_t>(version[0]) << 16 | version[1];
}
uint32_t Low(const uint16_t version[4])
{
    return static_cast<uint32_t>(version[2]) << 16 | version[3];
}

Bytes FixedFileInfo()
{
    Bytes info;
    Append32(info, 0xFEEF04BD);  // signature
    Append32(info, 0x00010000);  // structure version 1.0
    Append32(info, High(identity::kFileVersion));
    Append32(info, Low(identity::kFileVersion));
    Append32(info, High(identity::kProductVersion));
    Append32(info, Low(identity::kProductVersion));
    Append32(info, identity::kFileFlagsMask);
    Append32(info, identity::kFileFlags);
    Append32(info, identity::kFileOs);
    Append32(info, identity::kFileType);
    Append32(info, identity::kFileSubtype);
    Append32(info, 0);  // file date, high
    Append32(info, 0);  // file date, low
    return info;
}

// A String node's value length counts UTF-16 units, terminator included.
Bytes StringNode(const identity::VersionString& entry)
{
    Bytes value;
    AppendUtf16(value, entry.value);
    Append16(value, 0);
    return Node(entry.key, kTextNode, static_cast<uint16_t>(std::strlen(entry.value) + 1), value,
                {});
}

Bytes StringTable()
{
    Bytes table = Node(identity::kStringTableKey, kTextNode, 0, {}, {});
    for (const identity::VersionString& entry : identity::kVersionStrings) {
        PadToFour(table);
        AppendBytes(table, StringNode(entry));
    }
    Patch16(table, 0, static_cast<uint16_t>(table.size()));
    return table;
}

}  // namespace

Bytes BuildVersionBlock()
{
    Bytes translation;
    Append16(translation, identity::kLanguage);
    Append16(translation, identity::kCodePage);
    Bytes fixed = FixedFileInfo();
    return Node("VS_VERSION_INFO", kBinaryNode, static_cast<uint16_t>(fixed.size()), fixed,
                {Node("StringFileInfo", kTextNode, 0, {}, {StringTable()}),
                 Node("VarFileInfo", kTextNode, 0, {},
                      {Node("Translation", kBinaryNode, 4, translation, {})})});
}
