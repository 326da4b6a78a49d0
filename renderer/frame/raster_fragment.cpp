#include "renderer/frame/raster_fragment.h"

#include <algorithm>
#include <cmath>

#include "renderer/frame/texture_sampling.h"

namespace zephrin {

namespace {

// Screen-space barycentric weights: each edge function is the area term with one corner replaced by
// the point, divided by the area term, so the three sum to 1 for either winding.
void edgeWeights(const PreparedTriangle& triangle, double px, double py, double w[3]) {
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    w[0] = ((b.screenY - py) * (c.screenX - px) - (c.screenY - py) * (b.screenX - px)) / triangle.area;
    w[1] = ((py - a.screenY) * (c.screenX - a.screenX) - (c.screenY - a.screenY) * (px - a.screenX)) / triangle.area;
    w[2] = ((b.screenY - a.screenY) * (px - a.screenX) - (py - a.screenY) * (b.screenX - a.screenX)) / triangle.area;
}

template <size_t N>
PixelCoverage coverWithPattern(const PreparedTriangle& triangle, int32_t x, int32_t y,
                               const double (&pattern)[N][2]) {
    PixelCoverage coverage;
    double sumX = 0.0, sumY = 0.0;
    int covered = 0;
    for (size_t i = 0; i < N; ++i) {
        double sx = x + pattern[i][0];
        double sy = y + pattern[i][1];
        double w[3];
        edgeWeights(triangle, sx, sy, w);
        if (w[0] >= -kEdgeInsideEpsilon && w[1] >= -kEdgeInsideEpsilon && w[2] >= -kEdgeInsideEpsilon) {
            coverage.mask = static_cast<uint8_t>(coverage.mask | (1u << i));
            sumX += sx;
            sumY += sy;
            ++covered;
        }
    }
    if (covered > 0) {
        coverage.centroidX = sumX / covered;
        coverage.centroidY = sumY / covered;
    }
    return coverage;
}

template <typename Field>
Vec3 interpolateVec3(const PreparedTriangle& triangle, const FragmentWeights& weights, Field field) {
    return triangle.vertices[0].vertex.*field * weights.weights[0] +
           triangle.vertices[1].vertex.*field * weights.weights[1] +
           triangle.vertices[2].vertex.*field * weights.weights[2];
}

bool sizedPerPixel(size_t size, const FrameBuffers& buffers) { return size == buffers.pixelCount(); }

}  // namespace

PixelCoverage coverPixel(const PreparedTriangle& triangle, int32_t x, int32_t y) {
    if (triangle.sevenSampleCoverage) {
        PixelCoverage coverage = coverWithPattern(triangle, x, y, kSevenSamplePattern);
        if (coverage.mask != 0) coverage.mask |= kSevenSampleMaskBit;
        return coverage;
    }
    return coverWithPattern(triangle, x, y, kFourSamplePattern);
}

bool interpolateAt(const PreparedTriangle& triangle, double x, double y, FragmentWeights& out) {
    double w[3];
    edgeWeights(triangle, x, y, w);
    double perspective[3];
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        perspective[i] = w[i] * triangle.vertices[i].inverseZ;
        sum += perspective[i];
    }
    if (!(sum > kMinInverseDepthSum)) return false;
    out.depth = 1.0 / sum;
    for (int i = 0; i < 3; ++i) out.weights[i] = perspective[i] / sum;
    return true;
}

PackedColor fragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights) {
    double u = 0.0, v = 0.0;
    for (int i = 0; i < 3; ++i) {
        u += triangle.vertices[i].vertex.u * weights.weights[i];
        v += triangle.vertices[i].vertex.v * weights.weights[i];
    }
    return faceColour(surface, faceCode, u, v);
}

bool visibleFragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights, PackedColor& color, double& alpha) {
    color = fragmentColour(surface, faceCode, triangle, weights);
    alpha = unpackBaseColor(color, surface.opacity).alpha;
    return alpha > kTransparentAlpha;
}

FragmentPoint interpolateFragmentPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                       const FragmentWeights& weights) {
    const Vec3 fallback{0.0, 0.0, -1.0};
    FragmentPoint point;
    point.worldPosition = interpolateVec3(triangle, weights, &SurfaceVertex::worldPosition);
    point.cameraPosition = interpolateVec3(triangle, weights, &SurfaceVertex::cameraPosition);
    point.worldNormal = normalizeOr(interpolateVec3(triangle, weights, &SurfaceVertex::worldNormal), fallback);
    point.cameraNormal = normalizeOr(interpolateVec3(triangle, weights, &SurfaceVertex::cameraNormal), fallback);
    if (dot(point.cameraNormal, triangle.faceNormal) < 0.0) {
        point.worldNormal = -point.worldNormal;
        point.cameraNormal = -point.cameraNormal;
    }
    if (surface.kind == kSurfaceFlat && !triangle.frontFacing) {
        point.worldNormal = -point.worldNormal;
        point.cameraNormal = -point.cameraNormal;
    }
    return point;
}

void bindWinnerIndices(FrameBuffers& buffers, int32_t firstRow, int32_t endRow, WinnerIndices& winners) {
    if (sizedPerPixel(buffers.triangleIndex.size(), buffers) && sizedPerPixel(buffers.clipTriangle.size(), buffers)) {
        winners.triangle = buffers.triangleIndex.data();
        winners.clip = buffers.clipTriangle.data();
        winners.firstPixel = 0;
        winners.localStorage.clear();
        return;
    }
    size_t width = static_cast<size_t>(buffers.rasterWidth);
    size_t rows = endRow > firstRow ? static_cast<size_t>(endRow - firstRow) : 0;
    winners.localStorage.assign(2 * rows * width, -1);
    winners.triangle = winners.localStorage.data();
    winners.clip = winners.localStorage.data() + rows * width;
    winners.firstPixel = static_cast<size_t>(std::max(firstRow, 0)) * width;
}

bool hasRasterTargets(const FrameBuffers& buffers) {
    return buffers.rasterWidth > 0 && buffers.rasterHeight > 0 && sizedPerPixel(buffers.depth.size(), buffers) &&
           sizedPerPixel(buffers.coverage.size(), buffers) && sizedPerPixel(buffers.surfaceIndex.size(), buffers) &&
           buffers.color.size() == 4 * buffers.pixelCount();
}

bool sameSurfaceReplaces(double z, int32_t f, double zStored, int32_t fStored, double alphaStored) {
    if (f == kFaceSideThickness && fStored < kFaceObj && alphaStored < kSideWallOverTransparentAlpha) return true;
    double epsilon = std::max(std::max(std::fabs(zStored), std::fabs(z)) * kSameSurfaceDepthEpsilonRel,
                              kSameSurfaceDepthEpsilonAbs);
    if (zStored - epsilon > z) return true;
    if (z > zStored + epsilon) return false;
    // Within the band: walls in the thickness colour cover the face edge they meet, and walls that
    // borrow the front matte stay behind the faces they join.
    auto priority = [](int32_t faceCode) {
        if (faceCode == kFaceSideFrontAlpha) return 0;
        if (faceCode == kFaceSideThickness) return 2;
        return 1;
    };
    int newPriority = priority(f);
    int storedPriority = priority(fStored);
    if (newPriority != storedPriority) return newPriority > storedPriority;
    return zStored > z;
}

bool rasterizeFragment(const std::vector<SceneSurface>& surfaces, const PreparedTriangle& triangle,
                       int32_t preparedIndex, int32_t x, int32_t y, FrameBuffers& buffers, WinnerIndices& winners,
                       WinningFragment& won) {
    PixelCoverage coverage = coverPixel(triangle, x, y);
    if (coverage.mask == 0) return false;
    if (!interpolateAt(triangle, coverage.centroidX, coverage.centroidY, won.weights)) return false;

    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(buffers.rasterWidth) + static_cast<size_t>(x);
    const SceneSurface& surface = surfaces[static_cast<size_t>(triangle.surfaceIndex)];
    const double z = won.weights.depth;
    won.faceCode = triangleFaceCode(surface, triangle.triangleIndex);

    uint8_t mask = coverage.mask;
    if (buffers.surfaceIndex[pixel] == triangle.surfaceIndex) {
        // One surface's fragments add up: two triangles meeting inside a pixel cover it together.
        mask = static_cast<uint8_t>(mask | buffers.coverage[pixel]);
        int32_t storedTriangle = winners.triangleAt(pixel);
        bool replaces = false;
        if (storedTriangle >= 0 && static_cast<size_t>(storedTriangle) < surface.mesh.triangles.size()) {
            replaces = sameSurfaceReplaces(z, won.faceCode, buffers.depth[pixel],
                                           triangleFaceCode(surface, storedTriangle), buffers.color[4 * pixel + 3]);
        } else {
            replaces = buffers.depth[pixel] > z;
        }
        if (!replaces) {
            buffers.coverage[pixel] = mask;
            return false;
        }
    } else if (!(z < buffers.depth[pixel])) {
        return false;
    }

    if (!visibleFragmentColour(surface, won.faceCode, triangle, won.weights, won.color, won.alpha)) return false;

    buffers.depth[pixel] = z;
    buffers.coverage[pixel] = mask;
    buffers.color[4 * pixel + 3] = won.alpha;
    buffers.surfaceIndex[pixel] = triangle.surfaceIndex;
    winners.triangleAt(pixel) = triangle.triangleIndex;
    winners.clipAt(pixel) = triangle.clipTriangle;
    if (sizedPerPixel(buffers.preparedIndex.size(), buffers)) buffers.preparedIndex[pixel] = preparedIndex;
    return true;
}

}  // namespace zephrin
