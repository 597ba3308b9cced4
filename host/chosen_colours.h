// The colours a run chooses for bands 0-3 (--colours): read from the
// command line, and set in each output after the library's save.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "#RRGGBB,RRGGBB,..." into palette entries 0-3 as a file holds them (blue,
// green, red, 0 each). False, with `problem` set, for anything else.
bool ParseColourList(const std::string& list, std::vector<uint8_t>* palette, std::string* problem);

// The error of a colour write that found no image of the library's own
// layout at the output: something else has taken its place.
constexpr int kNotTheSavedImage = -1;

// Sets palette entries 0-3 of a finished output to `palette` with one
// synced write. Returns 0, the errno of what failed, or kNotTheSavedImage.
int WriteChosenColours(const std::string& output, const std::vector<uint8_t>& palette);
