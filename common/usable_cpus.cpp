#include "common/usable_cpus.h"

#include <sched.h>

#include <thread>

namespace zephrin {

uint32_t usableCpuCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<uint32_t>(count);
    }
    return std::thread::hardware_concurrency();
}

}  // namespace zephrin
