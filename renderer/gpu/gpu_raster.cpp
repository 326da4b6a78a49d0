#include "renderer/gpu/gpu_raster.h"

#include "renderer/gpu/gpu_raster_resolve.h"

namespace zephrin {

GpuRasterResult runGpuRaster(const std::vector<PreparedTriangle>& prepared, FrameBuffers& buffers,
                             const FrameScene& scene) {
    GpuRasterResult result;
    RasterTiles tiles;
    if (!buildRasterTiles(prepared, buffers.rasterWidth, buffers.rasterHeight, tiles)) return result;
    std::vector<RasterResult> pixels;
    if (!dispatchRaster(tiles, buffers.rasterWidth, buffers.rasterHeight, pixels, result.info)) return result;
    resolveGpuRaster(scene.surfaces, prepared, tiles, pixels, buffers);
    result.accepted = true;
    return result;
}

bool dispatchRaster(const RasterTiles& /*tiles*/, int32_t /*width*/, int32_t /*height*/,
                    std::vector<RasterResult>& /*results*/, GpuRunInfo& info) {
    info.failureReason = kNoGpuDeviceReason;
    return false;
}

}  // namespace zephrin
