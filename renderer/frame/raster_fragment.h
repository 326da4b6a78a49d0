// Per-pixel work of the rasterizer, shared by the band raster, deferred shading and the per-triangle
// path so that every path covers, interpolates, resolves and colours a fragment the same way.
//
// Coverage follows the usual multisample scheme: a fixed pattern of sample points per pixel, each
// tested against the triangle's edge functions; attributes are then interpolated at the centroid of
// the covered samples (centroid sampling), so that edge pixels never extrapolate outside the triangle.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/frame/frame_buffers.h"
#include "renderer/frame/raster.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Edge-function slack, in units of the triangle's area: samples on a shared edge land in both
// triangles, so adjacent triangles of a mesh leave no cracks.
constexpr double kEdgeInsideEpsilon = 1e-5;
// Perspective weight sums at or below this belong to points at (or past) infinity.
constexpr double kMinInverseDepthSum = 1e-9;
// Fragments this transparent are not drawn and hide nothing behind them.
constexpr double kTransparentAlpha = 0.001;
// Marks a coverage mask taken with the seven-sample pattern.
constexpr uint8_t kSevenSampleMaskBit = 0x80;
// Coplanar fragments of one surface are told apart within this depth band (relative, with a floor).
constexpr double kSameSurfaceDepthEpsilonRel = 1e-6;
constexpr double kSameSurfaceDepthEpsilonAbs = 1e-5;
// Side walls in the thickness colour win over nearly transparent front or back texels they touch.
constexpr double kSideWallOverTransparentAlpha = 0.5;

// Sample offsets from the pixel corner.
constexpr double kFourSamplePattern[4][2] = {{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}};
constexpr double kSevenSamplePattern[7][2] = {{0.5, 0.5}, {0.2, 0.2}, {0.5, 0.15}, {0.8, 0.2},
                                              {0.2, 0.8}, {0.5, 0.85}, {0.8, 0.8}};

// Which samples of pixel (x, y) the triangle covers (0: none) and where their centroid lies.
struct PixelCoverage {
    uint8_t mask = 0;
    double centroidX = 0.0, centroidY = 0.0;
};
PixelCoverage coverPixel(const PreparedTriangle& triangle, int32_t x, int32_t y);

// View depth and perspective-correct barycentric weights at a raster point.
struct FragmentWeights {
    double depth = 0.0;
    double weights[3] = {0.0, 0.0, 0.0};
};
// False when the point's inverse depths sum to (almost) nothing.
bool interpolateAt(const PreparedTriangle& triangle, double x, double y, FragmentWeights& out);

inline int32_t triangleFaceCode(const SceneSurface& surface, int32_t triangleIndex) {
    return surface.mesh.triangles[static_cast<size_t>(triangleIndex)].faceCode;
}

// faceColour at the fragment's interpolated texture coordinates.
PackedColor fragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights);
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

// A fragment that won its pixel.
struct WinningFragment {
    FragmentWeights weights;
    PackedColor color = 0;
    double alpha = 0.0;
    int32_t faceCode = kFaceFront;
};

// Coverage, depth resolve and colour of the triangle at pixel (x, y). A winner is written (depth,
// mask, alpha, surface, triangle, clip and prepared index) and returned; a same-surface loser leaves
// its coverage merged into the pixel's mask.
bool rasterizeFragment(const std::vector<SceneSurface>& surfaces, const PreparedTriangle& triangle,
                       int32_t preparedIndex, int32_t x, int32_t y, FrameBuffers& buffers, WinnerIndices& winners,
                       WinningFragment& won);

// Calls visit(x, y) for the triangle's pixels that lie in rows firstRow .. endRow-1.
template <typename Visit>
void forEachPixelInRows(const PreparedTriangle& triangle, int32_t firstRow, int32_t endRow, Visit&& visit) {
    int32_t y0 = triangle.minY > firstRow ? triangle.minY : firstRow;
    int32_t y1 = triangle.maxY < endRow - 1 ? triangle.maxY : endRow - 1;
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = triangle.minX; x <= triangle.maxX; ++x) visit(x, y);
    }
}

}  // namespace zephrin
