#include "renderer/gpu/gpu_raster_tiles.h"

#include <limits>

namespace zephrin {

namespace {

constexpr uint64_t kMaxRecordCount = std::numeric_limits<uint32_t>::max();

void cornerOf(const ProjectedVertex& vertex, float out[3]) {
    out[0] = static_cast<float>(vertex.screenX);
    out[1] = static_cast<float>(vertex.screenY);
    out[2] = static_cast<float>(vertex.inverseZ);
}

}  // namespace

RasterTriangle rasterTriangleOf(const PreparedTriangle& triangle, int32_t preparedIndex) {
    RasterTriangle record{};
    cornerOf(triangle.vertices[0], record.p0);
    cornerOf(triangle.vertices[1], record.p1);
    cornerOf(triangle.vertices[2], record.p2);
    record.area = static_cast<float>(triangle.area);
    record.surfaceIndex = triangle.surfaceIndex;
    record.triangleIndex = triangle.triangleIndex;
    record.clipTriangle = triangle.clipTriangle;
    record.preparedIndex = preparedIndex;
    return record;
}

bool buildRasterTiles(const std::vector<PreparedTriangle>& prepared, int32_t width, int32_t height, RasterTiles& out) {
    out = RasterTiles{};
    if (prepared.empty() || prepared.size() > kMaxRecordCount || width <= 0 || height <= 0) return false;
    const uint64_t tilesX = (static_cast<uint64_t>(width) + kRasterTileSize - 1) / kRasterTileSize;
    const uint64_t tilesY = (static_cast<uint64_t>(height) + kRasterTileSize - 1) / kRasterTileSize;
    if (tilesX * tilesY > kMaxRecordCount) return false;

    // Bounds are clamped to the raster in preparation; clamping again keeps a stray record from
    // counting into a tile that does not exist.
    auto tileSpan = [&](const PreparedTriangle& t, uint64_t& x0, uint64_t& x1, uint64_t& y0, uint64_t& y1) {
        auto clampTo = [](int32_t v, int32_t size) {
            return static_cast<uint64_t>(v < 0 ? 0 : (v >= size ? size - 1 : v));
        };
        x0 = clampTo(t.minX, width) / kRasterTileSize;
        x1 = clampTo(t.maxX, width) / kRasterTileSize;
        y0 = clampTo(t.minY, height) / kRasterTileSize;
        y1 = clampTo(t.maxY, height) / kRasterTileSize;
        return t.minX <= t.maxX && t.minY <= t.maxY;
    };

    std::vector<uint64_t> counts(static_cast<size_t>(tilesX * tilesY), 0);
    out.triangles.reserve(prepared.size());
    for (size_t i = 0; i < prepared.size(); ++i) {
        const PreparedTriangle& t = prepared[i];
        out.triangles.push_back(rasterTriangleOf(t, static_cast<int32_t>(i)));
        uint64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        if (!tileSpan(t, x0, x1, y0, y1)) continue;
        for (uint64_t ty = y0; ty <= y1; ++ty) {
            for (uint64_t tx = x0; tx <= x1; ++tx) ++counts[static_cast<size_t>(ty * tilesX + tx)];
        }
    }

    out.tiles.resize(counts.size());
    uint64_t offset = 0;
    for (size_t k = 0; k < counts.size(); ++k) {
        if (offset > kMaxRecordCount || counts[k] > kMaxRecordCount - offset) {
            out = RasterTiles{};
            return false;
        }
        out.tiles[k] = RasterTile{static_cast<uint32_t>(offset), 0};
        offset += counts[k];
    }
    out.indices.resize(static_cast<size_t>(offset));
    for (size_t i = 0; i < prepared.size(); ++i) {
        uint64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        if (!tileSpan(prepared[i], x0, x1, y0, y1)) continue;
        for (uint64_t ty = y0; ty <= y1; ++ty) {
            for (uint64_t tx = x0; tx <= x1; ++tx) {
                RasterTile& tile = out.tiles[static_cast<size_t>(ty * tilesX + tx)];
                out.indices[tile.offset + tile.count++] = static_cast<uint32_t>(i);
            }
        }
    }
    out.tilesX = static_cast<uint32_t>(tilesX);
    out.tilesY = static_cast<uint32_t>(tilesY);
    return true;
}

}  // namespace zephrin
