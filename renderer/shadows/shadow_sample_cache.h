// Shadow rays answered ahead of shading, one per pixel and light: the GPU shadow pass traces them all
// at once, and shading reads the answers instead of tracing its own.
#pragma once

#include <cstdint>
#include <vector>

namespace zephrin {

struct ShadowSample {
    float distance = 0.0f;  // distance of the hit used
    bool valid = false;
    bool hit = false;
};

// pixel count * light count records, index pixel * lightCount + light; empty or all invalid when
// the GPU did not answer, and the CPU then traces the rays itself.
struct ShadowSampleCache {
    int32_t lightCount = 0;
    std::vector<ShadowSample> samples;
};

}  // namespace zephrin
