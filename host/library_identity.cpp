#include "library_identity.h"

#include <cstdio>

#include "byte_order.h"

namespace {

// One node of a version block: header, key, value, children.
struct VersionNode {
    std::string key;
    uint16_t type = 0;
    const uint8_t* value = nullptr;
    size_t valueBytes = 0;
    const uint8_t* children = nullptr;
    size_t childrenBytes = 0;
};

size_t AlignFour(size_t offset)
{
    return (offset + 3) / 4 * 4;
}

// Identity texts are ASCII; anything else shows as '?'.
std::string NarrowText(const uint8_t* units, size_t unitCount)
{
    std::string text;
    for (size_t i = 0; i < unitCount; ++i) {
        uint16_t unit = ReadLe16(units + 2 * i);
        if (unit == 0) {
            break;
        }
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

bool ParseNode(const uint8_t* bytes, size_t available, VersionNode* node, size_t* nodeBytes)
{
    if (available < 6) {
        return false;
    }
    size_t length = ReadLe16(bytes);
    uint16_t valueLength = ReadLe16(bytes + 2);
    node->type = ReadLe16(bytes + 4);
    if (length < 6 || length > available) {
        return false;
    }
    size_t offset = 6;
    node->key.clear();
    while (true) {
        if (offset + 2 > length) {
            return false;
        }
        uint16_t unit = ReadLe16(bytes + offset);
        offset += 2;
        if (unit == 0) {
            break;
        }
        node->key.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    offset = AlignFour(offset);
    node->valueBytes = node->type == 1 ? valueLength * 2u : valueLength;
    if (offset + node->valueBytes > length) {
        return false;
    }
    node->value = bytes + offset;
    offset = AlignFour(offset + node->valueBytes);
    node->children = bytes + offset;
    node->childrenBytes = offset < length ? length - offset : 0;
    *nodeBytes = length;
    return true;
}

// Calls `visit` for each child node; false when a child is malformed.
template <typename Visit>
bool ForEachChild(const VersionNode& parent, Visit visit)
{
    size_t offset = 0;
    while (offset < parent.childrenBytes) {
        VersionNode child;
        size_t childBytes = 0;
        if (!ParseNode(parent.children + offset, parent.childrenBytes - offset, &child,
                       &childBytes) ||
            !visit(child)) {
            return false;
        }
        offset = AlignFour(offset + childBytes);
    }
    return true;
}

}  // namespace

bool DecodeVersionBlock(const uint8_t* bytes, size_t byteCount, VersionBlock* block)
{
    VersionNode root;
    size_t rootBytes = 0;
    if (bytes == nullptr || !ParseNode(bytes, byteCount, &root, &rootBytes) ||
        root.key != "VS_VERSION_INFO" || root.valueBytes != 52 ||
        ReadLe32(root.value) != 0xFEEF04BD) {
        return false;
    }
    const uint8_t* fixed = root.value;
    for (size_t half = 0; half < 2; ++half) {
        uint32_t fileWord = ReadLe32(fixed + 8 + 4 * half);
        uint32_t productWord = ReadLe32(fixed + 16 + 4 * half);
        block->fileVersion[2 * half] = static_cast<uint16_t>(fileWord >> 16);
        block->fileVersion[2 * half + 1] = static_cast<uint16_t>(fileWord);
        block->productVersion[2 * half] = static_cast<uint16_t>(productWord >> 16);
        block->productVersion[2 * half + 1] = static_cast<uint16_t>(productWord);
    }
    block->fileFlagsMask = ReadLe32(fixed + 24);
    block->fileFlags = ReadLe32(fixed + 28);
    block->fileOs = ReadLe32(fixed + 32);
    block->fileType = ReadLe32(fixed + 36);
    block->fileSubtype = ReadLe32(fixed + 40);

    return ForEachChild(root, [block](const VersionNode& child) {
        if (child.key == "StringFileInfo") {
            return ForEachChild(child, [block](const VersionNode& table) {
                block->stringTableKey = table.key;
                return ForEachChild(table, [block](const VersionNode& entry) {
                    block->strings.emplace_back(entry.key,
                                                NarrowText(entry.value, entry.valueBytes / 2));
                    return true;
                });
            });
        }
        if (child.key == "VarFileInfo") {
            return ForEachChild(child, [block](const VersionNode& var) {
                if (var.key == "Translation" && var.valueBytes >= 4) {
                    block->translationLanguage = ReadLe16(var.value);
                    block->translationCodePage = ReadLe16(var.value + 2);
                }
                return true;
            });
        }
        return true;
    });
}

bool DecodeTypeLibrary(const uint8_t* bytes, size_t byteCount, TypeLibrarySummary* summary)
{
    constexpr size_t kHeaderBytes = 0x54;
    constexpr int kGuidSegment = 5;
    constexpr int kNameSegment = 7;
    if (bytes == nullptr || byteCount < kHeaderBytes || ReadLe32(bytes) != 0x5446534D) {
        return false;
    }
    // The segment directory follows the type descriptions' offsets and, when
    // there is one, the help DLL's name.
    size_t typeDescriptions = ReadLe32(bytes + 0x20);
    bool helpDll = (ReadLe32(bytes + 0x14) & 0x100) != 0;
    if (typeDescriptions > byteCount / 4) {
        return false;
    }
    const size_t kSegmentDirectory = kHeaderBytes + 4 * typeDescriptions + (helpDll ? 4 : 0);
    if (byteCount < kSegmentDirectory + size_t{15} * 16) {
        return false;
    }
    summary->lcid = ReadLe32(bytes + 0x0C);
    summary->syskind = ReadLe32(bytes + 0x14) & 0xF;
    uint32_t version = ReadLe32(bytes + 0x18);
    summary->majorVersion = static_cast<uint16_t>(version);
    summary->minorVersion = static_cast<uint16_t>(version >> 16);

    auto segmentOffset = [bytes, kSegmentDirectory](size_t segment) {
        return ReadLe32(bytes + kSegmentDirectory + 16 * segment);
    };
    size_t guid = size_t{segmentOffset(kGuidSegment)} + ReadLe32(bytes + 0x08);
    size_t name = size_t{segmentOffset(kNameSegment)} + ReadLe32(bytes + 0x38);
    if (guid + 16 > byteCount || name + 12 > byteCount) {
        return false;
    }
    size_t nameLength = ReadLe32(bytes + name + 8) & 0xFF;
    if (name + 12 + nameLength > byteCount) {
        return false;
    }
    summary->name.assign(reinterpret_cast<const char*>(bytes + name + 12), nameLength);

    char text[40];
    const uint8_t* g = bytes + guid;
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  ReadLe32(g), ReadLe16(g + 4), ReadLe16(g + 6), g[8], g[9], g[10], g[11], g[12],
                  g[13], g[14], g[15]);
    summary->guid = text;
    return true;
}

bool DecodeStringFromBlock(const uint8_t* bytes, size_t byteCount, uint16_t id, std::string* text)
{
    size_t offset = 0;
    for (int slot = 0; slot < 16; ++slot) {
        if (bytes == nullptr || offset + 2 > byteCount) {
            return false;
        }
        size_t units = ReadLe16(bytes + offset);
        if (offset + 2 + 2 * units > byteCount) {
            return false;
        }
        if (slot == id % 16) {
            *text = NarrowText(bytes + offset + 2, units);
            return true;
        }
        offset += 2 + 2 * units;
    }
    return false;
}

std::string VersionString(const VersionBlock& block, const char* key)
{
    for (const auto& [entryKey, value] : block.strings) {
        if (entryKey == key) {
            return value;
        }
    }
    return "";
}
