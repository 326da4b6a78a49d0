// Our shadow hierarchy beside Embree 3 on the same triangles and the same rays, in one process:
// any-hit rays against rtcOccluded1, nearest-hit rays against rtcIntersect1 (25k and 100k triangles,
// one and two threads), and the hierarchy build against Embree's single-threaded build. The two
// sides take turns round by round and the medians are compared. Every ray's answer is checked
// against Embree's; the bench fails when more than a tiny share of them differ.
//
// Usage: zephrin_embree_peer [rounds] [rays]   (default 5 rounds of 1 000 000 rays, 4 builds a round)
#include <embree3/rtcore.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "bench/shadow_scene/shadow_scene.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace {

using namespace zephrin;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultRounds = 5;
constexpr size_t kDefaultRays = 1'000'000;
constexpr int kBuildRoundsPerRound = 4;
constexpr uint32_t kRayBlock = 4096;
// Our ray test's minimum hit distance: Embree starts its rays there too.
constexpr float kMinHitDistance = 1e-5f;
// Embree computes in single precision: a grazing ray may come out the other way, and a nearest hit's
// distance may differ by this share of it (or this many pixels near the origin).
constexpr double kDistanceTolerance = 1e-4;
constexpr double kMinDistanceTolerance = 1e-3;
// More disagreements than this share of the rays means the two sides were not given the same rays.
constexpr double kMaxDisagreementShare = 1e-4;

// The context Embree hands to the filters: the ray's receiver, whose own triangle never blocks it
// and whose whole surface does not when it is a plain layer, as our walk skips them.
struct PeerContext {
    RTCIntersectContext base;  // first, so that Embree's pointer to it is a pointer to this
    ShadowReceiver receiver;
    bool receiverIsPlain = false;
};

void skipReceiver(const RTCFilterFunctionNArguments* args) {
    const auto* context = reinterpret_cast<const PeerContext*>(args->context);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1) continue;
        const auto geometry = static_cast<int32_t>(RTCHitN_geomID(args->hit, args->N, i));
        const auto primitive = static_cast<int32_t>(RTCHitN_primID(args->hit, args->N, i));
        if (geometry == context->receiver.surface &&
            (context->receiverIsPlain || primitive == context->receiver.triangle)) {
            args->valid[i] = 0;
        }
    }
}

// The builds run on one thread each: the CPU time the process spends on them is their time on a
// quiet machine, and unlike the wall clock it leaves out the time other processes took the core.
// Both are kept; the ratio is taken on CPU time.
struct Stopwatch {
    timespec cpu{};
    Clock::time_point wall = Clock::now();
    Stopwatch() { clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu); }
};

struct BuildTime {
    double cpu = 0.0, wall = 0.0;  // seconds
};

BuildTime elapsedSince(const Stopwatch& start) {
    const Stopwatch now;
    return {static_cast<double>(now.cpu.tv_sec - start.cpu.tv_sec) +
                1e-9 * static_cast<double>(now.cpu.tv_nsec - start.cpu.tv_nsec),
            std::chrono::duration<double>(now.wall - start.wall).count()};
}

struct EmbreeScene {
    RTCScene scene = nullptr;
    ~EmbreeScene() {
        if (scene != nullptr) rtcReleaseScene(scene);
    }
};

bool isCaster(const ShadowBenchScene& bench, size_t surface) {
    // The bench's casters are exactly the surfaces whose triangles the hierarchy holds.
    return std::any_of(bench.bvh.triangles.begin(), bench.bvh.triangles.end(), [surface](const ShadowTriangle& t) {
        return t.surfaceIndex == static_cast<int32_t>(surface);
    });
}

// One triangle geometry per caster surface: geometry id = surface index, primitive id = the
// triangle's index in that surface's mesh. Returns the time of rtcCommitScene alone.
BuildTime buildEmbree(RTCDevice device, const ShadowBenchScene& bench, const std::vector<bool>& casters,
                   EmbreeScene& out) {
    out.scene = rtcNewScene(device);
    for (size_t si = 0; si < bench.surfaces.size(); ++si) {
        if (!casters[si]) continue;
        const SurfaceMesh& mesh = bench.surfaces[si].mesh;
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), mesh.vertices.size()));
        for (size_t v = 0; v < mesh.vertices.size(); ++v) {
            const Vec3& p = mesh.vertices[v].worldPosition;
            vertices[3 * v] = static_cast<float>(p.x);
            vertices[3 * v + 1] = static_cast<float>(p.y);
            vertices[3 * v + 2] = static_cast<float>(p.z);
        }
        auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh.triangles.size()));
        for (size_t t = 0; t < mesh.triangles.size(); ++t) {
            indices[3 * t] = static_cast<unsigned>(mesh.triangles[t].a);
            indices[3 * t + 1] = static_cast<unsigned>(mesh.triangles[t].b);
            indices[3 * t + 2] = static_cast<unsigned>(mesh.triangles[t].c);
        }
        rtcSetGeometryIntersectFilterFunction(geometry, skipReceiver);
        rtcSetGeometryOccludedFilterFunction(geometry, skipReceiver);
        rtcCommitGeometry(geometry);
        rtcAttachGeometryByID(out.scene, geometry, static_cast<unsigned>(si));
        rtcReleaseGeometry(geometry);
    }
    const Stopwatch start;
    rtcCommitScene(out.scene);
    return elapsedSince(start);
}

struct Answers {
    std::vector<uint8_t> hit;
    std::vector<double> distance;  // nearest hits only
};

struct RayJob {
    const ShadowBenchScene* bench = nullptr;
    RTCScene embree = nullptr;
    const std::vector<bool>* plain = nullptr;  // per surface: a plain layer
    bool nearest = false;
    bool useEmbree = false;
    Answers* answers = nullptr;
};

void traceOurs(const RayJob& job, uint32_t begin, uint32_t end) {
    const ShadowBenchRays& rays = job.bench->rays;
    const ShadowBvh& bvh = job.bench->bvh;
    for (uint32_t i = begin; i < end; ++i) {
        if (job.nearest) {
            double best = rays.lengths[i];
            job.answers->hit[i] =
                nearestHit(bvh, 0, rays.origins[i], rays.directions[i], rays.lengths[i], rays.receivers[i], best);
            job.answers->distance[i] = best;
        } else {
            job.answers->hit[i] = anyHit(bvh, 0, rays.origins[i], rays.directions[i], rays.lengths[i], rays.receivers[i]);
        }
    }
}

void traceEmbree(const RayJob& job, uint32_t begin, uint32_t end) {
    const ShadowBenchRays& rays = job.bench->rays;
    PeerContext context;
    rtcInitIntersectContext(&context.base);
    for (uint32_t i = begin; i < end; ++i) {
        context.receiver = rays.receivers[i];
        context.receiverIsPlain = (*job.plain)[static_cast<size_t>(context.receiver.surface)];
        RTCRayHit query{};
        RTCRay& ray = query.ray;
        ray.org_x = static_cast<float>(rays.origins[i].x);
        ray.org_y = static_cast<float>(rays.origins[i].y);
        ray.org_z = static_cast<float>(rays.origins[i].z);
        ray.dir_x = static_cast<float>(rays.directions[i].x);
        ray.dir_y = static_cast<float>(rays.directions[i].y);
        ray.dir_z = static_cast<float>(rays.directions[i].z);
        ray.tnear = kMinHitDistance;
        ray.tfar = static_cast<float>(rays.lengths[i]);
        ray.mask = std::numeric_limits<unsigned>::max();
        if (job.nearest) {
            query.hit.geomID = RTC_INVALID_GEOMETRY_ID;
            query.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
            rtcIntersect1(job.embree, &context.base, &query);
            job.answers->hit[i] = query.hit.geomID != RTC_INVALID_GEOMETRY_ID;
            job.answers->distance[i] = job.answers->hit[i] ? ray.tfar : rays.lengths[i];
        } else {
            rtcOccluded1(job.embree, &context.base, &ray);
            job.answers->hit[i] = ray.tfar == -std::numeric_limits<float>::infinity();
        }
    }
}

// Traces every ray of the job on `threads` workers, split the same way for both sides; the seconds.
double trace(const RayJob& job, uint32_t threads) {
    WorkerPlatform platform = currentWorkerPlatform();
    platform.hardwareThreads = threads;
    auto body = [](void* context, uint32_t begin, uint32_t end) {
        const auto& j = *static_cast<const RayJob*>(context);
        if (j.useEmbree) {
            traceEmbree(j, begin, end);
        } else {
            traceOurs(j, begin, end);
        }
    };
    const auto start = Clock::now();
    parallelFor(static_cast<uint32_t>(job.bench->rays.origins.size()), kRayBlock, body,
                const_cast<RayJob*>(&job), platform);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Rays on which the two sides disagree: the hit flag, or a nearest hit's distance beyond what single
// precision explains.
struct Disagreements {
    size_t rays = 0;
    size_t onFlag = 0;  // of them, those where one side hit and the other did not
    double worstRelative = 0.0;  // the largest distance difference as a share of the distance
};

Disagreements disagreements(const Answers& ours, const Answers& theirs, bool nearest) {
    Disagreements found;
    for (size_t i = 0; i < ours.hit.size(); ++i) {
        if (ours.hit[i] != theirs.hit[i]) {
            ++found.rays;
            ++found.onFlag;
            continue;
        }
        if (!nearest || ours.hit[i] == 0) continue;
        const double difference = std::fabs(ours.distance[i] - theirs.distance[i]);
        found.worstRelative = std::max(found.worstRelative, difference / std::max(ours.distance[i], 1.0));
        if (difference > std::max(kDistanceTolerance * ours.distance[i], kMinDistanceTolerance)) ++found.rays;
    }
    return found;
}

struct Row {
    std::string measure;
    double ours = 0.0, theirs = 0.0;  // rays per second, or milliseconds for the build
    double ratio = 0.0;               // ours as a share of Embree's speed
    Disagreements disagree;
};

void printRow(const Row& row, bool build) {
    if (build) {
        std::printf("%-34s %12.2f %12.2f ms cpu   ratio %.3f\n", row.measure.c_str(), row.ours, row.theirs, row.ratio);
    } else {
        std::printf("%-34s %12.0f %12.0f rays/s   ratio %.3f   disagree %zu (hit flag %zu)\n", row.measure.c_str(),
                    row.ours, row.theirs, row.ratio, row.disagree.rays, row.disagree.onFlag);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
    const size_t rayCount = argc > 2 ? static_cast<size_t>(std::max(1L, std::atol(argv[2]))) : kDefaultRays;
    RTCDevice device = rtcNewDevice("threads=1");
    if (device == nullptr) {
        std::fprintf(stderr, "Embree device could not be created\n");
        return 2;
    }
    std::printf("zephrin_embree_peer: %d rounds, %zu rays, Embree %d.%d.%d (threads=1)\n", rounds, rayCount,
                RTC_VERSION_MAJOR, RTC_VERSION_MINOR, RTC_VERSION_PATCH);
    std::printf("%-34s %12s %12s\n", "measure", "ours", "Embree");
    bool failed = false;
    for (int32_t triangles : {25'000, 100'000}) {
        const std::unique_ptr<ShadowBenchScene> bench = makeShadowBenchScene(triangles, rayCount);
        std::vector<bool> casters(bench->surfaces.size()), plain(bench->surfaces.size());
        for (size_t si = 0; si < bench->surfaces.size(); ++si) {
            casters[si] = isCaster(*bench, si);
            plain[si] = bench->surfaces[si].kind == kSurfaceFlat;
        }
        const std::string size = std::to_string(bench->bvh.triangles.size()) + " tris";

        // The build: ours from the surfaces to a walkable hierarchy, Embree's commit of the same
        // triangles (its buffers filled beforehand). Builds are short: more rounds of them.
        std::vector<double> ourCpu, ourWall, embreeCpu, embreeWall;
        for (int r = 0; r < kBuildRoundsPerRound * rounds; ++r) {
            const Stopwatch start;
            ShadowBvh bvh = buildShadowBvh(bench->surfaces, bench->lights);
            const BuildTime ours = elapsedSince(start);
            ourCpu.push_back(ours.cpu);
            ourWall.push_back(ours.wall);
            EmbreeScene built;
            const BuildTime theirs = buildEmbree(device, *bench, casters, built);
            embreeCpu.push_back(theirs.cpu);
            embreeWall.push_back(theirs.wall);
        }
        const double ourMs = median(ourCpu) * 1e3, embreeMs = median(embreeCpu) * 1e3;
        printRow({"build, " + size + ", 1 thread", ourMs, embreeMs, embreeMs / ourMs, {}}, true);
        std::printf("%-34s %12.2f %12.2f ms wall  ratio %.3f\n", "", median(ourWall) * 1e3, median(embreeWall) * 1e3,
                    median(embreeWall) / median(ourWall));

        EmbreeScene embree;
        buildEmbree(device, *bench, casters, embree);
        for (bool nearest : {false, true}) {
            for (uint32_t threads : {1u, 2u}) {
                Answers ours{std::vector<uint8_t>(rayCount), std::vector<double>(rayCount)};
                Answers theirs = ours;
                RayJob ourJob{bench.get(), embree.scene, &plain, nearest, false, &ours};
                RayJob theirJob{bench.get(), embree.scene, &plain, nearest, true, &theirs};
                std::vector<double> ourTimes, theirTimes;
                for (int r = 0; r < rounds; ++r) {
                    ourTimes.push_back(trace(ourJob, threads));
                    theirTimes.push_back(trace(theirJob, threads));
                }
                const Disagreements disagree = disagreements(ours, theirs, nearest);
                const double ourRate = static_cast<double>(rayCount) / median(ourTimes);
                const double theirRate = static_cast<double>(rayCount) / median(theirTimes);
                const std::string name = std::string(nearest ? "nearest-hit" : "any-hit") + ", " + size + ", " +
                                         std::to_string(threads) + (threads == 1 ? " thread" : " threads");
                printRow({name, ourRate, theirRate, ourRate / theirRate, disagree}, false);
                if (static_cast<double>(disagree.rays) > kMaxDisagreementShare * static_cast<double>(rayCount)) {
                    std::printf("  too many disagreements (worst relative distance difference %.3g)\n",
                                disagree.worstRelative);
                    failed = true;
                }
            }
        }
    }
    rtcReleaseDevice(device);
    return failed ? 1 : 0;
}
