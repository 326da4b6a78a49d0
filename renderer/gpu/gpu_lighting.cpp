#include "renderer/gpu/gpu_lighting.h"

namespace zephrin {

GpuPassResult runGpuLighting(FrameBuffers& /*buffers*/, const FrameScene& /*scene*/, const ShadowBvh& /*bvh*/,
                             const std::vector<ShadowMap>& /*shadowMaps*/) {
    GpuPassResult result;
    result.info.failureReason = kNoGpuDeviceReason;
    return result;
}

}  // namespace zephrin
