// two_threads_host [--status] IN1 OUT1 IN2 OUT2: a host that recolours from
// two threads at the same moment, one pair each, with Pavonize or, with
// --status, with PavonizeFile; then a third thread forks while both
// calls may still run, and the child recolours IN1 into OUT1.child, as a
// host that forks at any moment would. Exits 0 when every call succeeded.
// Built under ThreadSanitizer, a data race anywhere in the library makes it
// report on standard error and exit with its own status.
#include <cstdio>
#include <cstring>
#include <latch>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "orvanepavonize/orvanepavonize.h"
#include "utf8_to_utf16.h"

namespace {

// A sanitizer's allocator lock, held by another thread at the fork, is never
// released in the child: only an uninstrumented build forks.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kForks = false;
#else
constexpr bool kForks = true;
#endif

// The child of a fork taken while other threads are inside the library:
// it must be able to make a call of its own.
bool ForkedChildRecolours(const char* input, const std::string& output)
{
    pid_t child = fork();
    if (child == 0) {
        _exit(PavonizeFile(input, output.c_str(), nullptr, nullptr) == PAVONIZE_OK ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool withStatus = argc == 6 && std::strcmp(argv[1], "--status") == 0;
    char** paths = argv + (withStatus ? 2 : 1);
    if (argc != (withStatus ? 6 : 5)) {
        std::fprintf(stderr, "usage: two_threads_host [--status] IN1 OUT1 IN2 OUT2\n");
        return 2;
    }
    std::u16string widePaths[4];
    for (int i = 0; i < 4; ++i) {
        Utf8ToUtf16(paths[i], &widePaths[i]);
    }
    std::latch start(3);
    bool done[2] = {false, false};
    auto call = [&](int pair) {
        start.arrive_and_wait();
        done[pair] = withStatus
                         ? PavonizeFile(paths[2 * pair], paths[2 * pair + 1], nullptr, nullptr) ==
                               PAVONIZE_OK
                         : Pavonize(widePaths[2 * pair].c_str(), widePaths[2 * pair + 1].c_str()) ==
                               PAVONIZE_DONE;
    };
    std::thread first(call, 0);
    std::thread second(call, 1);
    bool forked = true;
    std::thread forking([&] {
        start.arrive_and_wait();
        forked = !withStatus || !kForks ||
                 ForkedChildRecolours(paths[0], std::string(paths[1]) + ".child");
    });
    first.join();
    second.join();
    forking.join();
    return done[0] && done[1] && forked ? 0 : 3;
}
