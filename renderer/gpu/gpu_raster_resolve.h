// CPU acceptance of the raster pass: the GPU's answer per pixel checked in double precision and
// against texture transparency, then written into the frame's per-pixel buffers exactly as the CPU
// band raster writes them.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_raster_records.h"
#include "renderer/gpu/gpu_raster_tiles.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Fills depth, coverage, alpha, the index arrays, the kept texture colours and masks and, when the
// frame keeps them, the VisiblePixel records, from `results` (one per raster pixel, row-major). The
// buffers must be freshly reset. A pixel whose GPU triangle covers every sample in double precision,
// is not contested and shows an opaque texel there is written from that triangle alone; every other pixel walks its
// tile's list in prepared order with the band raster's own rules, so that single-precision misses
// at triangle edges and transparent texels resolve as on the CPU.
void resolveGpuRaster(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                      const RasterTiles& tiles, const std::vector<RasterResult>& results, FrameBuffers& buffers);

// The same over rows firstRow .. endRow-1 only, for one worker.
void resolveGpuRasterRows(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                          const RasterTiles& tiles, const std::vector<RasterResult>& results, int32_t firstRow,
                          int32_t endRow, FrameBuffers& buffers);

}  // namespace zephrin
