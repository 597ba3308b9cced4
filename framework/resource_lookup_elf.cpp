#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include "byte_order.h"
#include "framework_internal.h"
#include "loader.h"
#include "resource_container.h"

namespace {

struct NoteSearch {
    ElfW(Addr) base;
    const uint8_t* descriptor;
    size_t descriptorBytes;
};

size_t AlignUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Looks through one PT_NOTE segment for the resource note.
bool FindResourceNote(const uint8_t* notes, size_t noteBytes, size_t alignment, NoteSearch* search)
{
    size_t offset = 0;
    while (offset + 12 <= noteBytes) {
        uint32_t nameBytes = ReadLe32(notes + offset);
        uint32_t descriptorBytes = ReadLe32(notes + offset + 4);
        uint32_t type = ReadLe32(notes + offset + 8);
        size_t name = offset + 12;
        size_t descriptor = name + AlignUp(nameBytes, alignment);
        size_t next = descriptor + AlignUp(descriptorBytes, alignment);
        if (next > noteBytes) {
            return false;
        }
        if (type == kResourceNoteType && nameBytes == sizeof kResourceNoteOwner &&
            std::memcmp(notes + name, kResourceNoteOwner, nameBytes) == 0) {
            search->descriptor = notes + descriptor;
            search->descriptorBytes = descriptorBytes;
            return true;
        }
        offset = next;
    }
    return false;
}

int VisitLoadedObject(dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<NoteSearch*>(data);
    if (info->dlpi_addr != search->base) {
        return 0;
    }
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_NOTE) {
            continue;
        }
        auto* notes = reinterpret_cast<const uint8_t*>(info->dlpi_addr + header.p_vaddr);
        size_t alignment = header.p_align == 8 ? 8 : 4;
        if (FindResourceNote(notes, header.p_memsz, alignment, search)) {
            return 1;
        }
    }
    return 1;
}

}  // namespace

const uint8_t* FrameworkFindResource(LoadedLibrary* library, const char* type, uint16_t id,
                                     uint16_t language, size_t* byteCount)
{
    *byteCount = 0;
    link_map* map = nullptr;
    if (library == nullptr || dlinfo(LoaderLibraryHandle(library), RTLD_DI_LINKMAP, &map) != 0) {
        return nullptr;
    }
    NoteSearch search{map->l_addr, nullptr, 0};
    dl_iterate_phdr(VisitLoadedObject, &search);
    if (search.descriptor == nullptr || search.descriptorBytes < kResourceDirectoryHeaderBytes) {
        return nullptr;
    }
    const uint8_t* directory = search.descriptor;
    uint32_t entryCount = ReadLe32(directory);
    if (entryCount >
        (search.descriptorBytes - kResourceDirectoryHeaderBytes) / kResourceEntryBytes) {
        return nullptr;
    }
    size_t typeLength = std::strlen(type);
    if (typeLength >= kResourceTypeBytes) {
        return nullptr;
    }
    for (uint32_t i = 0; i < entryCount; ++i) {
        const uint8_t* entry = directory + kResourceDirectoryHeaderBytes + i * kResourceEntryBytes;
        const uint8_t* fields = entry + kResourceTypeBytes;
        if (std::memcmp(entry, type, typeLength + 1) != 0 || ReadLe16(fields) != id ||
            ReadLe16(fields + 2) != language) {
            continue;
        }
        uint32_t offset = ReadLe32(fields + 4);
        uint32_t size = ReadLe32(fields + 8);
        if (offset > search.descriptorBytes || size > search.descriptorBytes - offset) {
            return nullptr;
        }
        *byteCount = size;
        return directory + offset;
    }
    return nullptr;
}
