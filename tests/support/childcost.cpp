// SPDX-License-Identifier: GPL-3.0-or-later
#include "childcost.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantorel::test {

ChildCost decodeInChild(const std::function<bool()>& preview, const std::function<bool()>& viewer) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool shownSmall = preview();
        const bool shownWhole = viewer();
        ::_exit((shownSmall ? 1 : 0) | (shownWhole ? 2 : 0));
    }
    ChildCost cost;
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return cost;
    cost.exited = true;
    cost.preview = WEXITSTATUS(status) & 1;
    cost.viewer = WEXITSTATUS(status) & 2;
    cost.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    cost.peakMegabytes = double(usage.ru_maxrss) / 1024;
    return cost;
}

} // namespace vantorel::test
