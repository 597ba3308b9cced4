// dll_test_host: loads ORVANEPAVONIZE.dll as a Windows host does and checks
// what such a host relies on. Each call of Pavonize runs in a fresh copy of
// this program, so every call is the first of its process (the colours of a
// first call are the same on every platform) and a call that ends its
// process can be watched from outside.
//
//   dll_test_host DLL REFUSING_DLL SAMPLE REFERENCE SCRATCH
//       all checks; REFUSING_DLL is a copy of the DLL whose framework refuses
//       its registration, REFERENCE the native build's output for SAMPLE.
//   dll_test_host --call DLL INPUT OUTPUT
//       one call; prints "result N\n" after the library's messages (and, on
//       32-bit x86, how many argument bytes the callee removed).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "checks.h"
#include "expected_messages.h"
#include "framework_checks.h"
#include "host_support.h"
#include "identity_checks.h"
#include "orvanepavonize/orvanepavonize.h"
#include "stdcall_probe.h"

namespace {

using PavonizeFunction = decltype(&Pavonize);
using namespace expected_messages;

#if defined(__i386__)
const std::string kCallTail = "result 999\nremoved 8 argument bytes\n";
#else
const std::string kCallTail = "result 999\n";
#endif

template <typename Function>
Function ProcAs(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

int CallOnce(const std::wstring& dll, const std::wstring& input, const std::wstring& output)
{
    HMODULE module = LoadLibraryW(dll.c_str());
    if (module == nullptr) {
        std::fprintf(stderr, "LoadLibraryW failed: error %lu\n", GetLastError());
        return 3;
    }
    FARPROC proc = GetProcAddress(module, "Pavonize");
    if (proc == nullptr) {
        std::fprintf(stderr, "no export named Pavonize\n");
        return 3;
    }
    char line[64];
#if defined(__i386__)
    int32_t removed = -1;
    int32_t result = CallCountingRemovedBytes(reinterpret_cast<const void*>(proc), input.c_str(),
                                              output.c_str(), &removed);
    std::snprintf(line, sizeof line, "result %d\nremoved %d argument bytes\n",
                  static_cast<int>(result), static_cast<int>(removed));
#else
    int32_t result = ProcAs<PavonizeFunction>(proc)(input.c_str(), output.c_str());
    std::snprintf(line, sizeof line, "result %d\n", static_cast<int>(result));
#endif
    // Past the C runtime, whose text mode would add a CR to each line.
    WriteStandardOutput(line);
    FreeLibrary(module);
    return 0;
}

struct Paths {
    std::wstring dll;
    std::wstring sample;
    std::wstring scratch;
    std::wstring In(const std::wstring& name) const { return scratch + L"\\" + name; }
};

ChildResult Call(const Paths& paths, const std::wstring& input, const std::wstring& output)
{
    return RunSelf({L"--call", paths.dll, input, output});
}

void CheckSucceeded(const std::string& what, const ChildResult& child)
{
    Check(child.started && child.exitCode == 0 && child.out == kSuccess + kCallTail, what,
          "exit " + std::to_string(child.exitCode) + ", output " + Shown(child.out));
}

void CheckExports(const Paths& paths)
{
    HMODULE module = LoadLibraryW(paths.dll.c_str());
    Check(module != nullptr, "LoadLibraryW loads the DLL",
          "error " + std::to_string(GetLastError()));
    if (module == nullptr) {
        return;
    }
    FARPROC byName = GetProcAddress(module, "Pavonize");
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(1));
    Check(byName != nullptr && byName == byOrdinal,
          "Pavonize by name and by ordinal 1 is one address");
    Check(GetProcAddress(module, "_Pavonize@8") == nullptr &&
              GetProcAddress(module, "Pavonize@8") == nullptr &&
              GetProcAddress(module, MAKEINTRESOURCEA(2)) == nullptr,
          "no decorated name and no second export");
    FreeLibrary(module);
}

void CheckSample(const Paths& paths, const Bytes& reference)
{
    std::wstring output = paths.In(L"sample-recoloured.bmp");
    CheckSucceeded("the sample is recoloured and the call returns 999",
                   Call(paths, paths.sample, output));
    Bytes written = ReadFileBytes(output);
    Check(!reference.empty() && written == reference,
          "the output is byte for byte the native build's",
          std::to_string(written.size()) + " bytes against " + std::to_string(reference.size()));
}

void CheckFailures(const Paths& paths)
{
    std::wstring output = paths.In(L"never.bmp");
    ChildResult missing = Call(paths, paths.In(L"missing.bmp"), output);
    Check(missing.exitCode == 1 && missing.out == kInputFailed && !FileExists(output),
          "a missing input ends the process with status 1 and opens no output",
          "exit " + std::to_string(missing.exitCode) + ", output " + Shown(missing.out));

    ChildResult uncreatable = Call(paths, paths.sample, paths.In(L"no-such-folder\\out.bmp"));
    Check(uncreatable.exitCode == 1 && uncreatable.out == kOutputRefused,
          "an output that cannot be created ends the process with status 1",
          "exit " + std::to_string(uncreatable.exitCode) + ", output " + Shown(uncreatable.out));

    ChildResult directory = Call(paths, paths.sample, paths.scratch);
    Check(directory.exitCode == 1 && directory.out == kOutputRefused,
          "a folder as output ends the process with status 1", Shown(directory.out));
}

void CheckReplacement(const Paths& paths, const Bytes& sample, const Bytes& reference)
{
    std::wstring same = paths.In(L"same.bmp");
    std::wstring existing = paths.In(L"existing.bmp");
    WriteFileBytes(same, sample);
    WriteFileBytes(existing, {'o', 'l', 'd'});
    std::vector<std::wstring> before = ListDirectory(paths.scratch);

    CheckSucceeded("input and output may be one file", Call(paths, same, same));
    Check(ReadFileBytes(same) == reference, "the file is replaced by the recoloured image");
    SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_HIDDEN);
    CheckSucceeded("an existing output is replaced", Call(paths, paths.sample, existing));
    Check(ReadFileBytes(existing) == reference, "the existing output holds the recoloured image");
    Check((GetFileAttributesW(existing.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0,
          "the replaced output keeps its attributes");
    SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A second name: the file is rewritten in place, so both names hold the
    // new image, and what is left of a longer old file is cut off.
    std::wstring other = paths.In(L"other-name.bmp");
    WriteFileBytes(existing, Bytes(sample.size() + 100, 'o'));
    CreateHardLinkW(other.c_str(), existing.c_str(), nullptr);
    CheckSucceeded("a file with two names is recoloured", Call(paths, paths.sample, existing));
    Check(ReadFileBytes(other) == reference, "its other name holds the recoloured image too");
    DeleteFileW(other.c_str());

    // Read-only: refused before anything is written, as "wb" refuses it.
    std::wstring readOnly = paths.In(L"read-only.bmp");
    WriteFileBytes(readOnly, {'o', 'l', 'd'});
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    ChildResult refused = Call(paths, paths.sample, readOnly);
    Check(refused.exitCode == 1 && refused.out == kOutputRefused &&
              ReadFileBytes(readOnly) == Bytes{'o', 'l', 'd'},
          "a read-only output is refused and kept",
          "exit " + std::to_string(refused.exitCode) + ", output " + Shown(refused.out));
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(readOnly.c_str());

    // An input another program holds open for writing can still be read.
    HANDLE holder = CreateFileW(same.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring fromHeld = paths.In(L"from-held.bmp");
    CheckSucceeded("an input held open for writing elsewhere is read", Call(paths, same, fromHeld));
    CloseHandle(holder);
    DeleteFileW(fromHeld.c_str());
    Check(ListDirectory(paths.scratch) == before, "no temporary file is left behind");
}

bool InAnsiCodePage(const std::wstring& text)
{
    BOOL usedDefault = FALSE;
    char narrow[64];
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, narrow,
                                    sizeof narrow, nullptr, &usedDefault);
    return bytes > 0 && !usedDefault;
}

// The library opens files by their names in the ANSI code page: a name the
// code page holds works, a character it lacks becomes its default character
// and the file is not found.
void CheckAnsiPaths(const Paths& paths, const Bytes& sample, const Bytes& reference)
{
    std::printf("     ANSI code page %u\n", GetACP());
    for (const std::wstring& stem :
         {std::wstring(L"\u00e9t\u00e9"), std::wstring(L"\u4e2d\u6587")}) {
        std::wstring input = paths.In(stem + L".bmp");
        std::wstring output = paths.In(stem + L"-out.bmp");
        WriteFileBytes(input, sample);
        ChildResult child = Call(paths, input, output);
        if (InAnsiCodePage(stem)) {
            CheckSucceeded(Narrow(stem) + ".bmp, held by the code page, is recoloured", child);
            Check(ReadFileBytes(output) == reference, Narrow(stem) + "-out.bmp holds the image");
        } else {
            Check(child.exitCode == 1 && child.out == kInputFailed,
                  Narrow(stem) + ".bmp, outside the code page, cannot be opened",
                  "exit " + std::to_string(child.exitCode) + ", output " + Shown(child.out));
        }
    }
}

#if defined(__i386__)
int32_t __stdcall TakesTwoStdcall(const void*, const void*)
{
    return 1;
}
int32_t __cdecl TakesTwoCdecl(const void*, const void*)
{
    return 2;
}

// The probe behind "removed 8 argument bytes" must itself tell the two apart.
void CheckStdcallProbe()
{
    int32_t stdcallRemoved = -1;
    int32_t cdeclRemoved = -1;
    CallCountingRemovedBytes(reinterpret_cast<const void*>(&TakesTwoStdcall), nullptr, nullptr,
                             &stdcallRemoved);
    CallCountingRemovedBytes(reinterpret_cast<const void*>(&TakesTwoCdecl), nullptr, nullptr,
                             &cdeclRemoved);
    Check(stdcallRemoved == 8 && cdeclRemoved == 0,
          "the probe tells __stdcall (removes 8 bytes) from __cdecl (removes 0)");
}
#endif

int RunChecks(const Paths& paths, const std::wstring& refusingDll,
              const std::wstring& referencePath)
{
    bool haveReference = false;
    Bytes reference = ReadFileBytes(referencePath, &haveReference);
    Bytes sample = ReadFileBytes(paths.sample);
    if (!haveReference || sample.empty() || !EmptyDirectory(paths.scratch)) {
        std::fprintf(stderr,
                     "cannot read the sample or the reference, or empty the scratch folder\n");
        return 2;
    }
#if defined(__i386__)
    CheckStdcallProbe();
#endif
    // In this process: loading and unloading, and the identity resources.
    CheckRegistration(paths.dll);
    CheckRefusedAttach(refusingDll);
    CheckVersionBlock(paths.dll);
    CheckStringTable(paths.dll);
    CheckTypeLibrary(paths.dll);
    CheckExports(paths);
    // Each call in a process of its own.
    CheckSample(paths, reference);
    CheckFailures(paths);
    CheckReplacement(paths, sample, reference);
    CheckAnsiPaths(paths, sample, reference);
    std::printf("%d passed, %d failed\n", ChecksPassed(), ChecksFailed());
    return ChecksFailed() == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    if (arguments.size() == 4 && arguments[0] == L"--call") {
        return CallOnce(arguments[1], arguments[2], arguments[3]);
    }
    if (arguments.size() == 5) {
        return RunChecks(Paths{arguments[0], arguments[2], arguments[4]}, arguments[1],
                         arguments[3]);
    }
    std::fprintf(stderr,
                 "usage: dll_test_host DLL REFUSING_DLL SAMPLE REFERENCE SCRATCH\n"
                 "       dll_test_host --call DLL INPUT OUTPUT\n");
    return 2;
}
