#include "apps/zephrin/thread_limit.h"

#include <OpenImageIO/imageio.h>
#include <sched.h>

#include <cerrno>
#include <cstring>

#include "common/usable_cpus.h"

namespace zephrin::app {

std::string limitThreads(int32_t threads) {
    cpu_set_t current;
    CPU_ZERO(&current);
    if (sched_getaffinity(0, sizeof current, &current) != 0) {
        return std::string("cannot read the CPU affinity: ") + std::strerror(errno);
    }
    cpu_set_t kept;
    CPU_ZERO(&kept);
    int32_t taken = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && taken < threads; ++cpu) {
        if (!CPU_ISSET(cpu, &current)) continue;
        CPU_SET(cpu, &kept);
        ++taken;
    }
    if (sched_setaffinity(0, sizeof kept, &kept) != 0) {
        return std::string("cannot set the CPU affinity: ") + std::strerror(errno);
    }
    OIIO::attribute("threads", static_cast<int>(usableCpuCount()));
    return {};
}

}  // namespace zephrin::app
