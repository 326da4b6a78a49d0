#include "renderer/raster/raster_fragment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <immintrin.h>

#include "renderer/raster/four_sample_lanes.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

namespace {

template <typename Field>
[[gnu::always_inline]] inline Vec3 interpolateVec3(const PreparedTriangle& triangle, const FragmentWeights& weights, Field field) {
    return triangle.vertices[0].vertex.*field * weights.weights[0] +
           triangle.vertices[1].vertex.*field * weights.weights[1] +
           triangle.vertices[2].vertex.*field * weights.weights[2];
}

bool sizedPerPixel(size_t size, const FrameBuffers& buffers) { return size == buffers.pixelCount(); }

}  // namespace

namespace {

// What the pixel loops need of one triangle, copied out of it: the frame's byte arrays may alias
// anything as far as the compiler knows, so values read through the triangle would be read again
// after every store, while these stay in registers.
struct FragmentSource {
    const SceneSurface* surface = nullptr;
    const PreparedTriangle* triangle = nullptr;
    FaceLookup lookup;
    int32_t faceCode = kFaceFront;
    int32_t surfaceIndex = 0, triangleIndex = 0, clipTriangle = 0, preparedIndex = 0;
    double opacity = 1.0;
    double u[3] = {0.0, 0.0, 0.0}, v[3] = {0.0, 0.0, 0.0};
    // The wide loops' colouring of the face where it is not the direct front lookup (the matte it
    // borrows, or its constant colour); null for the portable loops, which ask faceColour.
    const FaceColouring* colouring = nullptr;
};

FragmentSource fragmentSource(const SceneSurface& surface, int32_t faceCode, const FaceLookup& lookup,
                              const PreparedTriangle& triangle, int32_t preparedIndex) {
    FragmentSource source;
    source.surface = &surface;
    source.triangle = &triangle;
    source.lookup = lookup;
    source.faceCode = faceCode;
    source.surfaceIndex = triangle.surfaceIndex;
    source.triangleIndex = triangle.triangleIndex;
    source.clipTriangle = triangle.clipTriangle;
    source.preparedIndex = preparedIndex;
    source.opacity = surface.opacity;
    for (int i = 0; i < 3; ++i) {
        source.u[i] = triangle.vertices[i].vertex.u;
        source.v[i] = triangle.vertices[i].vertex.v;
    }
    return source;
}

// The colour of a face that borrows the front matte, from the front lookup's colour.
inline PackedColor matteColour(const FaceColouring& colouring, PackedColor front) {
    return (colouring.matteBase & ~PackedColor{0xff}) | packedAlpha(front);
}

// The fragment's colour through the source's lookup, and its alpha with the surface opacity (as
// visibleAlpha computes it); false when it is too transparent to draw.
// The fragment's texture coordinates, summed from 0 in corner order.
[[gnu::always_inline]] inline void fragmentUv(const FragmentSource& source, const FragmentWeights& weights, double& u,
                                              double& v) {
    u = 0.0;
    v = 0.0;
    for (int i = 0; i < 3; ++i) {
        u += source.u[i] * weights.weights[i];
        v += source.v[i] * weights.weights[i];
    }
}

[[gnu::always_inline]] inline bool visibleColourVia(const FragmentSource& source, const FragmentWeights& weights,
                                                    PackedColor& color, double& alpha) {
    double u = 0.0, v = 0.0;
    fragmentUv(source, weights, u, v);
    color = lookUpFaceColour(source.lookup, *source.surface, source.faceCode, u, v);
    alpha = clampUnit(kByteFractions[packedAlpha(color)] * source.opacity);
    return alpha > kTransparentAlpha;
}

}  // namespace

PackedColor fragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights) {
    PackedColor color = 0;
    double alpha = 0.0;
    visibleColourVia(fragmentSource(surface, faceCode, FaceLookup{}, triangle, 0), weights, color, alpha);
    return color;
}

bool visibleFragmentColour(const SceneSurface& surface, int32_t faceCode, const PreparedTriangle& triangle,
                           const FragmentWeights& weights, PackedColor& color, double& alpha) {
    return visibleColourVia(fragmentSource(surface, faceCode, FaceLookup{}, triangle, 0), weights, color, alpha);
}

FragmentPoint interpolateFragmentPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                       const FragmentWeights& weights) {
    const Vec3 fallback{0.0, 0.0, -1.0};
    FragmentPoint point;
    point.worldPosition = interpolateVec3(triangle, weights, &SurfaceVertex::worldPosition);
    point.cameraPosition = interpolateVec3(triangle, weights, &SurfaceVertex::cameraPosition);
    normalizeBothOr(interpolateVec3(triangle, weights, &SurfaceVertex::worldNormal),
                    interpolateVec3(triangle, weights, &SurfaceVertex::cameraNormal), fallback, point.worldNormal,
                    point.cameraNormal);
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

namespace {

// A texture that faceColour's lookups read without regard to the texture coordinates: one without
// readable pixels (the fallback stands) or one whose texels are all the same.
bool readsNoCoordinates(const SurfaceTexture& texture) { return !walkablePixels(texture) || texture.uniform8; }

}  // namespace

FaceColouring faceColouring(const SceneSurface& surface, int32_t faceCode) {
    FaceColouring colouring;
    colouring.lookup = faceLookup(surface, faceCode);
    if (colouring.lookup.frontImage8 != nullptr) return colouring;
    // faceColour's cases. Without a back image, a back face and a wall that borrows the front alpha
    // take the front layer's matte: their colour (the back colour, or the opaque thickness colour)
    // with the alpha of the front lookup at the front's u.
    const SurfaceTexture& front = surface.frontTexture;
    const bool borrows = (faceCode == kFaceBack || faceCode == kFaceSideFrontAlpha) &&
                         !surface.backTexture.hasPixels() && front.hasPixels() && surface.controls.hasFrontLayer;
    switch (faceCode) {
        case kFaceSideThickness:
            colouring.constant = true;
            break;
        case kFaceBack:
            colouring.constant = readsNoCoordinates(surface.backTexture) && (!borrows || readsNoCoordinates(front));
            break;
        case kFaceSideFrontAlpha:
            colouring.constant = !borrows || readsNoCoordinates(front);
            break;
        default:
            colouring.constant = readsNoCoordinates(front);
            break;
    }
    if (colouring.constant) {
        colouring.constantColor = faceColour(surface, faceCode, 0.0, 0.0);
        return colouring;
    }
    // The matte's lookup is the direct 8-bit one where the front face's is; its alpha does not depend
    // on the lookup's fallback colour.
    if (!borrows) return colouring;
    const FaceLookup frontLookup = faceLookup(surface, kFaceFront);
    if (frontLookup.frontImage8 == nullptr) return colouring;
    colouring.matte = frontLookup;
    const PackedColor opaqueThickness = (surface.controls.thicknessColor & ~PackedColor{0xff}) | PackedColor{0xff};
    colouring.matteBase = faceCode == kFaceBack ? surface.controls.backColor : opaqueThickness;
    return colouring;
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

RasterTargets rasterTargets(FrameBuffers& buffers, WinnerIndices& winners) {
    RasterTargets targets;
    targets.depth = buffers.depth.data();
    targets.coverage = buffers.coverage.data();
    targets.color = buffers.color.data();
    targets.surfaceIndex = buffers.surfaceIndex.data();
    if (sizedPerPixel(buffers.preparedIndex.size(), buffers)) targets.preparedIndex = buffers.preparedIndex.data();
    if (sizedPerPixel(buffers.packedColor.size(), buffers)) targets.packedColor = buffers.packedColor.data();
    if (sizedPerPixel(buffers.winnerMask.size(), buffers)) targets.winnerMask = buffers.winnerMask.data();
    if (sizedPerPixel(buffers.visiblePixels.size(), buffers)) targets.visiblePixels = buffers.visiblePixels.data();
    targets.winners = &winners;
    targets.width = static_cast<size_t>(buffers.rasterWidth);
    return targets;
}

namespace {

// The depth test of a fragment at depth z: the coverage mask the pixel takes when the fragment wins
// it, or 0 when it loses (a same-surface loser has then left its coverage merged into the pixel's).
[[gnu::always_inline]] inline uint8_t depthResolve(const FragmentSource& source, uint8_t ownMask, size_t pixel,
                                                   const RasterTargets& targets, double z) {
    uint8_t mask = ownMask;
    if (targets.surfaceIndex[pixel] == source.surfaceIndex) {
        // One surface's fragments add up: two triangles meeting inside a pixel cover it together.
        const SceneSurface& surface = *source.surface;
        mask = static_cast<uint8_t>(mask | targets.coverage[pixel]);
        int32_t storedTriangle = targets.winners->triangleAt(pixel);
        bool replaces = false;
        if (storedTriangle >= 0 && static_cast<size_t>(storedTriangle) < surface.mesh.triangles.size()) {
            replaces = sameSurfaceReplaces(z, source.faceCode, targets.depth[pixel],
                                           triangleFaceCode(surface, storedTriangle), targets.color[4 * pixel + 3]);
        } else {
            replaces = targets.depth[pixel] > z;
        }
        if (!replaces) {
            targets.coverage[pixel] = mask;
            return 0;
        }
    } else if (!(z < targets.depth[pixel])) {
        return 0;
    }
    return mask;
}

// Writes the winner that depthResolve let through with `mask`, its colour and alpha in won.
[[gnu::always_inline]] inline void writeWinner(const FragmentSource& source, uint8_t ownMask, uint8_t mask,
                                               size_t pixel, const RasterTargets& targets,
                                               const WinningFragment& won) {
    targets.depth[pixel] = won.weights.depth;
    targets.coverage[pixel] = mask;
    targets.color[4 * pixel + 3] = won.alpha;
    targets.surfaceIndex[pixel] = source.surfaceIndex;
    targets.winners->triangleAt(pixel) = source.triangleIndex;
    targets.winners->clipAt(pixel) = source.clipTriangle;
    if (targets.preparedIndex != nullptr) targets.preparedIndex[pixel] = source.preparedIndex;
    if (targets.packedColor != nullptr) targets.packedColor[pixel] = won.color;
    if (targets.winnerMask != nullptr) targets.winnerMask[pixel] = ownMask;
}

// The depth resolve and colour of a fragment whose weights are in won.weights, on arrays already
// looked up; the rest of rasterizeFragment.
[[gnu::always_inline]] inline bool resolveWeighted(const FragmentSource& source, uint8_t ownMask, size_t pixel,
                                                   const RasterTargets& targets, WinningFragment& won) {
    won.faceCode = source.faceCode;
    const uint8_t mask = depthResolve(source, ownMask, pixel, targets, won.weights.depth);
    if (mask == 0) return false;
    if (!visibleColourVia(source, won.weights, won.color, won.alpha)) return false;
    writeWinner(source, ownMask, mask, pixel, targets, won);
    return true;
}

// rasterizeFragment on arrays already looked up.
[[gnu::always_inline]] inline bool resolveFragment(const FragmentSource& source, const PixelCoverage& coverage,
                                                   size_t pixel, const RasterTargets& targets,
                                                   WinningFragment& won) {
    if (coverage.mask == 0) return false;
    if (!interpolateAt(*source.triangle, coverage.centroidX, coverage.centroidY, won.weights)) return false;
    return resolveWeighted(source, coverage.mask, pixel, targets, won);
}

VisiblePixel makeVisiblePixel(const FragmentPoint& point, PackedColor color, double alpha) {
    BaseColor base = unpackBaseColor(color, 1.0);
    VisiblePixel record;
    record.worldPosition[0] = static_cast<float>(point.worldPosition.x);
    record.worldPosition[1] = static_cast<float>(point.worldPosition.y);
    record.worldPosition[2] = static_cast<float>(point.worldPosition.z);
    record.worldNormal[0] = static_cast<float>(point.worldNormal.x);
    record.worldNormal[1] = static_cast<float>(point.worldNormal.y);
    record.worldNormal[2] = static_cast<float>(point.worldNormal.z);
    record.baseColor[0] = static_cast<float>(base.red);
    record.baseColor[1] = static_cast<float>(base.green);
    record.baseColor[2] = static_cast<float>(base.blue);
    record.alpha = static_cast<float>(alpha);
    return record;
}

}  // namespace

bool rasterizeFragment(const std::vector<SceneSurface>& surfaces, const PreparedTriangle& triangle,
                       int32_t preparedIndex, const PixelCoverage& coverage, int32_t x, int32_t y,
                       FrameBuffers& buffers, WinnerIndices& winners, WinningFragment& won) {
    if (coverage.mask == 0) return false;
    const SceneSurface& surface = surfaces[static_cast<size_t>(triangle.surfaceIndex)];
    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(buffers.rasterWidth) + static_cast<size_t>(x);
    const FragmentSource source =
        fragmentSource(surface, triangleFaceCode(surface, triangle.triangleIndex), FaceLookup{}, triangle, preparedIndex);
    return resolveFragment(source, coverage, pixel, rasterTargets(buffers, winners), won);
}

namespace {

// Where the processor has AVX2, the interior pixels of a row are weighted four at a time, a pixel
// per lane, and its other pixels take the coverage test and the texture lookup inline. Only AVX2 is
// enabled for that code, not FMA, so every value rounds as in the portable loops and the two ways
// write the same arrays bit for bit.
const bool kWideRows = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// The interior span of one row: every pixel fully covered, with interpolateAt's edge functions at
// the pixel centre split into the parts fixed for the row, each computed as interpolateAt computes it.
struct InteriorRun {
    int32_t first = 0, last = -1;
    uint8_t mask = 0;
    size_t rowStart = 0;
    double ax = 0.0, bx = 0.0, cx = 0.0;
    double bMinusY = 0.0, cMinusY = 0.0, edge1Row = 0.0, edge2Row = 0.0, cyMinusAy = 0.0, byMinusAy = 0.0;
    double scale[3] = {0.0, 0.0, 0.0};
};

InteriorRun interiorRun(const PreparedTriangle& triangle, const CoverageRow& row, const RowColumns& columns,
                        size_t rowStart) {
    InteriorRun run;
    run.first = columns.interiorFirst;
    run.last = columns.interiorLast;
    run.rowStart = rowStart;
    // Every sample of the four-sample pattern lies a quarter or three quarters into the pixel, and the
    // sums of four such coordinates are exact, so the centroid of a full pixel is its centre exactly.
    const PixelCoverage full = coverInteriorPixel(triangle, row, columns.interiorFirst);
    run.mask = full.mask;
    const double py = full.centroidY;
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    run.ax = a.screenX;
    run.bx = b.screenX;
    run.cx = c.screenX;
    run.bMinusY = b.screenY - py;
    run.cMinusY = c.screenY - py;
    run.edge1Row = (py - a.screenY) * (c.screenX - a.screenX);
    run.edge2Row = (py - a.screenY) * (b.screenX - a.screenX);
    run.cyMinusAy = c.screenY - a.screenY;
    run.byMinusAy = b.screenY - a.screenY;
    for (int i = 0; i < 3; ++i) run.scale[i] = triangle.coverage.inverseZOverArea[i];
    return run;
}

template <typename Keep>
void rasterizeInteriorPortable(const FragmentSource& source, const InteriorRun& run, const RasterTargets& targets,
                               WinningFragment& won, Keep& keep) {
    for (int32_t x = run.first; x <= run.last; ++x) {
        const double px = x + 0.5;
        const double p0 = (run.bMinusY * (run.cx - px) - run.cMinusY * (run.bx - px)) * run.scale[0];
        const double p1 = (run.edge1Row - run.cyMinusAy * (px - run.ax)) * run.scale[1];
        const double p2 = (run.byMinusAy * (px - run.ax) - run.edge2Row) * run.scale[2];
        const double sum = p0 + p1 + p2;
        if (!(sum > kMinInverseDepthSum)) continue;
        const double depth = 1.0 / sum;
        won.weights.depth = depth;
        won.weights.weights[0] = p0 * depth;
        won.weights.weights[1] = p1 * depth;
        won.weights.weights[2] = p2 * depth;
        const size_t pixel = run.rowStart + static_cast<size_t>(x);
        if (resolveWeighted(source, run.mask, pixel, targets, won)) keep(pixel);
    }
}

// lookUpFaceColour with the 8-bit front lookup taken inline.
__attribute__((target("avx2"), always_inline)) inline PackedColor lookUpFaceColourWide(const FragmentSource& source,
                                                                                      double u, double v) {
    const FaceLookup& lookup = source.lookup;
    if (lookup.frontImage8 == nullptr) {
        const FaceColouring* colouring = source.colouring;
        if (colouring == nullptr) return faceColour(*source.surface, source.faceCode, u, v);
        if (colouring->constant) return colouring->constantColor;
        const FaceLookup& matte = colouring->matte;
        if (matte.frontImage8 == nullptr) return faceColour(*source.surface, source.faceCode, u, v);
        const double mapped = clampUnit(u);
        return matteColour(*colouring, lookUpTexture8Wide(*matte.frontImage8, matte.fallback,
                                                          matte.flipU ? 1.0 - mapped : mapped, v));
    }
    const double mapped = clampUnit(u);
    return lookUpTexture8Wide(*lookup.frontImage8, lookup.fallback, lookup.flipU ? 1.0 - mapped : mapped, v);
}

// The rest of visibleColourVia for a colour already looked up, into won.
[[gnu::always_inline]] inline bool visibleLookedUpColour(const FragmentSource& source, PackedColor color,
                                                         WinningFragment& won) {
    won.faceCode = source.faceCode;
    won.color = color;
    won.alpha = clampUnit(kByteFractions[packedAlpha(color)] * source.opacity);
    return won.alpha > kTransparentAlpha;
}

// visibleColourVia at texture coordinates (u, v), into won.
__attribute__((target("avx2"), always_inline)) inline bool visibleColourWide(const FragmentSource& source, double u,
                                                                            double v, WinningFragment& won) {
    return visibleLookedUpColour(source, lookUpFaceColourWide(source, u, v), won);
}

// a0 w0 + a1 w1 + a2 w2, summed from 0 as visibleColourVia sums it.
__attribute__((target("avx2"), always_inline)) inline __m256d interpolateWide(__m256d a0, __m256d a1, __m256d a2,
                                                                             __m256d w0, __m256d w1, __m256d w2) {
    __m256d sum = _mm256_add_pd(_mm256_setzero_pd(), _mm256_mul_pd(a0, w0));
    sum = _mm256_add_pd(sum, _mm256_mul_pd(a1, w1));
    return _mm256_add_pd(sum, _mm256_mul_pd(a2, w2));
}

// Covered edge pixels of one triangle row waiting for their weights, lane k the k-th found. The
// pixels of a triangle row are all different, so the order in which they are resolved does not
// matter; each is resolved exactly as the one-pixel loop resolves it.
struct EdgeLanes {
    int32_t column[4] = {0, 0, 0, 0};
    uint8_t mask[4] = {0, 0, 0, 0};
    int32_t count = 0;
};

// One covered edge pixel, as rasterizeFragment takes it, with the texture lookup taken inline.
template <typename Keep>
__attribute__((target("avx2"), always_inline)) inline void resolveEdgePixel(const FragmentSource& source, int32_t x,
                                                                           int32_t y, uint8_t ownMask,
                                                                           size_t rowStart,
                                                                           const RasterTargets& targets,
                                                                           WinningFragment& won, Keep& keep) {
    const PixelCoverage coverage = fourSampleCoverage(ownMask, x, y);
    if (!interpolateAt(*source.triangle, coverage.centroidX, coverage.centroidY, won.weights)) return;
    const size_t pixel = rowStart + static_cast<size_t>(x);
    const uint8_t mask = depthResolve(source, ownMask, pixel, targets, won.weights.depth);
    if (mask == 0) return;
    double u = 0.0, v = 0.0;
    fragmentUv(source, won.weights, u, v);
    if (!visibleColourWide(source, u, v, won)) return;
    writeWinner(source, ownMask, mask, pixel, targets, won);
    keep(pixel);
}

// The edge lanes of row y side by side: fourSampleCoverage's centroid, interpolateAt there, and the
// texture coordinates (and the 8-bit front colour) as visibleColourVia computes them, each step in
// the one-pixel order of operations with only AVX2 enabled, not FMA, so that every lane is bit for
// bit its pixel's scalar value. The depth resolve and the writes run lane by lane, each as the
// one-pixel loop runs it. A single lane goes the one-pixel way: the set-up of the lanes costs more
// than it saves there.
template <typename Keep>
__attribute__((target("avx2"), always_inline)) inline void resolveEdgeLanes(const FragmentSource& source,
                                                                           EdgeLanes& lanes, int32_t y,
                                                                           size_t rowStart,
                                                                           const RasterTargets& targets,
                                                                           WinningFragment& won, Keep& keep) {
    const int32_t count = lanes.count;
    lanes.count = 0;
    if (count == 1) {
        resolveEdgePixel(source, lanes.column[0], y, lanes.mask[0], rowStart, targets, won, keep);
        return;
    }
    // Lanes past the count repeat the last pixel, so that every lane has some sample covered.
    for (int32_t k = count; k < 4; ++k) {
        lanes.column[k] = lanes.column[count - 1];
        lanes.mask[k] = lanes.mask[count - 1];
    }
    const MaskSums* sums[4];
    for (int k = 0; k < 4; ++k) sums[k] = &kFourSampleMaskSums[lanes.mask[k] & 0x0fu];
    const __m256d samples = _mm256_set_pd(sums[3]->count, sums[2]->count, sums[1]->count, sums[0]->count);
    const __m256d offsetX = _mm256_set_pd(sums[3]->x, sums[2]->x, sums[1]->x, sums[0]->x);
    const __m256d offsetY = _mm256_set_pd(sums[3]->y, sums[2]->y, sums[1]->y, sums[0]->y);
    const __m256d columns = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes.column)));
    const __m256d x = _mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(samples, columns), offsetX), samples);
    const __m256d rowY = _mm256_set1_pd(static_cast<double>(y));
    const __m256d py = _mm256_div_pd(_mm256_add_pd(_mm256_mul_pd(samples, rowY), offsetY), samples);

    const PreparedTriangle& triangle = *source.triangle;
    const ProjectedVertex& a = triangle.vertices[0];
    const ProjectedVertex& b = triangle.vertices[1];
    const ProjectedVertex& c = triangle.vertices[2];
    const __m256d ax = _mm256_set1_pd(a.screenX), ay = _mm256_set1_pd(a.screenY);
    const __m256d yMinusAy = _mm256_sub_pd(py, ay), xMinusAx = _mm256_sub_pd(x, ax);
    const __m256d e0 = _mm256_sub_pd(
        _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(b.screenY), py), _mm256_sub_pd(_mm256_set1_pd(c.screenX), x)),
        _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(c.screenY), py), _mm256_sub_pd(_mm256_set1_pd(b.screenX), x)));
    const __m256d e1 = _mm256_sub_pd(_mm256_mul_pd(yMinusAy, _mm256_set1_pd(c.screenX - a.screenX)),
                                     _mm256_mul_pd(_mm256_set1_pd(c.screenY - a.screenY), xMinusAx));
    const __m256d e2 = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(b.screenY - a.screenY), xMinusAx),
                                     _mm256_mul_pd(yMinusAy, _mm256_set1_pd(b.screenX - a.screenX)));
    const double* scale = triangle.coverage.inverseZOverArea;
    const __m256d p0 = _mm256_mul_pd(e0, _mm256_set1_pd(scale[0]));
    const __m256d p1 = _mm256_mul_pd(e1, _mm256_set1_pd(scale[1]));
    const __m256d p2 = _mm256_mul_pd(e2, _mm256_set1_pd(scale[2]));
    const __m256d sum = _mm256_add_pd(_mm256_add_pd(p0, p1), p2);
    // Lanes at (or past) infinity are left out, as interpolateAt leaves them.
    const auto valid = static_cast<uint32_t>(_mm256_movemask_pd(
                           _mm256_cmp_pd(sum, _mm256_set1_pd(kMinInverseDepthSum), _CMP_GT_OQ))) &
                       ((1u << count) - 1u);
    if (valid == 0) return;
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d z = _mm256_div_pd(one, sum);
    alignas(32) double depths[4];
    _mm256_store_pd(depths, z);
    // The depth resolve of every lane first: each reads and writes only its own pixel, so resolving
    // them before any lane's colour is written changes nothing, and lanes that all lose (a face
    // behind another) need no lookup at all.
    uint8_t masks[4];
    uint32_t resolved = 0;
    for (uint32_t left = valid; left != 0; left &= left - 1) {
        const auto k = static_cast<size_t>(__builtin_ctz(left));
        masks[k] = depthResolve(source, lanes.mask[k], rowStart + static_cast<size_t>(lanes.column[k]), targets,
                                depths[k]);
        if (masks[k] != 0) resolved |= 1u << k;
    }
    if (resolved == 0) return;
    const __m256d w0 = _mm256_mul_pd(p0, z), w1 = _mm256_mul_pd(p1, z), w2 = _mm256_mul_pd(p2, z);
    const __m256d u = interpolateWide(_mm256_set1_pd(source.u[0]), _mm256_set1_pd(source.u[1]),
                                      _mm256_set1_pd(source.u[2]), w0, w1, w2);
    const __m256d v = interpolateWide(_mm256_set1_pd(source.v[0]), _mm256_set1_pd(source.v[1]),
                                      _mm256_set1_pd(source.v[2]), w0, w1, w2);
    alignas(32) double weights0[4], weights1[4], weights2[4], us[4], vs[4];
    alignas(16) PackedColor colors[4];
    _mm256_store_pd(weights0, w0);
    _mm256_store_pd(weights1, w1);
    _mm256_store_pd(weights2, w2);
    const FaceColouring* colouring = source.lookup.frontImage8 == nullptr ? source.colouring : nullptr;
    const bool matte = colouring != nullptr && colouring->matte.frontImage8 != nullptr;
    const bool constant = colouring != nullptr && colouring->constant;
    const FaceLookup& lookup = matte ? colouring->matte : source.lookup;
    const bool lookups = lookup.frontImage8 != nullptr;
    if (lookups) {
        // lookUpFaceColourWide's u: clamped, then flipped.
        __m256d mapped = clampUnitWide(u);
        if (lookup.flipU) mapped = _mm256_sub_pd(one, mapped);
        const Texture8Lanes texture = texture8Lanes(*lookup.frontImage8, lookup.fallback);
        __m128i looked = lookUpTexture8Lanes(texture, mapped, v);
        if (matte) {
            // matteColour in every lane.
            const __m128i alphaByte = _mm_set1_epi32(0xff);
            looked = _mm_or_si128(_mm_and_si128(looked, alphaByte),
                                  _mm_andnot_si128(alphaByte, _mm_set1_epi32(static_cast<int32_t>(colouring->matteBase))));
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(colors), looked);
    } else if (constant) {
        _mm_store_si128(reinterpret_cast<__m128i*>(colors),
                        _mm_set1_epi32(static_cast<int32_t>(colouring->constantColor)));
    } else {
        _mm256_store_pd(us, u);
        _mm256_store_pd(vs, v);
    }
    const bool coloured = lookups || constant;
    for (uint32_t left = resolved; left != 0; left &= left - 1) {
        const auto k = static_cast<size_t>(__builtin_ctz(left));
        const bool visible =
            coloured ? visibleLookedUpColour(source, colors[k], won) : visibleColourWide(source, us[k], vs[k], won);
        if (!visible) continue;
        won.weights.depth = depths[k];
        won.weights.weights[0] = weights0[k];
        won.weights.weights[1] = weights1[k];
        won.weights.weights[2] = weights2[k];
        const size_t pixel = rowStart + static_cast<size_t>(lanes.column[k]);
        writeWinner(source, lanes.mask[k], masks[k], pixel, targets, won);
        keep(pixel);
    }
}

// The four-sample pixels first .. last of a row that are not wholly inside: each column's coverage
// test with the samples side by side, the covered pixels queued in `lanes` and taken four at a time.
// Most edge pixels belong to small or narrow triangles, so the work per covered pixel, not the
// sample tests, is what counts. The caller resolves what is left queued once the row's edge spans
// are done.
template <typename Keep>
__attribute__((target("avx2"))) void rasterizeEdgePixelsWide(const FragmentSource& source, const CoverageRow& row,
                                                             int32_t first, int32_t last, size_t rowStart,
                                                             const RasterTargets& targets, WinningFragment& won,
                                                             Keep& keep, EdgeLanes& lanes) {
    const FourSampleRowTest test = fourSampleRowTest(*source.triangle, row);
    // A local queue: stores into the caller's (a byte array among them) could alias anything and
    // would have every value of the test read again for each column.
    EdgeLanes queue = lanes;
    for (int32_t x = first; x <= last; ++x) {
        const uint8_t mask = fourSampleMask(test, x);
        if (mask == 0) continue;
        queue.column[queue.count] = x;
        queue.mask[queue.count] = mask;
        if (++queue.count == 4) resolveEdgeLanes(source, queue, row.y, rowStart, targets, won, keep);
    }
    lanes = queue;
}

// The edge pixels still queued once a row's edge spans are done (at least one).
template <typename Keep>
__attribute__((target("avx2"))) void resolveQueuedEdgePixelsWide(const FragmentSource& source, EdgeLanes& lanes,
                                                                 int32_t y, size_t rowStart,
                                                                 const RasterTargets& targets, WinningFragment& won,
                                                                 Keep& keep) {
    resolveEdgeLanes(source, lanes, y, rowStart, targets, won, keep);
}

// Lane k of a four-lane mask for each bit k of `bits`, in 32-bit lanes.
__attribute__((target("avx2"), always_inline)) inline __m128i laneMask32(uint32_t bits) {
    const __m128i lane = _mm_setr_epi32(1, 2, 4, 8);
    return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int32_t>(bits)), lane), lane);
}

// Four 32-bit values at `at`, lane k replaced by values[k] where `lanes` is set.
__attribute__((target("avx2"), always_inline)) inline void storeLanes32(int32_t* at, __m128i lanes, __m128i values) {
    auto* where = reinterpret_cast<__m128i*>(at);
    _mm_storeu_si128(where, _mm_blendv_epi8(_mm_loadu_si128(where), values, lanes));
}

// The depth resolve and the writes of four interior pixels first .. first+3 of one row, lane k at
// depth z[k] with colour colors[k], only the lanes in `valid` taken. Done lane-wise where none of the
// four pixels holds a fragment of the source's own surface: each lane is then depthResolve's plain
// depth test, visibleLookedUpColour's alpha test and writeWinner's writes, on values computed the same
// way. False, with nothing written, when some lane meets its own surface (the same-surface rule is
// left to the lane-by-lane loop). The pixels are read and written whole, the lanes not won written
// back as they were: all four lie in the run, and the row belongs to this pass alone.
__attribute__((target("avx2"), always_inline)) inline bool resolveBlockWide(const FragmentSource& source,
                                                                           uint8_t ownMask, size_t first,
                                                                           uint32_t valid, __m256d z,
                                                                           __m128i colors,
                                                                           const RasterTargets& targets) {
    const __m128i surfaceLanes = _mm_set1_epi32(source.surfaceIndex);
    const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(targets.surfaceIndex + first));
    const auto sameSurface =
        static_cast<uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(stored, surfaceLanes))));
    if ((sameSurface & valid) != 0) return false;
    const __m256d storedDepth = _mm256_loadu_pd(targets.depth + first);
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i alphaBytes = _mm_and_si128(colors, low);
    // An alpha byte of 255 has the fraction 1 exactly; the table is read only for blocks with others.
    const bool opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(alphaBytes, low)) == 0xffff;
    const __m256d fractions =
        opaque ? _mm256_set1_pd(1.0)
               : _mm256_mask_i32gather_pd(_mm256_setzero_pd(), kByteFractions.data(), alphaBytes,
                                          _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
    const __m256d alpha = clampUnitWide(_mm256_mul_pd(fractions, _mm256_set1_pd(source.opacity)));
    const __m256d wins = _mm256_and_pd(_mm256_cmp_pd(z, storedDepth, _CMP_LT_OQ),
                                       _mm256_cmp_pd(alpha, _mm256_set1_pd(kTransparentAlpha), _CMP_GT_OQ));
    const auto written = static_cast<uint32_t>(_mm256_movemask_pd(wins)) & valid;
    if (written == 0) return true;
    const __m128i written32 = laneMask32(written);
    _mm256_storeu_pd(targets.depth + first,
                     _mm256_blendv_pd(storedDepth, z, _mm256_castsi256_pd(_mm256_cvtepi32_epi64(written32))));
    storeLanes32(targets.surfaceIndex + first, written32, surfaceLanes);
    WinnerIndices& winners = *targets.winners;
    storeLanes32(&winners.triangleAt(first), written32, _mm_set1_epi32(source.triangleIndex));
    storeLanes32(&winners.clipAt(first), written32, _mm_set1_epi32(source.clipTriangle));
    if (targets.preparedIndex != nullptr) {
        storeLanes32(targets.preparedIndex + first, written32, _mm_set1_epi32(source.preparedIndex));
    }
    if (targets.packedColor != nullptr) {
        storeLanes32(reinterpret_cast<int32_t*>(targets.packedColor + first), written32, colors);
    }
    alignas(32) double alphas[4];
    _mm256_store_pd(alphas, alpha);
    for (uint32_t lanes = written; lanes != 0; lanes &= lanes - 1) {
        const auto k = static_cast<size_t>(__builtin_ctz(lanes));
        // Without a same-surface fragment the pixel takes the winner's own mask.
        targets.coverage[first + k] = ownMask;
        targets.color[4 * (first + k) + 3] = alphas[k];
        if (targets.winnerMask != nullptr) targets.winnerMask[first + k] = ownMask;
    }
    return true;
}

// True when four interior pixels first .. first+3 (lane k at depth z[k], only the lanes in `valid`
// taken) all lose the depth test outright: none holds a fragment of the source's own surface, and
// none lies behind z. depthResolve then gives every lane 0, so the block needs neither its texture
// lookups nor its writes. Surfaces hidden behind others are common in layered scenes.
__attribute__((target("avx2"), always_inline)) inline bool blockHidden(const FragmentSource& source, size_t first,
                                                                      uint32_t valid, __m256d z,
                                                                      const RasterTargets& targets) {
    const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(targets.surfaceIndex + first));
    const auto sameSurface = static_cast<uint32_t>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(stored, _mm_set1_epi32(source.surfaceIndex)))));
    const auto nearer = static_cast<uint32_t>(
        _mm256_movemask_pd(_mm256_cmp_pd(z, _mm256_loadu_pd(targets.depth + first), _CMP_LT_OQ)));
    return ((sameSurface | nearer) & valid) == 0;
}

// rasterizeInteriorPortable four pixels at a time: lane k of a block is pixel x + k. The weights and
// the texture coordinates are computed for the whole block in visibleColourVia's order (its sums start
// from 0); the depth resolve then runs pixel by pixel, in order, as in the portable loop.
template <typename Keep>
__attribute__((target("avx2"))) void rasterizeInteriorWide(const FragmentSource& source, const InteriorRun& run,
                                                           const RasterTargets& targets, WinningFragment& won,
                                                           Keep& keep) {
    // x + k + 0.5 is exact for every column, however it is summed.
    const __m256d laneCentres = _mm256_set_pd(3.5, 2.5, 1.5, 0.5);
    const __m256d ax = _mm256_set1_pd(run.ax), bx = _mm256_set1_pd(run.bx), cx = _mm256_set1_pd(run.cx);
    const __m256d bMinusY = _mm256_set1_pd(run.bMinusY), cMinusY = _mm256_set1_pd(run.cMinusY);
    const __m256d edge1Row = _mm256_set1_pd(run.edge1Row), edge2Row = _mm256_set1_pd(run.edge2Row);
    const __m256d cyMinusAy = _mm256_set1_pd(run.cyMinusAy), byMinusAy = _mm256_set1_pd(run.byMinusAy);
    const __m256d scale0 = _mm256_set1_pd(run.scale[0]), scale1 = _mm256_set1_pd(run.scale[1]),
                  scale2 = _mm256_set1_pd(run.scale[2]);
    const __m256d minSum = _mm256_set1_pd(kMinInverseDepthSum), one = _mm256_set1_pd(1.0);
    // The 8-bit front lookup is taken for the whole block too, a point per lane, before the depth test:
    // most blocks are drawn, and the lanes that lose cost less than the lookups one by one.
    const FaceLookup& lookup = source.lookup;
    const bool blockLookups = lookup.frontImage8 != nullptr;
    // A face whose colour does not depend on the texture coordinates has it in every lane at once.
    const bool constantColour = !blockLookups && source.colouring != nullptr && source.colouring->constant;
    const bool blockColours = blockLookups || constantColour;
    const __m128i constantLanes =
        _mm_set1_epi32(constantColour ? static_cast<int32_t>(source.colouring->constantColor) : 0);
    // Blocks are resolved and written whole where no record is kept per winner.
    const bool blockWrites = blockColours && targets.visiblePixels == nullptr;
    const Texture8Lanes texture =
        blockLookups ? texture8Lanes(*lookup.frontImage8, lookup.fallback) : Texture8Lanes{};
    const bool flipU = lookup.flipU;
    // The corners' texture coordinates in every lane, held here: stores into the frame's arrays would
    // otherwise have them read from the source again for every block.
    const __m256d u0 = _mm256_set1_pd(source.u[0]), u1 = _mm256_set1_pd(source.u[1]), u2 = _mm256_set1_pd(source.u[2]);
    const __m256d v0 = _mm256_set1_pd(source.v[0]), v1 = _mm256_set1_pd(source.v[1]), v2 = _mm256_set1_pd(source.v[2]);
    alignas(32) double depth[4], w0[4], w1[4], w2[4], u[4], v[4];
    alignas(16) PackedColor colors[4];
    for (int32_t x = run.first; x <= run.last; x += 4) {
        const __m256d px = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(x)), laneCentres);
        const __m256d pxMinusAx = _mm256_sub_pd(px, ax);
        const __m256d p0 = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(bMinusY, _mm256_sub_pd(cx, px)),
                                                       _mm256_mul_pd(cMinusY, _mm256_sub_pd(bx, px))),
                                         scale0);
        const __m256d p1 = _mm256_mul_pd(_mm256_sub_pd(edge1Row, _mm256_mul_pd(cyMinusAy, pxMinusAx)), scale1);
        const __m256d p2 = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(byMinusAy, pxMinusAx), edge2Row), scale2);
        const __m256d sum = _mm256_add_pd(_mm256_add_pd(p0, p1), p2);
        // Lanes past the run, and lanes at (or past) infinity, are left out.
        const int32_t lanes = std::min(run.last - x + 1, 4);
        const auto valid =
            static_cast<uint32_t>(_mm256_movemask_pd(_mm256_cmp_pd(sum, minSum, _CMP_GT_OQ))) & ((1u << lanes) - 1u);
        if (valid == 0) continue;
        const __m256d z = _mm256_div_pd(one, sum);
        if (lanes == 4 && blockHidden(source, run.rowStart + static_cast<size_t>(x), valid, z, targets)) continue;
        const __m256d weight0 = _mm256_mul_pd(p0, z), weight1 = _mm256_mul_pd(p1, z), weight2 = _mm256_mul_pd(p2, z);
        _mm256_store_pd(depth, z);
        _mm256_store_pd(w0, weight0);
        _mm256_store_pd(w1, weight1);
        _mm256_store_pd(w2, weight2);
        const __m256d uLanes = interpolateWide(u0, u1, u2, weight0, weight1, weight2);
        const __m256d vLanes = interpolateWide(v0, v1, v2, weight0, weight1, weight2);
        if (blockColours) {
            __m128i colorLanes = constantLanes;
            if (blockLookups) {
                // lookUpFaceColourWide's u: clamped, then flipped.
                __m256d mapped = clampUnitWide(uLanes);
                if (flipU) mapped = _mm256_sub_pd(one, mapped);
                colorLanes = lookUpTexture8Lanes(texture, mapped, vLanes);
            }
            if (blockWrites && lanes == 4 &&
                resolveBlockWide(source, run.mask, run.rowStart + static_cast<size_t>(x), valid, z, colorLanes,
                                 targets)) {
                continue;
            }
            _mm_store_si128(reinterpret_cast<__m128i*>(colors), colorLanes);
        } else {
            _mm256_store_pd(u, uLanes);
            _mm256_store_pd(v, vLanes);
        }
        for (int32_t k = 0; k < lanes; ++k) {
            if ((valid >> k & 1u) == 0) continue;
            const size_t pixel = run.rowStart + static_cast<size_t>(x + k);
            const uint8_t mask = depthResolve(source, run.mask, pixel, targets, depth[k]);
            if (mask == 0) continue;
            if (!(blockColours ? visibleLookedUpColour(source, colors[k], won)
                               : visibleColourWide(source, u[k], v[k], won))) {
                continue;
            }
            won.weights.depth = depth[k];
            won.weights.weights[0] = w0[k];
            won.weights.weights[1] = w1[k];
            won.weights.weights[2] = w2[k];
            writeWinner(source, run.mask, mask, pixel, targets, won);
            keep(pixel);
        }
    }
}

// `colouring` is faceColouring of the triangle's surface and face code. The portable loops keep to
// its faceLookup and to faceColour, the reference the wide ones are held to.
void rasterizeTriangleRowVia(const SceneSurface& surface, const FaceColouring& colouring,
                             const PreparedTriangle& triangle, int32_t preparedIndex, int32_t y,
                             const RasterTargets& targets, bool wide) {
    const int32_t faceCode = triangleFaceCode(surface, triangle.triangleIndex);
    FragmentSource source = fragmentSource(surface, faceCode, colouring.lookup, triangle, preparedIndex);
    if (wide) source.colouring = &colouring;
    const size_t rowStart = static_cast<size_t>(y) * targets.width;
    WinningFragment won;
    auto keepRecord = [&](size_t pixel) {
        if (targets.visiblePixels == nullptr) return;
        targets.visiblePixels[pixel] =
            makeVisiblePixel(interpolateFragmentPoint(triangle, surface, won.weights), won.color, won.alpha);
    };
    auto anyPixel = [&](int32_t x, int32_t, const PixelCoverage& coverage) {
        const size_t pixel = rowStart + static_cast<size_t>(x);
        if (resolveFragment(source, coverage, pixel, targets, won)) keepRecord(pixel);
    };
    if (triangle.sevenSampleCoverage) {
        forEachCoveredPixelInRow(triangle, y, anyPixel);
        return;
    }

    // The columns forEachCoveredPixelInRow visits, with its interior pixels taken here: their coverage
    // and weights follow from values fixed for the row.
    const CoverageRow row = coverageRow(triangle, y);
    EdgeLanes edgeLanes;  // both edge spans of the row
    auto edgePixels = [&](int32_t first, int32_t last) {
        if (wide) {
            rasterizeEdgePixelsWide(source, row, first, last, rowStart, targets, won, keepRecord, edgeLanes);
            return;
        }
        for (int32_t x = first; x <= last; ++x) {
            const PixelCoverage coverage = coverPixelInRow(triangle, row, x);
            if (coverage.mask != 0) anyPixel(x, y, coverage);
        }
    };
    auto finishEdgePixels = [&] {
        if (edgeLanes.count > 0) resolveQueuedEdgePixelsWide(source, edgeLanes, y, rowStart, targets, won, keepRecord);
    };
    // A triangle only a few columns wide costs less to test column by column than to bound.
    if (triangle.maxX - triangle.minX < kNarrowTriangleColumns) {
        edgePixels(triangle.minX, triangle.maxX);
        finishEdgePixels();
        return;
    }
    const RowColumns columns = rowColumns(triangle, row);
    if (columns.first > columns.last) return;
    edgePixels(columns.first, std::min(columns.interiorFirst - 1, columns.last));
    if (columns.interiorFirst <= columns.interiorLast) {
        const InteriorRun run = interiorRun(triangle, row, columns, rowStart);
        if (wide) {
            rasterizeInteriorWide(source, run, targets, won, keepRecord);
        } else {
            rasterizeInteriorPortable(source, run, targets, won, keepRecord);
        }
    }
    edgePixels(std::max(columns.first, columns.interiorLast + 1), columns.last);
    finishEdgePixels();
}

}  // namespace

void rasterizeTriangleRow(const SceneSurface& surface, const PreparedTriangle& triangle, int32_t preparedIndex,
                          int32_t y, const RasterTargets& targets) {
    const FaceColouring colouring = faceColouring(surface, triangleFaceCode(surface, triangle.triangleIndex));
    rasterizeTriangleRowVia(surface, colouring, triangle, preparedIndex, y, targets, kWideRows);
}

void rasterizeTriangleRow(const SceneSurface& surface, const FaceColouring& colouring,
                          const PreparedTriangle& triangle, int32_t preparedIndex, int32_t y,
                          const RasterTargets& targets) {
    rasterizeTriangleRowVia(surface, colouring, triangle, preparedIndex, y, targets, kWideRows);
}

void rasterizeTriangleRowPortable(const SceneSurface& surface, const PreparedTriangle& triangle,
                                  int32_t preparedIndex, int32_t y, const RasterTargets& targets) {
    FaceColouring colouring;
    colouring.lookup = faceLookup(surface, triangleFaceCode(surface, triangle.triangleIndex));
    rasterizeTriangleRowVia(surface, colouring, triangle, preparedIndex, y, targets, false);
}

}  // namespace zephrin
