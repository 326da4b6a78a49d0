#include "renderer/gpu/gpu_raster_resolve.h"

#include <algorithm>

#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

namespace {

constexpr uint8_t kFullFourSampleMask = 0x0F;

VisiblePixel visiblePixelOf(const PreparedTriangle& triangle, const SceneSurface& surface, const WinningFragment& won) {
    const FragmentPoint point = interpolateFragmentPoint(triangle, surface, won.weights);
    const BaseColor base = unpackBaseColor(won.color, 1.0);
    VisiblePixel record;
    const Vec3* vectors[2] = {&point.worldPosition, &point.worldNormal};
    float* targets[2] = {record.worldPosition, record.worldNormal};
    for (int k = 0; k < 2; ++k) {
        targets[k][0] = static_cast<float>(vectors[k]->x);
        targets[k][1] = static_cast<float>(vectors[k]->y);
        targets[k][2] = static_cast<float>(vectors[k]->z);
    }
    record.baseColor[0] = static_cast<float>(base.red);
    record.baseColor[1] = static_cast<float>(base.green);
    record.baseColor[2] = static_cast<float>(base.blue);
    record.alpha = static_cast<float>(won.alpha);
    return record;
}

struct ResolveContext {
    const std::vector<SceneSurface>& surfaces;
    const std::vector<PreparedTriangle>& prepared;
    FrameBuffers& buffers;
    WinnerIndices& winners;
    bool keepsVisiblePixels;
};

// One candidate through the band raster's depth, same-surface and alpha rules; true when it won.
bool offer(ResolveContext& c, int32_t preparedIndex, const PixelCoverage& coverage, int32_t x, int32_t y) {
    const PreparedTriangle& triangle = c.prepared[static_cast<size_t>(preparedIndex)];
    WinningFragment won;
    if (!rasterizeFragment(c.surfaces, triangle, preparedIndex, coverage, x, y, c.buffers, c.winners, won)) {
        return false;
    }
    if (c.keepsVisiblePixels) {
        const size_t pixel =
            static_cast<size_t>(y) * static_cast<size_t>(c.buffers.rasterWidth) + static_cast<size_t>(x);
        c.buffers.visiblePixels[pixel] =
            visiblePixelOf(triangle, c.surfaces[static_cast<size_t>(triangle.surfaceIndex)], won);
    }
    return true;
}

}  // namespace

void resolveGpuRasterRows(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                          const RasterTiles& tiles, const std::vector<RasterResult>& results, int32_t firstRow,
                          int32_t endRow, FrameBuffers& buffers) {
    const size_t pixels = buffers.pixelCount();
    if (!hasRasterTargets(buffers) || results.size() != pixels) return;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, buffers.rasterHeight);
    if (firstRow >= endRow) return;
    WinnerIndices winners;
    bindWinnerIndices(buffers, firstRow, endRow, winners);
    ResolveContext c{surfaces, prepared, buffers, winners, buffers.visiblePixels.size() == pixels};
    const auto width = static_cast<size_t>(buffers.rasterWidth);

    for (int32_t y = firstRow; y < endRow; ++y) {
        for (int32_t x = 0; x < buffers.rasterWidth; ++x) {
            const size_t pixel = static_cast<size_t>(y) * width + static_cast<size_t>(x);
            const int32_t chosen = results[pixel].preparedIndex;
            const bool contested = (results[pixel].coverageMask & kRasterContestedBit) != 0;
            if (chosen >= 0 && static_cast<size_t>(chosen) < prepared.size() && !contested) {
                // A triangle that covers the whole pixel leaves no room for a neighbour's samples: no
                // other fragment of its surface can merge in, and the GPU has already ranked the
                // depths of every other surface.
                const PixelCoverage coverage = coverPixel(prepared[static_cast<size_t>(chosen)], x, y);
                if (coverage.mask == kFullFourSampleMask && offer(c, chosen, coverage, x, y)) continue;
            }
            const size_t tile =
                (static_cast<size_t>(y) / kRasterTileSize) * tiles.tilesX + static_cast<size_t>(x) / kRasterTileSize;
            if (tile >= tiles.tiles.size()) continue;
            const RasterTile& run = tiles.tiles[tile];
            for (uint32_t k = 0; k < run.count; ++k) {
                const auto preparedIndex = static_cast<int32_t>(tiles.indices[run.offset + k]);
                const PreparedTriangle& triangle = prepared[static_cast<size_t>(preparedIndex)];
                if (x < triangle.minX || x > triangle.maxX || y < triangle.minY || y > triangle.maxY) continue;
                const PixelCoverage coverage = coverPixel(triangle, x, y);
                if (coverage.mask != 0) offer(c, preparedIndex, coverage, x, y);
            }
        }
    }
}

void resolveGpuRaster(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                      const RasterTiles& tiles, const std::vector<RasterResult>& results, FrameBuffers& buffers) {
    const auto rows = static_cast<uint32_t>(std::max(buffers.rasterHeight, 0));
    auto body = [&](uint32_t begin, uint32_t end) {
        resolveGpuRasterRows(surfaces, prepared, tiles, results, static_cast<int32_t>(begin), static_cast<int32_t>(end),
                             buffers);
    };
    parallelFor(rows, kRasterRowBlock, body);
}

}  // namespace zephrin
