// The CPU band raster: the frame's rows cut into bands, each prepared triangle listed in the bands it
// reaches, and one call per band run in parallel; a band writes only its own rows.
#include "renderer/raster/raster_band.h"

#include <algorithm>

#include "renderer/raster/raster_fragment.h"
#include "renderer/runtime/worker_pool.h"

namespace zephrin {

void rasterBand(const std::vector<SceneSurface>& surfaces, const std::vector<PreparedTriangle>& prepared,
                const std::vector<int32_t>& bandList, int32_t firstRow, int32_t endRow, FrameBuffers& buffers,
                const RowFinished& rowFinished) {
    if (!hasRasterTargets(buffers)) return;
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, buffers.rasterHeight);
    if (firstRow >= endRow) return;

    WinnerIndices winners;
    bindWinnerIndices(buffers, firstRow, endRow, winners);
    const RasterTargets targets = rasterTargets(buffers, winners);

    // Row by row, each row's triangles in prepared order: every pixel meets its fragments in the
    // same order as a walk triangle by triangle, while the pixel arrays of one row stay in the cache
    // for all the triangles that cross it instead of being fetched again by each.
    const auto rows = static_cast<size_t>(endRow - firstRow);
    // The row of the band where a listed triangle starts; -1 for an index or a triangle outside it.
    auto startRow = [&](int32_t preparedIndex) -> int32_t {
        if (preparedIndex < 0 || static_cast<size_t>(preparedIndex) >= prepared.size()) return -1;
        const PreparedTriangle& triangle = prepared[static_cast<size_t>(preparedIndex)];
        if (triangle.maxY < firstRow || triangle.minY >= endRow) return -1;
        return std::max(triangle.minY, firstRow) - firstRow;
    };
    std::vector<int32_t> startCount(rows + 1, 0);
    for (int32_t preparedIndex : bandList) {
        const int32_t r = startRow(preparedIndex);
        if (r >= 0) ++startCount[static_cast<size_t>(r) + 1];
    }
    for (size_t r = 0; r < rows; ++r) startCount[r + 1] += startCount[r];
    std::vector<int32_t> entering(static_cast<size_t>(startCount[rows]));  // grouped by start row
    std::vector<int32_t> cursor(startCount.begin(), startCount.end() - 1);
    for (int32_t preparedIndex : bandList) {
        const int32_t r = startRow(preparedIndex);
        if (r >= 0) entering[static_cast<size_t>(cursor[static_cast<size_t>(r)]++)] = preparedIndex;
    }

    // How each surface's faces are coloured, decided once for the band rather than for every row of
    // every triangle; other face codes are decided row by row.
    constexpr int32_t kFaceCodes = kFaceSideThickness + 1;
    std::vector<FaceColouring> colourings(surfaces.size() * kFaceCodes);
    for (size_t s = 0; s < surfaces.size(); ++s) {
        for (int32_t f = 0; f < kFaceCodes; ++f) {
            colourings[s * kFaceCodes + static_cast<size_t>(f)] = faceColouring(surfaces[s], f);
        }
    }

    // The band list is in prepared order, so each row's newcomers are too, and merging them into the
    // triangles still open keeps the order.
    std::vector<int32_t> open, merged;
    for (int32_t y = firstRow; y < endRow; ++y) {
        const auto r = static_cast<size_t>(y - firstRow);
        const int32_t* newFirst = entering.data() + startCount[r];
        const int32_t* newLast = entering.data() + startCount[r + 1];
        merged.clear();
        size_t k = 0;
        for (const int32_t* n = newFirst; n != newLast; ++n) {
            for (; k < open.size() && open[k] < *n; ++k) merged.push_back(open[k]);
            merged.push_back(*n);
        }
        merged.insert(merged.end(), open.begin() + static_cast<std::ptrdiff_t>(k), open.end());
        open.clear();
        for (int32_t preparedIndex : merged) {
            const PreparedTriangle& triangle = prepared[static_cast<size_t>(preparedIndex)];
            if (triangle.maxY < y) continue;
            if (triangle.maxY > y) open.push_back(preparedIndex);
            const auto s = static_cast<size_t>(triangle.surfaceIndex);
            const int32_t faceCode = triangleFaceCode(surfaces[s], triangle.triangleIndex);
            if (faceCode >= 0 && faceCode < kFaceCodes) {
                rasterizeTriangleRow(surfaces[s], colourings[s * kFaceCodes + static_cast<size_t>(faceCode)], triangle,
                                     preparedIndex, y, targets);
            } else {
                rasterizeTriangleRow(surfaces[s], triangle, preparedIndex, y, targets);
            }
        }
        // No later triangle of the band reaches row y.
        if (rowFinished.call != nullptr) rowFinished.call(rowFinished.context, y);
    }
}

int32_t rasterBandCount(int32_t rasterHeight) {
    return workerCount(static_cast<uint32_t>(std::max(rasterHeight, 0)), kRasterRowBlock);
}

int32_t rasterBandsPerWorker(int32_t rasterHeight, int32_t workers) {
    if (workers <= 1 || rasterHeight <= 0) return 1;
    return std::clamp(rasterHeight / (workers * kMinRasterBandRows), 1, kMaxRasterBandsPerWorker);
}

int32_t rasterBandOfRow(int32_t y, int32_t rasterHeight, int32_t bandCount) {
    int64_t band = ((static_cast<int64_t>(y) + 1) * bandCount - 1) / std::max(rasterHeight, 1);
    return static_cast<int32_t>(std::clamp<int64_t>(band, 0, bandCount - 1));
}

int32_t rasterBandFirstRow(int32_t band, int32_t rasterHeight, int32_t bandCount) {
    return static_cast<int32_t>(static_cast<int64_t>(rasterHeight) * band / std::max(bandCount, 1));
}

RasterBands binRasterBands(const std::vector<PreparedTriangle>& prepared, int32_t rasterHeight, int32_t bandCount) {
    bandCount = std::max(bandCount, 1);
    RasterBands bands;
    bands.bands.resize(static_cast<size_t>(bandCount));

    // Counting pass first, so that each band's list is allocated once.
    std::vector<size_t> counts(static_cast<size_t>(bandCount), 0);
    for (const PreparedTriangle& triangle : prepared) {
        int32_t first = rasterBandOfRow(triangle.minY, rasterHeight, bandCount);
        int32_t last = rasterBandOfRow(triangle.maxY, rasterHeight, bandCount);
        for (int32_t b = first; b <= last; ++b) ++counts[static_cast<size_t>(b)];
    }
    for (size_t b = 0; b < counts.size(); ++b) bands.bands[b].reserve(counts[b]);

    for (size_t i = 0; i < prepared.size(); ++i) {
        int32_t first = rasterBandOfRow(prepared[i].minY, rasterHeight, bandCount);
        int32_t last = rasterBandOfRow(prepared[i].maxY, rasterHeight, bandCount);
        for (int32_t b = first; b <= last; ++b) bands.bands[static_cast<size_t>(b)].push_back(static_cast<int32_t>(i));
    }
    return bands;
}

}  // namespace zephrin
