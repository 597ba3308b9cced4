// Reading the --colours list.
#include "chosen_colours.h"

#include "command_line.h"
#include "quoting.h"

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

}  // namespace

bool ParseColourList(const std::string& list, std::vector<uint8_t>* colours, std::string* problem)
{
    const std::string wanted =
        "--colours takes four colours, #RRGGBB or RRGGBB, separated by commas";
    std::vector<std::string> given(1);
    for (char c : list) {
        if (c == ',') {
            given.emplace_back();
        } else {
            given.back() += c;
        }
    }
    if (given.size() * 3 != kChosenColoursBytes) {
        *problem = wanted + ": " + std::to_string(given.size()) + " given";
        return false;
    }
    colours->clear();
    for (const std::string& colour : given) {
        std::string digits = !colour.empty() && colour[0] == '#' ? colour.substr(1) : colour;
        int channels[3] = {};
        bool valid = digits.size() == 6;
        for (size_t i = 0; valid && i < 6; i += 2) {
            int high = HexDigit(digits[i]);
            int low = HexDigit(digits[i + 1]);
            valid = high >= 0 && low >= 0;
            channels[i / 2] = high * 16 + low;
        }
        if (!valid) {
            *problem = wanted + ": " + QuotedName(colour) + " is not one";
            return false;
        }
        for (int channel : channels) {
            colours->push_back(static_cast<uint8_t>(channel));
        }
    }
    return true;
}
