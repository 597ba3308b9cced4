#include "checks.h"

#include <cstdio>

namespace {
int passed = 0;
int failed = 0;
}  // namespace

void Check(bool good, const std::string& what, const std::string& detail)
{
    (good ? passed : failed) += 1;
    bool explain = !good && !detail.empty();
    std::printf("%s %s%s%s\n", good ? "ok  " : "FAIL", what.c_str(), explain ? ": " : "",
                explain ? detail.c_str() : "");
}

int ChecksPassed()
{
    return passed;
}

int ChecksFailed()
{
    return failed;
}

std::string Shown(const std::string& text)
{
    std::string shown;
    for (char c : text) {
        shown += c == '\n'   ? std::string("\\n")
                 : c == '\r' ? std::string("\\r")
                             : std::string(1, c);
    }
    return "\"" + shown + "\"";
}
