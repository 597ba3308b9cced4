// Build step: writes the module's identity resources in the platform's
// binary layouts, in the container the platform carries them in: each as its
// own file (resource-files, for a resource compiler to embed as they are),
// or a C++ source that carries all three in the library's resource note
// (elf-note).
//
// usage: generate_identity elf-note|resource-files OUTPUT_DIRECTORY
#include <cstdio>
#include <cstring>
#include <string>

#include "identity_layouts.h"
#include "identity_values.h"
#include "resource_container.h"

namespace {

struct Resource {
    const char* type;
    uint16_t id;
    const char* fileName;
    Bytes bytes;
};

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

Bytes ResourceNote(const Resource* resources, size_t count)
{
    Bytes descriptor;
    Append32(descriptor, static_cast<uint32_t>(count));
    size_t offset = kResourceDirectoryHeaderBytes + count * kResourceEntryBytes;
    for (size_t i = 0; i < count; ++i) {
        char type[kResourceTypeBytes] = {};
        std::strncpy(type, resources[i].type, sizeof type - 1);
        descriptor.insert(descriptor.end(), type, type + sizeof type);
        Append16(descriptor, resources[i].id);
        Append16(descriptor, identity::kLanguage);
        Append32(descriptor, static_cast<uint32_t>(offset));
        Append32(descriptor, static_cast<uint32_t>(resources[i].bytes.size()));
        offset += (resources[i].bytes.size() + 3) / 4 * 4;
    }
    for (size_t i = 0; i < count; ++i) {
        AppendBytes(descriptor, resources[i].bytes);
        PadToFour(descriptor);
    }

    Bytes note;
    Append32(note, sizeof kResourceNoteOwner);
    Append32(note, static_cast<uint32_t>(descriptor.size()));
    Append32(note, kResourceNoteType);
    note.insert(note.end(), kResourceNoteOwner, kResourceNoteOwner + sizeof kResourceNoteOwner);
    PadToFour(note);
    AppendBytes(note, descriptor);
    return note;
}

// The note goes in an allocated ".note" section, which the linker maps in a
// PT_NOTE segment where the framework's resource look-up finds it.
std::string NoteSource(const Bytes& note)
{
    std::string source =
        "// Written by generate_identity; the values live in identity_values.h.\n"
        "#include <cstdint>\n\n"
        "__attribute__((section(\".note.resources\"), used, aligned(4)))\n"
        "static const uint8_t identityResourceNote[] = {";
    char byte[16];
    for (size_t i = 0; i < note.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%s0x%02X,", i % 12 == 0 ? "\n    " : " ", note[i]);
        source += byte;
    }
    source += "\n};\n";
    return source;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string container = argc == 3 ? argv[1] : "";
    if (container != "elf-note" && container != "resource-files") {
        std::fprintf(stderr, "usage: generate_identity elf-note|resource-files OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[2];
    const Resource resources[] = {
        {kResourceTypeVersion, identity::kVersionResourceId, "version.bin", BuildVersionBlock()},
        {"TYPELIB", identity::kTypeLibraryResourceId, "typelib.tlb", BuildTypeLibrary()},
        {kResourceTypeString, identity::StringBlockId(identity::kSocketsFailedStringId),
         "strings.bin",
         BuildStringBlock(identity::kSocketsFailedStringId, identity::kSocketsFailedString)},
    };
    if (container == "resource-files") {
        for (const Resource& resource : resources) {
            if (!WriteFile(directory + "/" + resource.fileName, resource.bytes)) {
                std::fprintf(stderr, "generate_identity: cannot write %s\n", resource.fileName);
                return 1;
            }
        }
        return 0;
    }
    std::string source = NoteSource(ResourceNote(resources, std::size(resources)));
    if (!WriteFile(directory + "/identity_resources.cpp", Bytes(source.begin(), source.end()))) {
        std::fprintf(stderr, "generate_identity: cannot write identity_resources.cpp\n");
        return 1;
    }
    return 0;
}
