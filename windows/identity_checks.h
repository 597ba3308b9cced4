// The module's identity resources as a Windows host reads them, through the
// platform's own version, string-table and type-library interfaces.
#pragma once

#include <string>

// GetFileVersionInfoW and VerQueryValueW: the fixed part, the translation
// and every key and value of the string table.
void CheckVersionBlock(const std::wstring& dll);
// LoadStringW on the loaded DLL: string 101 alone.
void CheckStringTable(const std::wstring& dll);
// LoadTypeLibEx on the DLL: name, version, locale, system kind and GUID.
void CheckTypeLibrary(const std::wstring& dll);
