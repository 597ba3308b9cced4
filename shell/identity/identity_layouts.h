// The module's identity resources in the platform's binary layouts.
#pragma once

#include "byte_writer.h"

// VS_VERSIONINFO with its fixed part, StringFileInfo and VarFileInfo.
Bytes BuildVersionBlock();
// A compiled type library in the MSFT layout, with no type descriptions.
Bytes BuildTypeLibrary();
// The string-table block that holds `stringId`: sixteen counted UTF-16
// strings, `stringId` among them and the rest empty.
Bytes BuildStringBlock(uint16_t stringId, const char* text);
