// Micro-benchmarks of the CPU rasterizer: preparation (clip, project, set-up) and the band pixel pass.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "renderer/frame/raster.h"

namespace zephrin {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// Eight flat layers of 7x5 vertices (the flat grid), tilted and spread in depth, untextured.
std::vector<SceneSurface> makeSurfaces(SceneCamera& camera) {
    camera.compWidth = camera.destWidth = kWidth;
    camera.compHeight = camera.destHeight = kHeight;
    camera.focal = 1976.93;
    std::vector<SceneSurface> surfaces;
    for (int layer = 0; layer < 8; ++layer) {
        SceneSurface surface;
        double angle = (layer - 4) * 0.15;
        double width = 900, height = 600;
        for (int i = 0; i <= 4; ++i) {
            for (int j = 0; j <= 6; ++j) {
                SurfaceVertex v;
                double x = width * (j / 6.0 - 0.5), y = height * (i / 4.0 - 0.5);
                v.cameraPosition = {x * std::cos(angle) + (layer % 4 - 1.5) * 400, y + (layer / 4 - 0.5) * 500,
                                    1976.93 + x * std::sin(angle) + layer * 40};
                v.worldPosition = v.cameraPosition;
                v.u = j / 6.0;
                v.v = i / 4.0;
                surface.mesh.vertices.push_back(v);
            }
        }
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 6; ++j) {
                int a = i * 7 + j, b = a + 1, c = a + 7, d = c + 1;
                surface.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
                surface.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
            }
        }
        surfaces.push_back(std::move(surface));
    }
    return surfaces;
}

void BM_PrepareRaster(benchmark::State& state) {
    SceneCamera camera;
    std::vector<SceneSurface> surfaces = makeSurfaces(camera);
    for (auto _ : state) {
        std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
        benchmark::DoNotOptimize(prepared.data());
    }
}
BENCHMARK(BM_PrepareRaster);

void BM_RasterBand(benchmark::State& state) {
    SceneCamera camera;
    std::vector<SceneSurface> surfaces = makeSurfaces(camera);
    std::vector<PreparedTriangle> prepared = prepareRaster(camera, surfaces, kWidth, kHeight);
    RasterBands bands = binRasterBands(prepared, kHeight, 1);
    FrameBuffers buffers;
    buffers.rasterWidth = kWidth;
    buffers.rasterHeight = kHeight;
    for (auto _ : state) {
        state.PauseTiming();
        size_t n = buffers.pixelCount();
        buffers.depth.assign(n, INFINITY);
        buffers.coverage.assign(n, 0);
        buffers.color.assign(n * 4, 0.0);
        buffers.surfaceIndex.assign(n, -1);
        buffers.triangleIndex.assign(n, -1);
        buffers.clipTriangle.assign(n, -1);
        buffers.preparedIndex.assign(n, -1);
        state.ResumeTiming();
        rasterBand(surfaces, prepared, bands.bands[0], 0, kHeight, buffers);
        benchmark::DoNotOptimize(buffers.depth.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(buffers.pixelCount()));
}
BENCHMARK(BM_RasterBand)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
