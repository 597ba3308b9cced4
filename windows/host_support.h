// What the Windows test host needs from Windows: starting a copy of itself
// with its standard output captured, and plain file handling by wide path.
#pragma once

#include <string>
#include <vector>

struct ChildResult {
    bool started = false;
    unsigned long exitCode = 0;
    std::string out;  // the child's standard output, byte for byte
};

// Runs this program again with `arguments` and waits for it.
ChildResult RunSelf(const std::vector<std::wstring>& arguments);

// Writes bytes unchanged to standard output, past the C runtime's text mode.
void WriteStandardOutput(const std::string& text);

using Bytes = std::vector<unsigned char>;
// The file's bytes; `found` says whether it could be read.
Bytes ReadFileBytes(const std::wstring& path, bool* found = nullptr);
bool WriteFileBytes(const std::wstring& path, const Bytes& bytes);
bool FileExists(const std::wstring& path);
// Names of the entries of `directory`, sorted, without "." and "..".
std::vector<std::wstring> ListDirectory(const std::wstring& directory);
// Creates `directory` if needed and deletes the files in it.
bool EmptyDirectory(const std::wstring& directory);

// UTF-8 for messages.
std::string Narrow(const std::wstring& wide);
