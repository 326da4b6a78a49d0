// Deferred shading (tile path): once per visible pixel, after the raster has resolved visibility, so
// that lighting never runs for fragments that end up hidden.
#include "renderer/shading/deferred_shading.h"

#include <algorithm>

#include "renderer/shading/shade_pair.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {

namespace {

// Lit points are interpolated this many at a time before any of them is shaded: the interpolation's
// divisions and square roots of neighbouring pixels then overlap one another instead of each waiting
// between two shadow-ray walks.
constexpr size_t kShadeBatch = 32;

using PendingPoint = LitPoint;

void writeShadowPost(FrameBuffers& buffers, size_t pixel, const ShadingResult& result, int32_t faceCode) {
    double visibility = std::clamp(result.minimumVisibility, 0.0, 1.0);
    buffers.shadowVisibility[pixel] = visibility;
    buffers.filteredVisibility[pixel] = visibility;
    buffers.radiusField[pixel] = std::clamp(result.blockerHint, 0.0, 1.0);
    ShadowSlope slope = result.lightTested ? result.slope : ShadowSlope{};
    buffers.slope[3 * pixel + 0] = static_cast<float>(slope.red);
    buffers.slope[3 * pixel + 1] = static_cast<float>(slope.green);
    buffers.slope[3 * pixel + 2] = static_cast<float>(slope.blue);
    // Side walls take no part in shadow filtering: their shading ignores the lights.
    bool sideWall = faceCode == kFaceSideFrontAlpha || faceCode == kFaceSideThickness;
    buffers.shadowMark[pixel] = sideWall ? 0 : 1;
}

// What the pass needs of a pixel's winner, looked up once for each run of pixels that one prepared
// triangle won: rows are mostly long runs of one winner, while its prepared record and its mesh
// triangle's face code lie far apart in memory, and reading them again for every pixel was most of
// the pass's time in frames without lights.
struct WinnerRun {
    int32_t preparedIndex = -1;
    int32_t surfaceIndex = -1, triangleIndex = -1, clipTriangle = -1;
    int32_t faceCode = 0;
    bool unlit = false;
    const PreparedTriangle* triangle = nullptr;
    const SceneSurface* surface = nullptr;
};

WinnerRun winnerRun(const std::vector<PreparedTriangle>& prepared, int32_t preparedIndex,
                    const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights) {
    WinnerRun run;
    run.preparedIndex = preparedIndex;
    run.triangle = &prepared[static_cast<size_t>(preparedIndex)];
    run.surfaceIndex = run.triangle->surfaceIndex;
    run.triangleIndex = run.triangle->triangleIndex;
    run.clipTriangle = run.triangle->clipTriangle;
    run.surface = &surfaces[static_cast<size_t>(run.surfaceIndex)];
    run.faceCode = triangleFaceCode(*run.surface, run.triangleIndex);
    // Unlit points show their base colour whatever their position and normal.
    run.unlit = shadesUnlit(run.faceCode, *run.surface, lights);
    return run;
}

// unlitShading written straight into the pixel: its colour is the packed colour's channels, and its
// alpha the one visibleAlpha worked out from the same colour and surface.
void writeUnlitColour(FrameBuffers& buffers, size_t pixel, PackedColor color, double alpha) {
    double* out = &buffers.color[4 * pixel];
    out[0] = kByteFractions[packedRed(color)];
    out[1] = kByteFractions[packedGreen(color)];
    out[2] = kByteFractions[packedBlue(color)];
    out[3] = alpha;
}

// The pixels of one row from column x on that the winner of `winner` (unlit) holds with a kept
// colour, in a loop of their own: in frames without lights that is nearly every pixel, and this loop
// keeps its few values in registers. Records that disagree with the winner are left alone, as the
// general loop leaves them. Returns the first column it leaves to the general loop: the run's end,
// or a pixel without a kept colour.
int32_t shadeUnlitRun(FrameBuffers& buffers, const WinnerRun& winner, size_t rowStart, int32_t x, bool checksTriangle,
                      bool checksClip) {
    const int32_t* preparedIndex = buffers.preparedIndex.data() + rowStart;
    const int32_t* surfaceIndex = buffers.surfaceIndex.data() + rowStart;
    const int32_t* triangleIndex = checksTriangle ? buffers.triangleIndex.data() + rowStart : nullptr;
    const int32_t* clipTriangle = checksClip ? buffers.clipTriangle.data() + rowStart : nullptr;
    const uint32_t* packedColor = buffers.packedColor.data() + rowStart;
    const SceneSurface& surface = *winner.surface;
    for (; x < buffers.rasterWidth && preparedIndex[x] == winner.preparedIndex; ++x) {
        if (surfaceIndex[x] != winner.surfaceIndex) continue;
        if (triangleIndex != nullptr && triangleIndex[x] != winner.triangleIndex) continue;
        if (clipTriangle != nullptr && clipTriangle[x] != winner.clipTriangle) continue;
        const PackedColor kept = packedColor[x];
        if (packedAlpha(kept) == 0) break;
        double alpha = 0.0;
        if (!visibleAlpha(surface, kept, alpha)) continue;
        writeUnlitColour(buffers, rowStart + static_cast<size_t>(x), kept, alpha);
    }
    return x;
}

}  // namespace

void shadeVisiblePixels(const ShadingFrame& frame, int32_t firstRow, int32_t endRow) {
    shadeSpreadRows(frame, firstRow, endRow, RowSpread{});
}

void shadeSpreadRows(const ShadingFrame& frame, int32_t firstItem, int32_t endItem, const RowSpread& spread) {
    if (frame.scene == nullptr || frame.prepared == nullptr || frame.buffers == nullptr) return;
    FrameBuffers& buffers = *frame.buffers;
    const std::vector<PreparedTriangle>& prepared = *frame.prepared;
    const std::vector<SceneSurface>& surfaces = frame.scene->surfaces;
    const size_t pixels = buffers.pixelCount();
    // Prepared indices come from the CPU raster's buffer; a GPU raster result, once that stage exists,
    // supplies them (and the masks for pixels whose centre samples miss) in its place.
    if (!hasRasterTargets(buffers) || buffers.preparedIndex.size() != pixels) return;
    firstItem = std::max(firstItem, 0);
    // Dealing rows out evenly adds items past the rows; they name rows past the last, skipped below.
    endItem = std::min(endItem, spread.items > 0 ? static_cast<int32_t>(spread.items) : buffers.rasterHeight);

    const bool checksTriangle = buffers.triangleIndex.size() == pixels;
    const bool checksClip = buffers.clipTriangle.size() == pixels;
    const bool shadowPost = keepsShadowPost(buffers);
    // The CPU raster left each winner's texture colour beside its prepared index; a GPU raster does not.
    const bool rasterColour = !frame.gpuRasterWon && buffers.packedColor.size() == pixels;
    const bool rasterMask = !frame.gpuRasterWon && buffers.winnerMask.size() == pixels;
    // Runs of unlit winners with kept colours take their own loop where no shadow-post values are due.
    const bool unlitRuns = rasterColour && !shadowPost;
    const std::vector<SceneLight>& lights = frame.scene->lights;
    const size_t width = static_cast<size_t>(buffers.rasterWidth);
    // The frame's terms of the lighting model, or this call's own where the frame has none.
    ShadingTerms ownTerms;
    const ShadingTerms* terms = frame.terms;
    if (terms == nullptr || terms->lights.size() != lights.size() || terms->surfaces.size() != surfaces.size()) {
        ownTerms = shadingTermsOf(*frame.scene);
        terms = &ownTerms;
    }
    // This thread's shadow-ray memos, one per light: neighbouring pixels share their blockers.
    std::vector<ShadowRayMemo> memos(lights.size());
    std::vector<PendingPoint> pending(kShadeBatch);
    size_t pendingCount = 0;
    auto writePending = [&](const PendingPoint& p, const ShadingResult& result) {
        const auto pixel = static_cast<size_t>(p.point.pixelIndex);
        writeShadedColour(buffers, pixel, result);
        if (shadowPost) writeShadowPost(buffers, pixel, result, p.point.faceCode);
    };
    std::vector<ShadingResult> shaded(kShadeBatch);
    // Only points that take lights are queued. They are shaded a few at a time, in the order they came.
    auto shadePending = [&]() {
        fillFragmentPoints(pending.data(), pendingCount);
        shadeLitPoints(pending.data(), pendingCount, *terms, frame, shadowPost, shaded.data());
        for (size_t i = 0; i < pendingCount; ++i) writePending(pending[i], shaded[i]);
        pendingCount = 0;
    };

    for (int32_t item = firstItem; item < endItem; ++item) {
        const auto y = static_cast<int32_t>(spread.rowOf(static_cast<uint32_t>(item)));
        if (y >= buffers.rasterHeight) continue;
        // Neighbouring pixels mostly share a winner, whose row terms are then reused.
        CoverageRow row;
        RowSpans spans;
        int32_t rowTriangle = -1;
        WinnerRun winner;
        for (int32_t x = 0; x < buffers.rasterWidth; ++x) {
            const size_t pixel = static_cast<size_t>(y) * width + static_cast<size_t>(x);
            int32_t preparedIndex = buffers.preparedIndex[pixel];
            if (preparedIndex < 0) continue;
            if (preparedIndex != winner.preparedIndex) {
                if (static_cast<size_t>(preparedIndex) >= prepared.size()) continue;
                winner = winnerRun(prepared, preparedIndex, surfaces, lights);
            }
            if (unlitRuns && winner.unlit) {
                const int32_t next = shadeUnlitRun(buffers, winner, static_cast<size_t>(y) * width, x,
                                                   checksTriangle, checksClip);
                if (next > x) {
                    x = next - 1;
                    continue;
                }
            }
            // Only a record that agrees with its prepared triangle in every index is the raster's winner.
            if (buffers.surfaceIndex[pixel] != winner.surfaceIndex) continue;
            if (checksTriangle && buffers.triangleIndex[pixel] != winner.triangleIndex) continue;
            if (checksClip && buffers.clipTriangle[pixel] != winner.clipTriangle) continue;

            const PreparedTriangle& triangle = *winner.triangle;
            const SceneSurface& surface = *winner.surface;
            const int32_t faceCode = winner.faceCode;
            const bool unlit = winner.unlit;
            // A colour kept by this frame's raster belongs to the winner whose coverage, weights and depth
            // the raster computed and stored, so an unlit point needs none of them again. A kept alpha of
            // 0 was never a winner's: such a pixel did not come from this raster.
            const PackedColor kept = rasterColour ? buffers.packedColor[pixel] : 0;
            const bool keptColour = packedAlpha(kept) != 0;

            FragmentWeights weights;
            if (!keptColour || !unlit) {
                PixelCoverage coverage;
                const uint8_t keptMask = rasterMask ? buffers.winnerMask[pixel] : 0;
                if (keptMask != 0) {
                    // The raster's winner: its own samples give the same centroid without testing them again.
                    coverage = coverageFromMask(x, y, keptMask);
                } else {
                    if (preparedIndex != rowTriangle) {
                        row = coverageRow(triangle, y);
                        spans = rowSpans(triangle, row);
                        rowTriangle = preparedIndex;
                    }
                    // Inside the interior span every sample is covered: the raster's own shortcut.
                    const bool interior = x >= spans.interiorFirst && x <= spans.interiorLast;
                    coverage = interior ? coverInteriorPixel(triangle, row, x) : coverPixelInRow(triangle, row, x);
                }
                if (coverage.mask == 0) continue;
                if (!interpolateAt(triangle, coverage.centroidX, coverage.centroidY, weights)) continue;
                buffers.depth[pixel] = weights.depth;
            }

            PackedColor color = kept;
            double alpha = 0.0;
            if (keptColour) {
                if (!visibleAlpha(surface, color, alpha)) continue;
            } else if (!visibleFragmentColour(surface, faceCode, triangle, weights, color, alpha)) {
                continue;
            }
            if (unlit) {
                writeUnlitColour(buffers, pixel, color, alpha);
                if (shadowPost) writeShadowPost(buffers, pixel, unlitShading(color, surface), faceCode);
                continue;
            }
            // Shaded in the same order as they come, so each light's memo sees the same run of rays.
            // Its positions and normals are interpolated with the batch's.
            PendingPoint& next = pending[pendingCount++];
            next.point.faceCode = faceCode;
            next.point.baseColor = color;
            next.point.surfaceIndex = triangle.surfaceIndex;
            next.point.triangleIndex = triangle.triangleIndex;
            next.point.pixelIndex = static_cast<int32_t>(pixel);
            next.point.shadowMemos = memos.data();
            next.surface = &surface;
            next.surfaceTerms = &terms->surfaces[static_cast<size_t>(triangle.surfaceIndex)];
            next.triangle = &triangle;
            next.weights = weights;
            if (pendingCount == kShadeBatch) shadePending();
        }
        shadePending();
    }
}

}  // namespace zephrin
