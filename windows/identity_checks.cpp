#include "identity_checks.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <vector>

#include "checks.h"
#include "host_support.h"

namespace {

struct VersionString {
    const wchar_t* key;
    const wchar_t* value;
};

// Every key the string table must hold, empty values included.
const VersionString kVersionStrings[] = {
    {L"CompanyName", L""},
    {L"FileDescription", L"OrvanePavonize DLL"},
    {L"FileVersion", L"1, 0, 0, 1"},
    {L"InternalName", L"OrvanePavonize"},
    {L"LegalCopyright", L"Copyright (C) 2026 the OrvanePavonize developers"},
    {L"LegalTrademarks", L""},
    {L"OriginalFilename", L"OrvanePavonize.DLL"},
    {L"ProductName", L"OrvanePavonize Dynamic Link Library"},
    {L"ProductVersion", L"1, 0, 0, 1"},
    {L"OLESelfRegister", L""},
};

const wchar_t kStringTablePath[] = L"\\StringFileInfo\\040904B0\\";

// {B8E7BBE7-432A-4287-8C53-B4FF01E93A5C}
const GUID kTypeLibraryGuid = {
    0xB8E7BBE7, 0x432A, 0x4287, {0x8C, 0x53, 0xB4, 0xFF, 0x01, 0xE9, 0x3A, 0x5C}};

std::string Hex(unsigned long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

// The value VerQueryValueW gives for a string-table key; `found` says
// whether it gave one.
std::wstring QueryString(const std::vector<BYTE>& block, const std::wstring& key, bool* found)
{
    void* value = nullptr;
    UINT units = 0;
    std::wstring path = kStringTablePath + key;
    *found = VerQueryValueW(block.data(), path.c_str(), &value, &units) && value != nullptr;
    if (!*found) {
        return L"";
    }
    // The count includes the terminator where there is one.
    const auto* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, units));
}

void CheckFixedPart(const std::vector<BYTE>& block)
{
    void* value = nullptr;
    UINT bytes = 0;
    bool found =
        VerQueryValueW(block.data(), L"\\", &value, &bytes) && bytes == sizeof(VS_FIXEDFILEINFO);
    Check(found, "VerQueryValueW gives the fixed part", std::to_string(bytes) + " bytes");
    if (!found) {
        return;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    Check(fixed->dwSignature == 0xFEEF04BD && fixed->dwStrucVersion == 0x00010000,
          "the fixed part's signature and layout version",
          Hex(fixed->dwSignature) + ", " + Hex(fixed->dwStrucVersion));
    Check(fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00000001 &&
              fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00000001,
          "file and product version 1.0.0.1",
          Hex(fixed->dwFileVersionMS) + " " + Hex(fixed->dwFileVersionLS) + ", " +
              Hex(fixed->dwProductVersionMS) + " " + Hex(fixed->dwProductVersionLS));
    Check(fixed->dwFileFlagsMask == 0x3F && fixed->dwFileFlags == 0, "flags 0 under mask 0x3F",
          Hex(fixed->dwFileFlags) + " under " + Hex(fixed->dwFileFlagsMask));
    Check(fixed->dwFileOS == VOS__WINDOWS32 && fixed->dwFileType == VFT_DLL &&
              fixed->dwFileSubtype == 0 && fixed->dwFileDateMS == 0 && fixed->dwFileDateLS == 0,
          "32-bit Windows, a DLL, subtype 0, no date",
          Hex(fixed->dwFileOS) + ", " + Hex(fixed->dwFileType) + ", " + Hex(fixed->dwFileSubtype));
}

}  // namespace

void CheckVersionBlock(const std::wstring& dll)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    std::vector<BYTE> block(size);
    bool read = size > 0 && GetFileVersionInfoW(dll.c_str(), 0, size, block.data());
    Check(read, "GetFileVersionInfoW reads the version block",
          "error " + std::to_string(GetLastError()));
    if (!read) {
        return;
    }
    CheckFixedPart(block);

    void* value = nullptr;
    UINT bytes = 0;
    bool translated =
        VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &bytes) && bytes == 4;
    const auto* words = static_cast<const WORD*>(value);
    Check(translated && words[0] == 0x0409 && words[1] == 0x04B0,
          "one translation: language 0x0409, code page 0x04B0", std::to_string(bytes) + " bytes");

    std::string wrong;
    for (const VersionString& entry : kVersionStrings) {
        bool found = false;
        std::wstring got = QueryString(block, entry.key, &found);
        if (!found || got != entry.value) {
            wrong += " " + Narrow(entry.key) + (found ? "=\"" + Narrow(got) + "\"" : " missing");
        }
    }
    Check(wrong.empty(), "VerQueryValueW gives every key of string table 040904B0 its value",
          wrong);
    bool found = false;
    QueryString(block, L"Comments", &found);
    Check(!found, "a key the table lacks is not found");
}

void CheckStringTable(const std::wstring& dll)
{
    HMODULE module = LoadLibraryW(dll.c_str());
    if (module == nullptr) {
        Check(false, "LoadLibraryW loads the DLL", "error " + std::to_string(GetLastError()));
        return;
    }
    wchar_t text[128] = {};
    int units = LoadStringW(module, 101, text, static_cast<int>(std::size(text)));
    std::wstring got(text, units > 0 ? units : 0);
    Check(got == L"Windows sockets initialization failed.", "LoadStringW gives string 101",
          Shown(Narrow(got)));
    Check(LoadStringW(module, 100, text, static_cast<int>(std::size(text))) == 0 &&
              LoadStringW(module, 102, text, static_cast<int>(std::size(text))) == 0,
          "strings 100 and 102, in the same block, are empty");
    FreeLibrary(module);
}

void CheckTypeLibrary(const std::wstring& dll)
{
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(dll.c_str(), REGKIND_NONE, &library);
    Check(SUCCEEDED(result) && library != nullptr, "LoadTypeLibEx reads the DLL's type library",
          Hex(static_cast<unsigned long>(result)));
    if (library == nullptr) {
        return;
    }
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        Check(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0, "version 1.0",
              std::to_string(attributes->wMajorVerNum) + "." +
                  std::to_string(attributes->wMinorVerNum));
        Check(attributes->lcid == 1033, "LCID 1033", std::to_string(attributes->lcid));
        Check(attributes->syskind == SYS_WIN32, "SYS_WIN32",
              std::to_string(static_cast<int>(attributes->syskind)));
        Check(IsEqualGUID(attributes->guid, kTypeLibraryGuid),
              "GUID {B8E7BBE7-432A-4287-8C53-B4FF01E93A5C}");
        library->ReleaseTLibAttr(attributes);
    } else {
        Check(false, "ITypeLib::GetLibAttr gives the library's attributes");
    }
    BSTR name = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    std::wstring libraryName = name ? name : L"";
    SysFreeString(name);
    Check(libraryName == L"OrvanePavonize", "the library is named OrvanePavonize",
          Shown(Narrow(libraryName)));
    Check(library->GetTypeInfoCount() == 0, "it holds no type descriptions");
    library->Release();
}
