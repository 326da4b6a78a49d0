#include "common/monotonic_clock.h"

#include <time.h>

namespace zephrin {

int64_t nowNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // The counter runs at 1 GHz here; going through the general conversion keeps one code path.
    constexpr int64_t kFrequency = 1000000000LL;
    return counterToNanoseconds(static_cast<int64_t>(ts.tv_sec) * kFrequency + ts.tv_nsec, kFrequency);
}

}  // namespace zephrin
