#include "quoting.h"

#include <cstdio>

namespace {

constexpr char kPlainCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+./,:@%=";

// How many bytes from `at` make one control character: C0 and DEL are one
// byte, a C1 control (U+0080 to U+009F) two in UTF-8; 0 for anything else.
size_t ControlLength(const std::string& text, size_t at)
{
    auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
        return 1;
    }
    if (byte == 0xC2 && at + 1 < text.size()) {
        auto next = static_cast<unsigned char>(text[at + 1]);
        return next >= 0x80 && next <= 0x9F ? 2 : 0;
    }
    return 0;
}

std::string Escaped(unsigned char byte)
{
    switch (byte) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\v':
        return "\\v";
    case '\f':
        return "\\f";
    case '\r':
        return "\\r";
    default: {
        char octal[8];
        std::snprintf(octal, sizeof octal, "\\%03o", byte);
        return octal;
    }
    }
}

}  // namespace

std::string QuotedName(const std::string& name)
{
    if (!name.empty() && name.find_first_not_of(kPlainCharacters) == std::string::npos) {
        return name;
    }
    // Runs of ordinary characters go in '...', runs of controls in $'...',
    // and a single quote stands alone as \'.
    enum class Run { None, Quoted, Escaped } run = Run::None;
    std::string shown;
    auto enter = [&](Run wanted) {
        if (run == wanted) {
            return;
        }
        if (run != Run::None) {
            shown += '\'';
        }
        if (wanted == Run::Quoted) {
            shown += '\'';
        } else if (wanted == Run::Escaped) {
            shown += "$'";
        }
        run = wanted;
    };
    for (size_t at = 0; at < name.size(); ++at) {
        size_t control = ControlLength(name, at);
        if (control > 0) {
            enter(Run::Escaped);
            for (size_t i = 0; i < control; ++i) {
                shown += Escaped(static_cast<unsigned char>(name[at + i]));
            }
            at += control - 1;
        } else if (name[at] == '\'') {
            enter(Run::None);
            shown += "\\'";
        } else {
            enter(Run::Quoted);
            shown += name[at];
        }
    }
    enter(Run::None);
    return shown.empty() ? "''" : shown;
}
