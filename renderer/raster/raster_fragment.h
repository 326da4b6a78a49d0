// Per-pixel work of the rasterizer, shared by the band raster, deferred shading and the per-triangle
// path so that every path covers (raster_coverage.h), interpolates, resolves and colours a fragment
// the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "renderer/raster/raster_coverage.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/texture/clamps.h"
#include "renderer/texture/pixel_formats.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

// Perspective weight sums at or below this belong to points at (or past) infinity.
constexpr double kMinInverseDepthSum = 1e-9;
// Fragments this transparent are not drawn and hide nothing behind them.
constexpr double kTransparentAlpha = 0.001;
// Coplanar fragments of one surface are told apart within this depth band (relative, with a floor).
constexpr double kSameSurfaceDepthEpsilonRel = 1e-6;
constexpr double kSameSurfaceDepthEpsilonAbs = 1e-5;
// Side walls in the thickness colour win over nearly transparent front or back texels they touch.
constexpr double kSideWallOverTransparentAlpha = 0.5;

// View depth and perspective-correct barycentric weights at a raster point.
struct FragmentWeights {
    double depth = 0.0;
    double weights[3] = {0.0, 0.0, 0.0};
};
// False when the point's inverse depths sum to (almost) nothing.
inline bool interpolateAt(const PreparedTriangle& triangle, double x, double y, FragmentWeights& out) {
    // The three edge functions at the point: the area term with one corner replaced by the point.
    // Divided by the area term they are the screen-space barycentric weights, which sum to 1 for
    // either winding; the set-up folded that division into each corner's inverse depth.
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const double e0 = (b.screenY - y) * (c.screenX - x) - (c.screenY - y) * (b.screenX - x);
    const double e1 = (y - a.screenY) * (c.screenX - a.screenX) - (c.screenY - a.screenY) * (x - a.screenX);
    const double e2 = (b.screenY - a.screenY) * (x - a.screenX) - (y - a.screenY) * (b.screenX - a.screenX);
    const double* scale = triangle.coverage.inverseZOverArea;
    const double p0 = e0 * scale[0], p1 = e1 * scale[1], p2 = e2 * scale[2];
    const double sum = p0 + p1 + p2;
    if (!(sum > kMinInverseDepthSum)) return false;
    const double depth = 1.0 / sum;
    out.depth = depth;
    out.weights[0] = p0 * depth;
    out.weights[1] = p1 * depth;
    out.weights[2] = p2 * depth;
    return true;
}

inline int32_t triangleFaceCode(const SceneSurface& surface, int32_t triangleIndex) {
    return surface.mesh.triangles[static_cast<size_t>(triangleIndex)].faceCode;
}

// faceColour at the fragment's interpolated texture coordinates.
PackedColor fragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights);
// The alpha of a packed colour with the surface opacity; false when it is too transparent to draw.
// Inline: deferred shading asks it of every kept colour.
inline bool visibleAlpha(const SceneSurface& surface, PackedColor color, double& alpha) {
    // unpackBaseColor's alpha, without the colour channels.
    alpha = clampUnit(kByteFractions[packedAlpha(color)] * surface.opacity);
    return alpha > kTransparentAlpha;
}
// The fragment's colour and its alpha with the surface opacity; false when it is too transparent to
// draw.
bool visibleFragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights, PackedColor& color, double& alpha);

// Interpolated positions and normals of a fragment. Normals are oriented to the side of the face the
// camera sees (interpolated normals of a thin slab may point through it), and plain layers are lit
// on both sides, so their back view gets the normal turned toward the camera.
struct FragmentPoint {
    Vec3 worldPosition;
    Vec3 cameraPosition;
    Vec3 worldNormal;
    Vec3 cameraNormal;
};
FragmentPoint interpolateFragmentPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                       const FragmentWeights& weights);

// How the wide raster loops colour one surface's faces of one code, decided once for all their
// fragments, each case giving what faceColour gives: the direct 8-bit front lookup (faceLookup), the
// front matte that a back face or wall borrows (matteBase with the alpha of that lookup), or a colour
// that does not depend on the texture coordinates at all. Fragments of other faces ask faceColour.
struct FaceColouring {
    FaceLookup lookup;
    FaceLookup matte;
    PackedColor matteBase = 0;
    bool constant = false;
    PackedColor constantColor = 0;
};
FaceColouring faceColouring(const SceneSurface& surface, int32_t faceCode);

// The triangle and fan index of each pixel's winner. They live in the frame's arrays when the frame
// keeps them; otherwise a pass keeps them for its own rows only (the same-surface rule needs them).
struct WinnerIndices {
    int32_t* triangle = nullptr;
    int32_t* clip = nullptr;
    size_t firstPixel = 0;  // pixel index of triangle[0] and clip[0]
    std::vector<int32_t> localStorage;

    int32_t& triangleAt(size_t pixel) { return triangle[pixel - firstPixel]; }
    int32_t& clipAt(size_t pixel) { return clip[pixel - firstPixel]; }
};
void bindWinnerIndices(FrameBuffers& buffers, int32_t firstRow, int32_t endRow, WinnerIndices& winners);

// The arrays every raster pass writes (depth, coverage, colour, surface index) are allocated.
bool hasRasterTargets(const FrameBuffers& buffers);

// The same-surface depth rule: true when the new fragment (depth z, face code f) replaces the stored
// one (depth zStored, face code fStored, alpha alphaStored).
bool sameSurfaceReplaces(double z, int32_t f, double zStored, int32_t fStored, double alphaStored);

// The arrays a raster pass writes, looked up once per pass rather than once per fragment. The
// optional ones are null where the frame does not keep them.
struct RasterTargets {
    double* depth = nullptr;
    uint8_t* coverage = nullptr;
    double* color = nullptr;
    int32_t* surfaceIndex = nullptr;
    int32_t* preparedIndex = nullptr;
    uint32_t* packedColor = nullptr;
    uint8_t* winnerMask = nullptr;
    VisiblePixel* visiblePixels = nullptr;
    WinnerIndices* winners = nullptr;
    size_t width = 0;
};
// The caller has checked hasRasterTargets.
RasterTargets rasterTargets(FrameBuffers& buffers, WinnerIndices& winners);

// A fragment that won its pixel.
struct WinningFragment {
    FragmentWeights weights;
    PackedColor color = 0;
    double alpha = 0.0;
    int32_t faceCode = kFaceFront;
};

// Depth resolve and colour of the triangle at pixel (x, y), given the triangle's coverage there. A
// winner is written (depth, mask, alpha, surface, triangle, clip and prepared index, and the packed
// colour where the frame keeps it) and returned; a same-surface loser leaves its coverage merged into
// the pixel's mask.
bool rasterizeFragment(const std::vector<SceneSurface>& surfaces, const PreparedTriangle& triangle,
                       int32_t preparedIndex, const PixelCoverage& coverage, int32_t x, int32_t y,
                       FrameBuffers& buffers, WinnerIndices& winners, WinningFragment& won);

// rasterizeFragment for every covered pixel of row y of the triangle (a row of its bounds), writing a
// VisiblePixel record for each winner where the frame keeps them.
void rasterizeTriangleRow(const SceneSurface& surface, const PreparedTriangle& triangle, int32_t preparedIndex,
                          int32_t y, const RasterTargets& targets);
// The same, with faceColouring of the triangle's surface and face code taken once for many rows.
void rasterizeTriangleRow(const SceneSurface& surface, const FaceColouring& colouring,
                          const PreparedTriangle& triangle, int32_t preparedIndex, int32_t y,
                          const RasterTargets& targets);
// rasterizeTriangleRow with its pixels taken by the portable loops, whichever the processor has;
// named so that a test can hold it against the wide loops (AVX2) on the same input.
void rasterizeTriangleRowPortable(const SceneSurface& surface, const PreparedTriangle& triangle,
                                  int32_t preparedIndex, int32_t y, const RasterTargets& targets);

// Triangles whose pixel bounds span fewer columns than this skip the span bounds (see below).
constexpr int32_t kNarrowTriangleColumns = 12;

// Calls visit(x, y, coverage) for the triangle's covered pixels in row y (a row of its bounds).
template <typename Visit>
void forEachCoveredPixelInRow(const PreparedTriangle& triangle, int32_t y, Visit&& visit) {
    const CoverageRow row = coverageRow(triangle, y);
    // A triangle only a few columns wide costs less to test column by column than to bound.
    if (triangle.maxX - triangle.minX < kNarrowTriangleColumns) {
        for (int32_t x = triangle.minX; x <= triangle.maxX; ++x) {
            const PixelCoverage coverage = coverPixelInRow(triangle, row, x);
            if (coverage.mask != 0) visit(x, y, coverage);
        }
        return;
    }
    const RowColumns columns = rowColumns(triangle, row);
    if (columns.first > columns.last) return;
    const int32_t first = columns.first, last = columns.last;
    const int32_t interiorFirst = columns.interiorFirst, interiorLast = columns.interiorLast;
    for (int32_t x = first; x <= last; ++x) {
        const bool interior = x >= interiorFirst && x <= interiorLast;
        const PixelCoverage coverage =
            interior ? coverInteriorPixel(triangle, row, x) : coverPixelInRow(triangle, row, x);
        if (coverage.mask != 0) visit(x, y, coverage);
    }
}

// Calls visit(x, y, coverage) for the triangle's covered pixels that lie in rows firstRow .. endRow-1.
template <typename Visit>
void forEachCoveredPixelInRows(const PreparedTriangle& triangle, int32_t firstRow, int32_t endRow, Visit&& visit) {
    const int32_t y0 = triangle.minY > firstRow ? triangle.minY : firstRow;
    const int32_t y1 = triangle.maxY < endRow - 1 ? triangle.maxY : endRow - 1;
    for (int32_t y = y0; y <= y1; ++y) forEachCoveredPixelInRow(triangle, y, visit);
}

}  // namespace zephrin
