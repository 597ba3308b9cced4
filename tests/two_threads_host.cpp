// two_threads_host IN1 OUT1 IN2 OUT2: a host that calls Pavonize from two
// threads at the same moment, one pair each. Exits 0 when both calls
// returned 999. Built under ThreadSanitizer, a data race anywhere in the
// library makes it report on standard error and exit with its own status.
#include <cstdio>
#include <latch>
#include <string>
#include <thread>

#include "orvanepavonize/orvanepavonize.h"
#include "utf8_to_utf16.h"

int main(int argc, char** argv)
{
    std::u16string paths[4];
    for (int i = 0; i < 4 && i + 1 < argc; ++i) {
        Utf8ToUtf16(argv[i + 1], &paths[i]);
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: two_threads_host IN1 OUT1 IN2 OUT2\n");
        return 2;
    }
    std::latch start(2);
    int32_t results[2] = {0, 0};
    auto call = [&](int pair) {
        start.arrive_and_wait();
        results[pair] = Pavonize(paths[2 * pair].c_str(), paths[2 * pair + 1].c_str());
    };
    std::thread first(call, 0);
    std::thread second(call, 1);
    first.join();
    second.join();
    return results[0] == PAVONIZE_DONE && results[1] == PAVONIZE_DONE ? 0 : 3;
}
