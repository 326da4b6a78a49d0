// GPU raster: the visibility search of the CPU band raster as a compute pass over the prepared
// triangles (binned into 4 x 4-pixel tiles), then checked on the CPU in double precision and against
// texture transparency, and written into the frame's buffers as the band raster writes them.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_raster_records.h"
#include "renderer/gpu/gpu_raster_tiles.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

struct GpuRasterResult {
    bool accepted = false;  // the per-pixel buffers hold the resolved GPU visibility
    GpuRunInfo info;
};

// The buffers must be freshly allocated (nothing rasterized yet). On false they are untouched and
// info.failureReason says why (empty: no reason was given).
GpuRasterResult runGpuRaster(const std::vector<PreparedTriangle>& prepared, FrameBuffers& buffers,
                             const FrameScene& scene);

// The device part: uploads the tiles, runs the shader over width x height pixels and reads back one
// RasterResult per pixel, under the GPU context's lock.
bool dispatchRaster(const RasterTiles& tiles, int32_t width, int32_t height, std::vector<RasterResult>& results,
                    GpuRunInfo& info);

}  // namespace zephrin
