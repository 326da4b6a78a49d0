// GPU raster: the visibility search of the CPU band raster as a compute pass over the prepared
// triangles. The CPU checks its answers against texture transparency before they are used.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_run_info.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// One pixel of the pass's output (the shader's 8-byte result record).
struct GpuRasterPixel {
    int32_t preparedIndex = -1;  // -1 when no triangle covers the pixel
    uint32_t coverageMask = 0;
};

static_assert(sizeof(GpuRasterPixel) == 8, "GpuRasterPixel mirrors the shader's 8-byte result");

struct GpuRasterResult {
    bool accepted = false;  // the per-pixel buffers hold the GPU's visibility
    int32_t width = 0, height = 0;
    std::vector<GpuRasterPixel> pixels;  // row-major, width * height when accepted
    GpuRunInfo info;
};

GpuRasterResult runGpuRaster(const std::vector<PreparedTriangle>& prepared, FrameBuffers& buffers,
                             const FrameScene& scene);

}  // namespace zephrin
