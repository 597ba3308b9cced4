#include "progress.h"

#include <cstdio>

#include "quoting.h"

void ShowProgress(Progress* progress, size_t index, const HostRequest& request)
{
    if (progress->enabled) {
        std::fprintf(stderr, "\r[%zu/%zu] %s\033[K", index + 1, request.jobs.size(),
                     QuotedName(request.jobs[index].input).c_str());
        progress->shown = true;
    }
}

void ClearProgress(Progress* progress)
{
    if (progress->shown) {
        std::fputs("\r\033[K", stderr);
        progress->shown = false;
    }
}
