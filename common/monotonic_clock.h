// Nanosecond time stamps from the monotonic performance counter.
#pragma once

#include <cstdint>

namespace zephrin {

// Converts a counter value n at frequency f to nanoseconds without overflowing for large n.
// A 10 MHz counter (the common case) is a plain multiplication.
inline int64_t counterToNanoseconds(int64_t counter, int64_t frequency) {
    if (frequency == 10000000) return counter * 100;
    if (frequency <= 0) return 0;
    return (counter / frequency) * 1000000000LL + ((counter % frequency) * 1000000000LL) / frequency;
}

int64_t nowNanoseconds();

// Milliseconds between two stamps, as logged.
inline double millisecondsBetween(int64_t earlier, int64_t later) {
    return static_cast<double>(later - earlier) / 1e6;
}

}  // namespace zephrin
