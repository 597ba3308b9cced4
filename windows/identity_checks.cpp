#include "identity_checks.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <vector>

#include "checks.h"
#include "expected_identity.h"
#include "host_support.h"

namespace {

using expected_identity::kString101;
using expected_identity::kTypeLibraryGuid;
using expected_identity::kTypeLibraryName;
using expected_identity::kVersionStrings;
using expected_identity::VersionString;

const wchar_t kStringTablePath[] = L"\\StringFileInfo\\040904B0\\";

// The expected values are ASCII.
std::wstring Wide(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

const GUID kExpectedGuid = {
    expected_identity::kTypeLibraryGuidData1,
    expected_identity::kTypeLibraryGuidData2,
    expected_identity::kTypeLibraryGuidData3,
    {expected_identity::kTypeLibraryGuidData4[0], expected_identity::kTypeLibraryGuidData4[1],
     expected_identity::kTypeLibraryGuidData4[2], expected_identity::kTypeLibraryGuidData4[3],
     expected_identity::kTypeLibraryGuidData4[4], expected_identity::kTypeLibraryGuidData4[5],
     expected_identity::kTypeLibraryGuidData4[6], expected_identity::kTypeLibraryGuidData4[7]}};

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
    Check(fixed->dwFileVersionMS == expected_identity::kVersionHigh &&
              fixed->dwFileVersionLS == expected_identity::kVersionLow &&
              fixed->dwProductVersionMS == expected_identity::kVersionHigh &&
              fixed->dwProductVersionLS == expected_identity::kVersionLow,
          std::string("file and product version ") + expected_identity::kVersion,
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
        std::wstring got = QueryString(block, Wide(entry.key), &found);
        if (!found || got != Wide(entry.value)) {
            wrong +=
                std::string(" ") + entry.key + (found ? "=\"" + Narrow(got) + "\"" : " missing");
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
    Check(got == Wide(kString101), "LoadStringW gives string 101", Shown(Narrow(got)));
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
        Check(IsEqualGUID(attributes->guid, kExpectedGuid),
              std::string("GUID ") + kTypeLibraryGuid);
        library->ReleaseTLibAttr(attributes);
    } else {
        Check(false, "ITypeLib::GetLibAttr gives the library's attributes");
    }
    BSTR name = nullptr;
    library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    std::wstring libraryName = name ? name : L"";
    SysFreeString(name);
    Check(libraryName == Wide(kTypeLibraryName),
          std::string("the library is named ") + kTypeLibraryName, Shown(Narrow(libraryName)));
    Check(library->GetTypeInfoCount() == 0, "it holds no type descriptions");
    library->Release();
}
