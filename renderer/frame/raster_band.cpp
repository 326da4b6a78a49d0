// The CPU band raster: one call per band of rows, run in parallel; a band writes only its own rows.
#include <algorithm>

#include "renderer/frame/raster.h"
#include "renderer/frame/raster_fragment.h"
#include "renderer/frame/texture_sampling.h"

namespace zephrin {

namespace {

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

void rasterBand(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                const std::vector<int32_t>& bandList, int32_t firstRow, int32_t endRow, FrameBuffers& buffers) {
    if (!hasRasterTargets(buffers)) return;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, buffers.rasterHeight);
    if (firstRow >= endRow) return;

    WinnerIndices winners;
    bindWinnerIndices(buffers, firstRow, endRow, winners);
    const bool keepsVisiblePixels = buffers.visiblePixels.size() == buffers.pixelCount();
    const size_t width = static_cast<size_t>(buffers.rasterWidth);

    for (int32_t preparedIndex : bandList) {
        if (preparedIndex < 0 || static_cast<size_t>(preparedIndex) >= prepared.size()) continue;
        const PreparedTriangle& triangle = prepared[static_cast<size_t>(preparedIndex)];
        forEachCoveredPixelInRows(triangle, firstRow, endRow, [&](int32_t x, int32_t y, const PixelCoverage& coverage) {
            WinningFragment won;
            if (!rasterizeFragment(surfaces, triangle, preparedIndex, coverage, x, y, buffers, winners, won)) return;
            if (!keepsVisiblePixels) return;
            const SceneSurface& surface = surfaces[static_cast<size_t>(triangle.surfaceIndex)];
            FragmentPoint point = interpolateFragmentPoint(triangle, surface, won.weights);
            buffers.visiblePixels[static_cast<size_t>(y) * width + static_cast<size_t>(x)] =
                makeVisiblePixel(point, won.color, won.alpha);
        });
    }
}

}  // namespace zephrin
