// Messages go to the standard output handle as they are. The C runtime's
// stdout would do, but in its default text mode it turns every line feed
// into CR LF, and hosts match the messages byte for byte.
#include "platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

void PlatformPrint(const char* text)
{
    // Whatever the host itself printed through the runtime comes first.
    std::fflush(stdout);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        return;  // a host without standard output
    }
    const char* rest = text;
    size_t length = std::strlen(text);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(output, rest, static_cast<DWORD>(length), &written, nullptr) ||
            written == 0) {
            return;
        }
        rest += written;
        length -= written;
    }
}
