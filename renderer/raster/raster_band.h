// The band raster: prepared triangles binned into bands of rows, and the per-band pixel pass with
// four- or seven-sample coverage and centroid sampling. Bands are the unit the workers share.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Rows per block of every row-parallel raster and shading loop; also sizes the frame's band count.
constexpr uint32_t kRasterRowBlock = 128;

// Prepared indices per band of rows, each list ascending.
struct RasterBands {
    std::vector<std::vector<int32_t>> bands;
};

// min(ceil(H / 128), hardware threads, 8), at least 1: the frame's band and worker count.
int32_t rasterBandCount(int32_t rasterHeight);
// How many bands each of `workers` workers rasterizes: several when the raster is tall enough, each
// worker taking every workers-th band. Work piles up where the surfaces are (a floor fills the lower
// half of a shot), so one band per worker would leave one worker with most of the frame; bands dealt
// in turns give each worker rows from every part of it. Bands never get thinner than
// kMinRasterBandRows rows, and a single worker keeps one band.
constexpr int32_t kMinRasterBandRows = 32;
constexpr int32_t kMaxRasterBandsPerWorker = 8;
int32_t rasterBandsPerWorker(int32_t rasterHeight, int32_t workers);
// The band that holds row y of a raster of `rasterHeight` rows split into `bandCount` bands.
int32_t rasterBandOfRow(int32_t y, int32_t rasterHeight, int32_t bandCount);
// First row of band b: floor(H * b / B). Band b ends where band b + 1 begins.
int32_t rasterBandFirstRow(int32_t band, int32_t rasterHeight, int32_t bandCount);
RasterBands binRasterBands(const std::vector<PreparedTriangle>& prepared, int32_t rasterHeight, int32_t bandCount);

// Called with each row of a band as soon as the band has drawn it, while the row's arrays are still
// in the cache: a frame whose shading of a pixel reads nothing but that pixel's records shades the
// row there instead of fetching every array again in a pass of its own.
struct RowFinished {
    void (*call)(const void* context, int32_t y) = nullptr;
    const void* context = nullptr;
};

// Pixel pass over rows firstRow .. endRow-1 for the prepared indices of one band. Writes
// VisiblePixel records only when buffers.visiblePixels is allocated.
void rasterBand(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                const std::vector<int32_t>& bandList, int32_t firstRow, int32_t endRow, FrameBuffers& buffers,
                const RowFinished& rowFinished = {});

}  // namespace zephrin
