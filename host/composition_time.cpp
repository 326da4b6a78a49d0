#include "host/composition_time.h"

#include <cmath>

namespace zephrin::host {

namespace {

// Float noise in rate * duration (30 fps for 0.1 s is 3.0000000000000004) must not add a frame.
constexpr double kFrameCountSlack = 1e-6;

// 2^63 as a double: every double below it converts to int64 exactly enough, and none at or above it may.
constexpr double kInt64Limit = 9223372036854775808.0;

}  // namespace

int64_t compositionFrameCount(const Composition& comp) {
    double frames = std::ceil(comp.duration * comp.frameRate - kFrameCountSlack);
    if (std::isnan(frames)) return 1;
    if (frames >= kInt64Limit) return std::numeric_limits<int64_t>::max();
    return frames < 1.0 ? 1 : static_cast<int64_t>(frames);
}

}  // namespace zephrin::host
