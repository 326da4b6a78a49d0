// The raster pass's buffer records, byte for byte as its compute shader declares them (scalar block
// layout, little-endian). std430 would align each vec3 to 16 bytes; the explicit pads keep the
// layouts identical either way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephrin {

// One prepared triangle, in prepared order: corners in raster pixels with their inverse view depth.
struct RasterTriangle {
    float p0[3];  // screen x, screen y, 1/z
    float pad0;
    float p1[3];
    float pad1;
    float p2[3];
    float area;  // the prepared triangle's signed area term
    int32_t surfaceIndex;
    int32_t triangleIndex;
    int32_t clipTriangle;
    int32_t preparedIndex;
};

// One 4 x 4-pixel tile: its run of prepared indices in the tile index list.
struct RasterTile {
    uint32_t offset;
    uint32_t count;
};

// One pixel of the pass's output.
struct RasterResult {
    int32_t preparedIndex = -1;  // -1 when no triangle covers the pixel
    uint32_t coverageMask = 0;   // four-sample mask, bit i for sample i; kRasterContestedBit
};

// Set in a result's mask when another candidate's depth lies within single-precision reach of the
// winner's (surfaces crossing, neighbours meeting at a shared edge): only double precision can rank
// them, so the CPU walks that pixel's tile.
constexpr uint32_t kRasterContestedBit = 0x80000000u;

struct RasterParams {
    uint32_t width;
    uint32_t height;
    uint32_t tilesX;
    uint32_t tileSize;
    uint32_t triangleCount;
    uint32_t tileIndexCount;
    uint32_t pad0;
    uint32_t pad1;
};

static_assert(sizeof(RasterTriangle) == 64 && offsetof(RasterTriangle, p1) == 16 &&
                  offsetof(RasterTriangle, p2) == 32 && offsetof(RasterTriangle, area) == 44 &&
                  offsetof(RasterTriangle, surfaceIndex) == 48 && offsetof(RasterTriangle, preparedIndex) == 60,
              "RasterTriangle mirrors the shader's 64-byte record");
static_assert(sizeof(RasterTile) == 8 && offsetof(RasterTile, count) == 4, "RasterTile is 8 bytes");
static_assert(sizeof(RasterResult) == 8 && offsetof(RasterResult, coverageMask) == 4, "RasterResult is 8 bytes");
static_assert(sizeof(RasterParams) == 32 && offsetof(RasterParams, triangleCount) == 16, "raster Params is 32 bytes");

// Pixels per tile edge, and the shader's work group edge (8 x 8 threads, one per pixel).
constexpr uint32_t kRasterTileSize = 4;
constexpr uint32_t kRasterGroupSize = 8;

}  // namespace zephrin
