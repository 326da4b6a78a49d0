// The per-row path: every surface triangle is clipped, projected and rasterized for one block of
// rows, with the tile path's set-up and per-pixel rules, shading each fragment as it is drawn instead
// of once per visible pixel afterwards.
#include "renderer/shading/per_triangle_pass.h"

#include <algorithm>
#include <cmath>

#include "renderer/shading/shade_point.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

namespace {

// A fragment of the shading pass is the visibility pass's winner when its depth matches this closely.
constexpr double kWinnerDepthTolerance = 1e-9;

// The frame's camera with the raster size in place of the destination size.
SceneCamera rasterCameraOf(const ShadingFrame& frame) {
    if (frame.rasterCamera != nullptr) return *frame.rasterCamera;
    SceneCamera camera = frame.scene->camera;
    camera.destWidth = frame.buffers->rasterWidth;
    camera.destHeight = frame.buffers->rasterHeight;
    return camera;
}

void writeUnlitColour(FrameBuffers& buffers, size_t pixel, PackedColor color, double alpha) {
    BaseColor base = unpackBaseColor(color, 1.0);
    double* out = &buffers.color[4 * pixel];
    out[0] = base.red;
    out[1] = base.green;
    out[2] = base.blue;
    out[3] = alpha;
}

// Second pass with lights: shade the fragment only where it is the pixel's recorded winner.
void shadeWinner(const ShadingFrame& frame, const PreparedTriangle& triangle, const PixelCoverage& coverage, int32_t x,
                 int32_t y) {
    FrameBuffers& buffers = *frame.buffers;
    const size_t pixel = static_cast<size_t>(y) * static_cast<size_t>(buffers.rasterWidth) + static_cast<size_t>(x);
    if (buffers.surfaceIndex[pixel] != triangle.surfaceIndex || buffers.triangleIndex[pixel] != triangle.triangleIndex ||
        buffers.clipTriangle[pixel] != triangle.clipTriangle) {
        return;
    }
    FragmentWeights weights;
    if (!interpolateAt(triangle, coverage.centroidX, coverage.centroidY, weights)) return;
    if (std::fabs(weights.depth - buffers.depth[pixel]) > kWinnerDepthTolerance) return;

    const SceneSurface& surface = frame.scene->surfaces[static_cast<size_t>(triangle.surfaceIndex)];
    const int32_t faceCode = triangleFaceCode(surface, triangle.triangleIndex);
    PackedColor color = 0;
    double alpha = 0.0;
    if (!visibleFragmentColour(surface, faceCode, triangle, weights, color, alpha)) return;
    writeShadedColour(buffers, pixel, shadeFragment(frame, triangle, surface, weights, faceCode, color, pixel));
}

}  // namespace

void rasterizePerTriangle(const ShadingFrame& frame, PerTrianglePass pass, int32_t firstRow, int32_t endRow) {
    if (frame.scene == nullptr || frame.buffers == nullptr) return;
    FrameBuffers& buffers = *frame.buffers;
    if (!hasRasterTargets(buffers)) return;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, buffers.rasterHeight);
    if (firstRow >= endRow) return;

    const std::vector<SceneSurface>& surfaces = frame.scene->surfaces;
    const SceneCamera camera = rasterCameraOf(frame);
    const size_t width = static_cast<size_t>(buffers.rasterWidth);

    if (pass == PerTrianglePass::ShadeWinners) {
        // The winners are known only from the frame's index arrays; without them nothing qualifies.
        if (buffers.triangleIndex.size() != buffers.pixelCount() || buffers.clipTriangle.size() != buffers.pixelCount()) {
            return;
        }
        forEachPreparedTriangle(camera, surfaces, buffers.rasterWidth, buffers.rasterHeight,
                                [&](const PreparedTriangle& triangle, int32_t) {
                                    forEachCoveredPixelInRows(
                                        triangle, firstRow, endRow,
                                        [&](int32_t x, int32_t y, const PixelCoverage& coverage) {
                                            shadeWinner(frame, triangle, coverage, x, y);
                                        });
                                });
        return;
    }

    // A frame without lights has no index arrays; the winners of these rows are then kept here, so that
    // the same-surface rule decides exactly as it does on the tile path.
    WinnerIndices winners;
    bindWinnerIndices(buffers, firstRow, endRow, winners);
    forEachPreparedTriangle(
        camera, surfaces, buffers.rasterWidth, buffers.rasterHeight,
        [&](const PreparedTriangle& triangle, int32_t preparedIndex) {
            forEachCoveredPixelInRows(triangle, firstRow, endRow, [&](int32_t x, int32_t y, const PixelCoverage& coverage) {
                WinningFragment won;
                if (!rasterizeFragment(surfaces, triangle, preparedIndex, coverage, x, y, buffers, winners, won)) {
                    return;
                }
                const size_t pixel = static_cast<size_t>(y) * width + static_cast<size_t>(x);
                if (pass == PerTrianglePass::Visibility) {
                    writeUnlitColour(buffers, pixel, won.color, won.alpha);
                    return;
                }
                const SceneSurface& surface = surfaces[static_cast<size_t>(triangle.surfaceIndex)];
                writeShadedColour(buffers, pixel,
                                  shadeFragment(frame, triangle, surface, won.weights, won.faceCode, won.color, pixel));
            });
        });
}

}  // namespace zephrin
