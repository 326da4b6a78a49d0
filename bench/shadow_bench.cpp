// Micro-benchmarks of the ray-traced shadows: hierarchy build, and any-hit and nearest-hit rays from
// points on the surfaces toward a point light, on one and two threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "renderer/runtime/worker_pool.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kRayCount = 2'000'000;
constexpr uint32_t kRayBlock = 4096;

// A bent slab: a sheet curved like a page, with front and back grids 12 pixels apart and its two long
// walls, so that about 4 * columns * rows triangles.
SceneSurface bentSlab(int32_t columns, int32_t rows, double offsetX, double offsetZ) {
    SceneSurface s;
    s.kind = kSurfaceBent;
    s.castsShadows = true;
    const double width = 900.0, height = 600.0, thickness = 12.0;
    for (int side = 0; side < 2; ++side) {
        for (int32_t i = 0; i <= rows; ++i) {
            for (int32_t j = 0; j <= columns; ++j) {
                double t = static_cast<double>(j) / columns;
                double angle = t * kPi * 1.2;
                double radius = 300.0 - side * thickness;
                SurfaceVertex v;
                v.worldPosition =
                    Vec3{offsetX + radius * std::sin(angle) - width * 0.5 * (1.0 - t),
                         height * (static_cast<double>(i) / rows - 0.5) + 540.0, offsetZ - radius * std::cos(angle)};
                v.u = t;
                v.v = static_cast<double>(i) / rows;
                s.mesh.vertices.push_back(v);
            }
        }
    }
    const int32_t stride = columns + 1, back = (rows + 1) * stride;
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            int32_t a = i * stride + j, b = a + 1, c = a + stride, d = c + 1;
            s.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            s.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
            s.mesh.triangles.push_back({back + a, back + c, back + b, kFaceBack, 0});
            s.mesh.triangles.push_back({back + c, back + d, back + b, kFaceBack, 0});
        }
    }
    for (int32_t j = 0; j < columns; ++j) {
        for (int32_t row : {0, rows}) {
            int32_t a = row * stride + j, b = a + 1;
            s.mesh.triangles.push_back({a, b, back + a, kFaceSideThickness, 0});
            s.mesh.triangles.push_back({b, back + b, back + a, kFaceSideThickness, 0});
        }
    }
    return s;
}

SceneSurface floorSquare() {
    SceneSurface s;
    s.acceptsShadows = true;
    for (const Vec3& p :
         {Vec3{-1500, 900, -1500}, Vec3{3500, 900, -1500}, Vec3{3500, 900, 2500}, Vec3{-1500, 900, 2500}}) {
        SurfaceVertex v;
        v.worldPosition = p;
        s.mesh.vertices.push_back(v);
    }
    s.mesh.triangles.push_back({0, 1, 2, kFaceFront, 0});
    s.mesh.triangles.push_back({0, 2, 3, kFaceFront, 0});
    return s;
}

struct RaySet {
    std::vector<Vec3> origins, directions;
    std::vector<double> lengths;
};

struct ShadowScene {
    std::vector<SceneSurface> surfaces;
    ShadowBvh bvh;
    RaySet rays;
};

// Two slabs and a floor; rays start on the floor and the slabs (as visible pixels would) and end at
// a point light above and in front of them.
ShadowScene makeScene(int32_t totalTriangles) {
    ShadowScene scene;
    const auto rows = static_cast<int32_t>(std::sqrt(totalTriangles / 8.0 / 2.0));
    const int32_t columns = totalTriangles / 8 / std::max(rows, 1);
    scene.surfaces.push_back(bentSlab(columns, rows, 700.0, 300.0));
    scene.surfaces.push_back(bentSlab(columns, rows, 1400.0, 700.0));
    scene.surfaces.push_back(floorSquare());
    SceneLight light;
    light.castsShadows = true;
    light.positionWorld = Vec3{900.0, -600.0, -900.0};
    scene.bvh = buildShadowBvh(scene.surfaces, {light});

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    scene.rays.origins.reserve(kRayCount);
    for (size_t i = 0; i < kRayCount; ++i) {
        Vec3 p;
        if (i % 3 == 0) {
            // A point on one of the slabs, nudged off it as the shading offset does.
            const ShadowTriangle& t = scene.bvh.triangles[rng() % scene.bvh.triangles.size()];
            double u = unit(rng), v = unit(rng) * (1.0 - u);
            p = t.a + (t.b - t.a) * u + (t.c - t.a) * v;
            p = p + normalizeOr(light.positionWorld - p, Vec3{}) * 1.8;
        } else {
            p = Vec3{-500.0 + 3000.0 * unit(rng), 898.0, -500.0 + 2500.0 * unit(rng)};
        }
        Vec3 toLight = light.positionWorld - p;
        scene.rays.origins.push_back(p);
        scene.rays.directions.push_back(normalizeOr(toLight, Vec3{0.0, 0.0, -1.0}));
        scene.rays.lengths.push_back(length(toLight) - 0.5);
    }
    return scene;
}

const ShadowScene& sceneOf(int32_t triangles) {
    static ShadowScene small = makeScene(25'000);
    static ShadowScene large = makeScene(100'000);
    return triangles <= 25'000 ? small : large;
}

WorkerPlatform platformWith(int32_t threads) {
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = static_cast<uint32_t>(threads);
    return platform;
}

template <bool Nearest>
void BM_ShadowRays(benchmark::State& state) {
    const ShadowScene& scene = sceneOf(static_cast<int32_t>(state.range(0)));
    const WorkerPlatform platform = platformWith(static_cast<int32_t>(state.range(1)));
    std::vector<uint8_t> hits(kRayCount);
    auto body = [&](uint32_t begin, uint32_t end) {
        const ShadowReceiver receiver{2, 0};
        for (uint32_t i = begin; i < end; ++i) {
            if constexpr (Nearest) {
                double best = scene.rays.lengths[i];
                hits[i] = nearestHit(scene.bvh, 0, scene.rays.origins[i], scene.rays.directions[i],
                                     scene.rays.lengths[i], receiver, best);
            } else {
                hits[i] = anyHit(scene.bvh, 0, scene.rays.origins[i], scene.rays.directions[i], scene.rays.lengths[i],
                                 receiver);
            }
        }
    };
    auto trampoline = [](void* context, uint32_t begin, uint32_t end) {
        (*static_cast<decltype(body)*>(context))(begin, end);
    };
    for (auto _ : state) {
        parallelFor(static_cast<uint32_t>(kRayCount), kRayBlock, trampoline, &body, platform);
        benchmark::DoNotOptimize(hits.data());
    }
    size_t hitCount = 0;
    for (uint8_t h : hits) hitCount += h;
    state.counters["rays/s"] =
        benchmark::Counter(static_cast<double>(kRayCount) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["hitShare"] = static_cast<double>(hitCount) / kRayCount;
    state.counters["triangles"] = static_cast<double>(scene.bvh.triangles.size());
}
BENCHMARK(BM_ShadowRays<false>)
    ->Name("BM_AnyHitRays")
    ->ArgsProduct({{25'000, 100'000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ShadowRays<true>)
    ->Name("BM_NearestHitRays")
    ->ArgsProduct({{25'000, 100'000}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ShadowBvhBuild(benchmark::State& state) {
    const ShadowScene& scene = sceneOf(static_cast<int32_t>(state.range(0)));
    SceneLight light;
    light.castsShadows = true;
    for (auto _ : state) {
        ShadowBvh bvh = buildShadowBvh(scene.surfaces, {light});
        benchmark::DoNotOptimize(bvh.nodes.data());
    }
    state.counters["triangles"] = static_cast<double>(scene.bvh.triangles.size());
}
BENCHMARK(BM_ShadowBvhBuild)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
