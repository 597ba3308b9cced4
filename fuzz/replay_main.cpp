// fuzz_replay [--expect-recoloured] PATH...: runs every file (or every file
// in each folder) through the same whole path as the fuzzer, without
// libFuzzer. A broken promise aborts; with --expect-recoloured, any refused
// input fails the run too (used on the seed corpus, which is all valid).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "whole_path.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void CollectFiles(const fs::path& path, std::vector<fs::path>* files)
{
    if (fs::is_directory(path)) {
        std::vector<fs::path> inside;
        for (const auto& entry : fs::directory_iterator(path)) {
            if (entry.is_regular_file()) {
                inside.push_back(entry.path());
            }
        }
        std::sort(inside.begin(), inside.end());
        files->insert(files->end(), inside.begin(), inside.end());
    } else {
        files->push_back(path);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    bool expectRecoloured = false;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect-recoloured") == 0) {
            expectRecoloured = true;
        } else {
            CollectFiles(argv[i], &files);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "fuzz_replay: no input files\n");
        return 2;
    }
    PrepareWholePath();
    int recoloured = 0;
    int refused = 0;
    for (const fs::path& file : files) {
        std::vector<uint8_t> bytes = ReadAll(file);
        if (RecolourWholePath(bytes.data(), bytes.size()) == WholePathOutcome::Recoloured) {
            ++recoloured;
        } else {
            ++refused;
            if (expectRecoloured) {
                std::fprintf(stderr, "refused: %s\n", file.c_str());
            }
        }
    }
    std::fprintf(stderr, "replayed %zu inputs: %d recoloured, %d refused\n", files.size(),
                 recoloured, refused);
    return expectRecoloured && refused > 0 ? 1 : 0;
}
