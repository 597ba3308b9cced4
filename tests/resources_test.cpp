// The identity resources as the loaded library carries them, decoded here
// by a reader of its own that checks the layouts field by field, and, where
// Wine's winedump is installed, the type library as Wine reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "byte_order.h"
#include "loader.h"
#include "support/expected_identity.h"
#include "support/process.h"

namespace {

std::string Utf16(const uint8_t* units, size_t unitCount)
{
    std::string text;
    for (size_t i = 0; i < unitCount; ++i) {
        uint16_t unit = ReadLe16(units + 2 * i);
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

// A version-block node read strictly: the key must be followed by exactly the
// padding to four, and the node must fit its parent.
struct Node {
    size_t length;
    uint16_t valueLength;
    uint16_t type;
    std::string key;
    size_t valueAt;     // offset of the value from the node's start
    size_t childrenAt;  // offset of the first child
};

Node ReadNode(const uint8_t* at, size_t room)
{
    Node node{ReadLe16(at), ReadLe16(at + 2), ReadLe16(at + 4), "", 0, 0};
    EXPECT_LE(node.length, room);
    size_t offset = 6;
    while (ReadLe16(at + offset) != 0) {
        offset += 2;
    }
    node.key = Utf16(at + 6, (offset - 6) / 2);
    offset += 2;
    node.valueAt = (offset + 3) / 4 * 4;
    for (size_t pad = offset; pad < node.valueAt; ++pad) {
        EXPECT_EQ(at[pad], 0) << node.key << " padding";
    }
    size_t valueBytes = node.type == 1 ? node.valueLength * 2u : node.valueLength;
    node.childrenAt = (node.valueAt + valueBytes + 3) / 4 * 4;
    return node;
}

std::vector<std::pair<size_t, Node>> Children(const uint8_t* parent, const Node& node)
{
    std::vector<std::pair<size_t, Node>> children;
    size_t offset = node.childrenAt;
    while (offset < node.length) {
        Node child = ReadNode(parent + offset, node.length - offset);
        children.emplace_back(offset, child);
        if (child.length == 0) {
            ADD_FAILURE() << "empty node under " << node.key;
            break;
        }
        offset = (offset + child.length + 3) / 4 * 4;
    }
    EXPECT_EQ(std::min(offset, node.length), node.length) << node.key << " children overrun";
    return children;
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library = LoaderLoadLibrary(PAVONIZE_LIBRARY); }
    static void TearDownTestSuite() { LoaderUnloadLibrary(library); }

    const uint8_t* Find(const char* type, uint16_t id, size_t* bytes)
    {
        EXPECT_NE(library, nullptr) << LoaderLastProblem();
        return FrameworkFindResource(library, type, id, 0x0409, bytes);
    }

    static LoadedLibrary* library;
};

LoadedLibrary* Resources::library = nullptr;

TEST_F(Resources, VersionBlockFixedPart)
{
    size_t bytes = 0;
    const uint8_t* block = Find("#16", 1, &bytes);
    ASSERT_NE(block, nullptr);
    Node root = ReadNode(block, bytes);
    EXPECT_EQ(root.length, bytes);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    EXPECT_EQ(root.type, 0);
    ASSERT_EQ(root.valueLength, 52);
    const uint8_t* fixed = block + root.valueAt;
    const uint32_t expected[13] = {0xFEEF04BD, 0x00010000, 0x00010000, 0x00000001, 0x00010000,
                                   0x00000001, 0x3F,       0,          0x4,        0x2,
                                   0,          0,          0};
    for (int field = 0; field < 13; ++field) {
        EXPECT_EQ(ReadLe32(fixed + 4 * field), expected[field]) << "fixed field " << field;
    }
    EXPECT_EQ(FrameworkFindResource(library, "#16", 1, 0x0407, &bytes), nullptr)
        << "only language 1033";
}

TEST_F(Resources, VersionBlockStringsAndTranslation)
{
    size_t bytes = 0;
    const uint8_t* block = Find("#16", 1, &bytes);
    ASSERT_NE(block, nullptr);
    Node root = ReadNode(block, bytes);
    auto sections = Children(block, root);
    ASSERT_EQ(sections.size(), 2u);

    const auto& [stringInfoAt, stringInfo] = sections[0];
    EXPECT_EQ(stringInfo.key, "StringFileInfo");
    auto tables = Children(block + stringInfoAt, stringInfo);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0].second.key, "040904B0");
    const uint8_t* table = block + stringInfoAt + tables[0].first;
    std::vector<std::pair<std::string, std::string>> strings;
    for (const auto& [at, entry] : Children(table, tables[0].second)) {
        EXPECT_EQ(entry.type, 1) << entry.key;
        ASSERT_GE(entry.valueLength, 1) << entry.key << ": the terminator is counted";
        const uint8_t* value = table + at + entry.valueAt;
        EXPECT_EQ(ReadLe16(value + 2 * (entry.valueLength - 1)), 0) << entry.key;
        strings.emplace_back(entry.key, Utf16(value, entry.valueLength - 1u));
    }
    std::vector<std::pair<std::string, std::string>> expected;
    for (const expected_identity::VersionString& entry : expected_identity::kVersionStrings) {
        expected.emplace_back(entry.key, entry.value);
    }
    EXPECT_EQ(strings, expected);

    const auto& [varInfoAt, varInfo] = sections[1];
    EXPECT_EQ(varInfo.key, "VarFileInfo");
    auto vars = Children(block + varInfoAt, varInfo);
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(vars[0].second.key, "Translation");
    ASSERT_EQ(vars[0].second.valueLength, 4);
    const uint8_t* translation = block + varInfoAt + vars[0].first + vars[0].second.valueAt;
    EXPECT_EQ(ReadLe16(translation), 0x0409);
    EXPECT_EQ(ReadLe16(translation + 2), 0x04B0);
}

TEST_F(Resources, TypeLibraryHeaderNameAndGuid)
{
    size_t bytes = 0;
    const uint8_t* tlb = Find("TYPELIB", 1, &bytes);
    ASSERT_NE(tlb, nullptr);
    ASSERT_GE(bytes, 0x54u + 15 * 16);
    EXPECT_EQ(ReadLe32(tlb + 0x00), 0x5446534Du);  // "MSFT"
    EXPECT_EQ(ReadLe32(tlb + 0x04), 0x00010002u);
    EXPECT_EQ(ReadLe32(tlb + 0x0C), 1033u);        // lcid
    EXPECT_EQ(ReadLe32(tlb + 0x14) & 0xF, 1u);     // SYS_WIN32
    EXPECT_EQ(ReadLe32(tlb + 0x18), 0x00000001u);  // 1.0: major low, minor high
    EXPECT_EQ(ReadLe32(tlb + 0x20), 0u);           // no type descriptions
    EXPECT_EQ(ReadLe32(tlb + 0x30), 1u);           // one name
    EXPECT_EQ(ReadLe32(tlb + 0x34), 14u);          // of 14 characters

    // Every segment lies inside the file; the name and GUID are where the
    // header says.
    const uint8_t* directory = tlb + 0x54;
    for (int segment = 0; segment < 15; ++segment) {
        uint32_t offset = ReadLe32(directory + 16 * segment);
        uint32_t length = ReadLe32(directory + 16 * segment + 4);
        if (offset != 0xFFFFFFFF) {
            EXPECT_LE(uint64_t{offset} + length, bytes) << "segment " << segment;
        } else {
            EXPECT_EQ(length, 0u) << "segment " << segment;
        }
    }
    const uint8_t* name = tlb + ReadLe32(directory + 16 * 7) + ReadLe32(tlb + 0x38);
    ASSERT_EQ(ReadLe32(name + 8) & 0xFF, 14u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name + 12), 14),
              expected_identity::kTypeLibraryName);
    const uint8_t* guid = tlb + ReadLe32(directory + 16 * 5) + ReadLe32(tlb + 0x08);
    EXPECT_EQ(ReadLe32(guid), expected_identity::kTypeLibraryGuidData1);
    EXPECT_EQ(ReadLe16(guid + 4), expected_identity::kTypeLibraryGuidData2);
    EXPECT_EQ(ReadLe16(guid + 6), expected_identity::kTypeLibraryGuidData3);
    EXPECT_TRUE(std::equal(guid + 8, guid + 16, expected_identity::kTypeLibraryGuidData4));
    EXPECT_EQ(ReadLe32(guid + 16), 0xFFFFFFFEu) << "marked as the library's own GUID";
}

TEST_F(Resources, StringBlockSevenHoldsString101Only)
{
    size_t bytes = 0;
    const uint8_t* block = Find("#6", 7, &bytes);
    ASSERT_NE(block, nullptr);
    size_t offset = 0;
    for (int slot = 0; slot < 16; ++slot) {
        ASSERT_LE(offset + 2, bytes);
        uint16_t units = ReadLe16(block + offset);
        if (96 + slot == 101) {
            EXPECT_EQ(Utf16(block + offset + 2, units), expected_identity::kString101);
        } else {
            EXPECT_EQ(units, 0) << "string " << 96 + slot;
        }
        offset += 2 + 2u * units;
    }
    EXPECT_EQ(offset, bytes);
}

TEST_F(Resources, WineReadsTheTypeLibrary)
{
    if (std::string(WINEDUMP).empty()) {
        GTEST_SKIP() << "winedump was not found when the build was configured "
                        "(Debian package wine64-tools)";
    }
    size_t bytes = 0;
    const uint8_t* tlb = Find("TYPELIB", 1, &bytes);
    ASSERT_NE(tlb, nullptr);
    std::string path = "/tmp/resources_test_" + std::to_string(getpid()) + ".tlb";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(tlb), static_cast<std::streamsize>(bytes));
    ProcessResult dump = RunProcess({WINEDUMP, path});
    std::remove(path.c_str());
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    for (const char* line :
         {"lcid = 00000409h", "syskind = SYS_WIN32", "version = 1.0", "name = \"OrvanePavonize\"",
          "guid = {b8e7bbe7-432a-4287-8c53-b4ff01e93a5c}"}) {
        EXPECT_NE(dump.out.find(line), std::string::npos) << line << "\n" << dump.out;
    }
}

// The names `nm` lists for the library, with `options`.
std::vector<std::string> LibrarySymbols(std::vector<std::string> options)
{
    options.insert(options.begin(), SYMBOL_LISTER);
    options.push_back(PAVONIZE_LIBRARY);
    ProcessResult symbols = RunProcess(options);
    EXPECT_EQ(symbols.exitStatus, 0) << symbols.err;
    std::vector<std::string> names;
    size_t start = 0;
    while (start < symbols.out.size()) {
        size_t end = symbols.out.find('\n', start);
        std::string line = symbols.out.substr(start, end - start);
        names.push_back(line.substr(line.find_last_of(' ') + 1));
        start = end == std::string::npos ? symbols.out.size() : end + 1;
    }
    return names;
}

TEST(Exports, TheLibraryExportsItsCallsAndItsEntryPointOnly)
{
    EXPECT_EQ(
        LibrarySymbols({"-D", "--defined-only"}),
        (std::vector<std::string>{"ModuleEntryPoint", "Pavonize", "PavonizeFile", "PavonizeMemory",
                                  "PavonizePixels", "PavonizeRelease", "PavonizeWriteFile"}));
}

// Nothing runs when the library is loaded or at exit, and the test seams
// live only in the tests' copies of the objects.
TEST(Exports, TheLibraryHasNoStaticInitialiserExitHandlerOrTestSeam)
{
    std::vector<std::string> all = LibrarySymbols({"--demangle=none"});
    // The full symbol table must be there to be searched (a stripped
    // library would pass for anything).
    ASSERT_NE(std::find(all.begin(), all.end(), "_Z17PlatformRandomRunPii"), all.end());
    std::vector<std::string> imported = LibrarySymbols({"-D", "--undefined-only"});
    all.insert(all.end(), imported.begin(), imported.end());
    for (const std::string& name : all) {
        for (const char* unwanted :
             {"_GLOBAL__sub_I", "atexit", "PlatformReplace", "PlatformIntercept",
              "PlatformInjectFault", "FaultInjected", "ShellReplace"}) {
            EXPECT_EQ(name.find(unwanted), std::string::npos) << name;
        }
    }
}

}  // namespace
