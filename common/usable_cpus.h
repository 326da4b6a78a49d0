// How many CPUs this process may run on. Containers, farm slots and `taskset` hand a process a few of
// the machine's cores through its CPU affinity; the hardware thread count would overcommit them.
#pragma once

#include <cstdint>

namespace zephrin {

// The CPUs in the calling thread's affinity mask; the hardware thread count where the platform cannot
// say; 0 only when neither is known.
uint32_t usableCpuCount();

}  // namespace zephrin
