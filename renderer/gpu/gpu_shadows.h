// GPU shadow queries: every shadow ray the CPU shading would trace, traced at once on the GPU and
// cached per pixel and light for the shading pass to read.
#pragma once

#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/scene/frame_scene.h"

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

GpuPassResult runGpuShadows(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                            ShadowSampleCache& cache);

}  // namespace zephrin
