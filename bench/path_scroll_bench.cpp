// Micro-benchmarks of Path Select and Scroll Mode: turning 256 sampled origins of a moving layer into
// a path and laying a layer along it, and the Scroll Mode slab at the full caps with both ends rolled.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "renderer/geometry/path_mesh.h"
#include "renderer/geometry/path_samples.h"
#include "renderer/geometry/scroll_mesh.h"

namespace zephrin {
namespace {

// A looping flight over a second of keyframes, as a null layer's motion path might be.
std::vector<Vec3> flightOrigins(int32_t count) {
    std::vector<Vec3> origins;
    origins.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / (count - 1);
        origins.push_back(Vec3{200.0 + 1500.0 * t, 540.0 + 300.0 * std::sin(2.0 * std::numbers::pi * t),
                               200.0 * std::cos(3.0 * std::numbers::pi * t)});
    }
    return origins;
}

void BM_PathSamples256(benchmark::State& state) {
    const std::vector<Vec3> origins = flightOrigins(kMaxPathSamples);
    const Matrix4 worldToLayer = translationMatrix(Vec3{-960.0, -540.0, 0.0});
    for (auto _ : state) {
        PathSamples samples = makePathSamples(origins, std::nullopt, worldToLayer);
        benchmark::DoNotOptimize(samples.length);
    }
    state.SetItemsProcessed(state.iterations() * kMaxPathSamples);
}
BENCHMARK(BM_PathSamples256);

void BM_PathMesh256Samples(benchmark::State& state) {
    const PathSamples samples = makePathSamples(flightOrigins(kMaxPathSamples), std::nullopt, std::nullopt);
    MeshPlacement placement;
    placement.width = 1000;
    placement.height = 200;
    size_t triangles = 0;
    for (auto _ : state) {
        SceneSurface surface;
        surface.controls.mode = 2;
        surface.controls.subdivisionX = 255;
        surface.controls.subdivisionY = 8;
        surface.controls.thickness = 40.0;
        buildPathMesh(surface, samples, placement);
        triangles = surface.mesh.triangles.size();
        benchmark::DoNotOptimize(surface.mesh.vertices.data());
    }
    state.counters["tris"] = static_cast<double>(triangles);
}
BENCHMARK(BM_PathMesh256Samples)->Unit(benchmark::kMicrosecond);

void BM_ScrollMeshFullCaps(benchmark::State& state) {
    MeshPlacement placement;
    placement.width = 1000;
    placement.height = 500;
    size_t triangles = 0;
    for (auto _ : state) {
        SceneSurface surface;
        surface.controls.mode = 3;
        surface.controls.subdivisionX = kMaxSubdivisionX;
        surface.controls.subdivisionY = kMaxSubdivisionY;
        surface.controls.thickness = 40.0;
        surface.controls.leftCurl = CurlControls{true, 2, 720.0, 0.0, 45.0, 4.0};
        surface.controls.rightCurl = CurlControls{true, 2, 540.0, 12.0, 60.0, 0.0};
        buildScrollMesh(surface, placement);
        triangles = surface.mesh.triangles.size();
        benchmark::DoNotOptimize(surface.mesh.vertices.data());
    }
    state.counters["tris"] = static_cast<double>(triangles);
}
BENCHMARK(BM_ScrollMeshFullCaps)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
