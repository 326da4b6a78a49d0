#include "renderer/gpu/gpu_raster.h"

namespace zephrin {

GpuRasterResult runGpuRaster(const std::vector<PreparedTriangle>& /*prepared*/, FrameBuffers& /*buffers*/,
                             const FrameScene& /*scene*/) {
    GpuRasterResult result;
    result.info.failureReason = kNoGpuDeviceReason;
    return result;
}

}  // namespace zephrin
