// Binning for the raster pass: every prepared triangle listed in each 4 x 4-pixel tile its pixel
// bounds reach, so that a shader thread tests only the triangles of its own tile.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_raster_records.h"
#include "renderer/raster/raster_prepare.h"

namespace zephrin {

struct RasterTiles {
    uint32_t tilesX = 0, tilesY = 0;
    std::vector<RasterTriangle> triangles;  // one per prepared triangle, in prepared order
    std::vector<RasterTile> tiles;          // row-major over tiles
    std::vector<uint32_t> indices;          // each tile's prepared indices, ascending
};

// The record the shader reads for one prepared triangle.
RasterTriangle rasterTriangleOf(const PreparedTriangle& triangle, int32_t preparedIndex);

// False when there is nothing to bin, the size is not positive, or a count would not fit the
// records' 32-bit fields.
bool buildRasterTiles(const std::vector<PreparedTriangle>& prepared, int32_t width, int32_t height, RasterTiles& out);

}  // namespace zephrin
