#include "renderer/gpu/gpu_shadows.h"

namespace zephrin {

GpuPassResult runGpuShadows(const FrameBuffers& /*buffers*/, const FrameScene& /*scene*/, const ShadowBvh& /*bvh*/,
                            ShadowSampleCache& cache) {
    cache.samples.clear();
    GpuPassResult result;
    result.info.failureReason = kNoGpuDeviceReason;
    return result;
}

}  // namespace zephrin
