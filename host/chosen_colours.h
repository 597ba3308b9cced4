// The colours a run chooses for bands 0-3 (--colours), read from the
// command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "#RRGGBB,RRGGBB,..." into red, green, blue of bands 0-3, as the library
// takes them. False, with `problem` set, for anything else.
bool ParseColourList(const std::string& list, std::vector<uint8_t>* colours, std::string* problem);
