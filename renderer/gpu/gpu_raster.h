// GPU raster: the visibility search of the CPU band raster as a compute pass over the prepared
// triangles (binned into 4 x 4-pixel tiles), then checked on the CPU in double precision and against
// texture transparency, and written into the frame's buffers as the band raster writes them.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_context.h"
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

// Result buffers are never smaller than this many pixels, so small frames allocate once.
constexpr uint32_t kMinRasterResultCapacity = 65536;
// The most pixels one raster dispatch may cover (its result bytes stay within 32 bits).
constexpr uint32_t kMaxRasterResultCapacity = 0x1FFFFFFF;

// The result capacity for a target of `pixels`: kMinRasterResultCapacity, doubled until it holds
// them. 0 when the target is too large.
uint32_t rasterResultCapacity(uint64_t pixels);

// The device part: uploads the tiles, runs the shader over width x height pixels and reads back one
// RasterResult per pixel. Holds the context's lock throughout; false with the context's reason in
// `info` on any failure.
bool dispatchRaster(GpuContext& context, const RasterTiles& tiles, int32_t width, int32_t height,
                    std::vector<RasterResult>& results, GpuRunInfo& info);

}  // namespace zephrin
