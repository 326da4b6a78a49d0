// Micro-benchmarks of the ray-traced shadows: hierarchy build, and any-hit and nearest-hit rays from
// points on the receiving surfaces toward a point light, on one and two threads.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/shadow_scene/shadow_scene.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

constexpr size_t kRayCount = 2'000'000;
constexpr uint32_t kRayBlock = 4096;

const ShadowBenchScene& sceneOf(int32_t triangles) {
    static const std::unique_ptr<ShadowBenchScene> small = makeShadowBenchScene(25'000, kRayCount);
    static const std::unique_ptr<ShadowBenchScene> large = makeShadowBenchScene(100'000, kRayCount);
    return triangles <= 25'000 ? *small : *large;
}

WorkerPlatform platformWith(int32_t threads) {
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = static_cast<uint32_t>(threads);
    return platform;
}

template <bool Nearest>
void BM_ShadowRays(benchmark::State& state) {
    const ShadowBenchScene& scene = sceneOf(static_cast<int32_t>(state.range(0)));
    const WorkerPlatform platform = platformWith(static_cast<int32_t>(state.range(1)));
    std::vector<uint8_t> hits(kRayCount);
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t i = begin; i < end; ++i) {
            if constexpr (Nearest) {
                double best = scene.rays.lengths[i];
                hits[i] = nearestHit(scene.bvh, 0, scene.rays.origins[i], scene.rays.directions[i],
                                     scene.rays.lengths[i], scene.rays.receivers[i], best);
            } else {
                hits[i] = anyHit(scene.bvh, 0, scene.rays.origins[i], scene.rays.directions[i], scene.rays.lengths[i],
                                 scene.rays.receivers[i]);
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
    const ShadowBenchScene& scene = sceneOf(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        ShadowBvh bvh = buildShadowBvh(scene.surfaces, scene.lights);
        benchmark::DoNotOptimize(bvh.nodes.data());
    }
    state.counters["triangles"] = static_cast<double>(scene.bvh.triangles.size());
}
BENCHMARK(BM_ShadowBvhBuild)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zephrin
