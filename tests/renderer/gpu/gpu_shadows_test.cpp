#include "renderer/gpu/gpu_shadows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "gpu_test_device.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {
using gputest::SoftwareDevicesAllowed;

// A caster surface of `count` random small triangles inside a 1000-pixel box.
SceneSurface randomSoup(std::mt19937& rng, int32_t count, int32_t kind) {
    std::uniform_real_distribution<double> position(-500.0, 500.0), offset(-60.0, 60.0);
    SceneSurface s;
    s.kind = kind;
    s.castsShadows = true;
    for (int32_t i = 0; i < count; ++i) {
        const Vec3 centre{position(rng), position(rng), position(rng)};
        for (int k = 0; k < 3; ++k) {
            SurfaceVertex v;
            v.worldPosition = centre + Vec3{offset(rng), offset(rng), offset(rng)};
            s.mesh.vertices.push_back(v);
        }
        s.mesh.triangles.push_back(SurfaceTriangle{3 * i, 3 * i + 1, 3 * i + 2, kFaceFront, 0});
    }
    return s;
}

struct RandomScene {
    std::vector<SceneSurface> surfaces;
    ShadowBvh bvh;
    PackedShadowBvh packed;
};

RandomScene randomScene(std::mt19937& rng, int32_t bentTriangles, int32_t flatTriangles) {
    RandomScene scene;
    scene.surfaces.push_back(randomSoup(rng, bentTriangles, kSurfaceBent));
    scene.surfaces.push_back(randomSoup(rng, flatTriangles, kSurfaceFlat));
    SceneLight light;
    light.type = kLightPoint;
    light.castsShadows = true;
    scene.bvh = buildShadowBvh(scene.surfaces, {light});
    EXPECT_TRUE(packShadowBvh(scene.bvh, scene.packed));
    return scene;
}

Vec3 toVec3(const float v[3]) { return Vec3{v[0], v[1], v[2]}; }

// Random rays between points of the box, half of them nearest-hit. Every third leaves a triangle of
// the bent surface from behind, through that very triangle: only its identity keeps it from
// blocking its own ray.
std::vector<GpuShadowQuery> randomQueries(std::mt19937& rng, const RandomScene& scene, size_t count) {
    std::uniform_real_distribution<double> position(-600.0, 600.0), unit(0.0, 1.0);
    std::uniform_int_distribution<int32_t> pick(0, static_cast<int32_t>(scene.surfaces[0].mesh.triangles.size()) - 1);
    std::vector<GpuShadowQuery> queries;
    for (size_t i = 0; i < count; ++i) {
        Vec3 origin{position(rng), position(rng), position(rng)};
        Vec3 target{position(rng), position(rng), position(rng)};
        uint32_t identity = (127u << 24) | 0xFFFFFFu;  // no triangle of the scene
        if (i % 3 == 0) {
            const int32_t t = pick(rng);
            const SurfaceMesh& mesh = scene.surfaces[0].mesh;
            const SurfaceTriangle& tri = mesh.triangles[static_cast<size_t>(t)];
            const Vec3 a = mesh.vertices[static_cast<size_t>(tri.a)].worldPosition;
            const Vec3 b = mesh.vertices[static_cast<size_t>(tri.b)].worldPosition;
            const Vec3 c = mesh.vertices[static_cast<size_t>(tri.c)].worldPosition;
            double u = unit(rng), v = unit(rng);
            if (u + v > 1.0) u = 1.0 - u, v = 1.0 - v;
            const Vec3 onTriangle = a + (b - a) * u + (c - a) * v;
            const Vec3 normal = normalizeOr(cross(b - a, c - a), Vec3{0.0, 0.0, 1.0});
            origin = onTriangle - normal * kRayOriginOffset;
            target = onTriangle + normal * 300.0;
            identity = static_cast<uint32_t>(t);  // surface 0
        }
        GpuShadowQuery q{};
        const Vec3 dir = normalizeOr(target - origin, Vec3{0.0, 0.0, -1.0});
        q.origin[0] = static_cast<float>(origin.x);
        q.origin[1] = static_cast<float>(origin.y);
        q.origin[2] = static_cast<float>(origin.z);
        q.dir[0] = static_cast<float>(dir.x);
        q.dir[1] = static_cast<float>(dir.y);
        q.dir[2] = static_cast<float>(dir.z);
        q.maxT = static_cast<float>(length(target - origin));
        q.packedIdentity = identity | (i % 2 == 0 ? kNearestHitBit : 0u);
        queries.push_back(q);
    }
    return queries;
}

ShadowReceiver receiverOf(const GpuShadowQuery& q) {
    const uint32_t identity = q.packedIdentity & ~kNearestHitBit;
    return ShadowReceiver{static_cast<int32_t>(identity >> 24), static_cast<int32_t>(identity & 0xFFFFFFu)};
}

// Whether single-precision rounding may decide this ray differently from the double-precision
// CPU: it passes within a hair of some triangle's edge, or ends within a hair of a hit.
bool nearTriangleEdge(const ShadowBvh& bvh, const GpuShadowQuery& q) {
    constexpr double kEdgeSlack = 1e-4;  // barycentric; float rounding is ~1e-6 at these sizes
    const Vec3 o = toVec3(q.origin), d = toVec3(q.dir);
    const ShadowReceiver receiver = receiverOf(q);
    for (const ShadowTriangle& t : bvh.triangles) {
        if (t.surfaceIndex == receiver.surface && t.triangleIndex == receiver.triangle) continue;
        const Vec3 e1 = t.b - t.a, e2 = t.c - t.a, p = cross(d, e2);
        const double det = dot(e1, p);
        if (std::fabs(det) < 1e-6) continue;
        const Vec3 s = o - t.a;
        const double u = dot(s, p) / det;
        const Vec3 qv = cross(s, e1);
        const double v = dot(d, qv) / det;
        const double hit = dot(e2, qv) / det;
        const bool inside = u > -kEdgeSlack && v > -kEdgeSlack && u + v < 1.0 + kEdgeSlack;
        const bool onEdge = std::fabs(u) < kEdgeSlack || std::fabs(v) < kEdgeSlack || std::fabs(u + v - 1.0) < kEdgeSlack;
        if (inside && onEdge && hit > 0.0 && hit < q.maxT * (1.0 + kEdgeSlack)) return true;
        if (inside && std::fabs(hit - q.maxT) < kEdgeSlack * q.maxT) return true;
    }
    return false;
}

struct Comparison {
    size_t compared = 0, hits = 0, ambiguous = 0;
};

// The GPU's answers against the CPU's rays on the same (single-precision) queries.
Comparison compareWithCpu(const RandomScene& scene, const std::vector<GpuShadowQuery>& queries,
                          const std::vector<GpuShadowResult>& results, size_t stride = 1) {
    Comparison c;
    for (size_t i = 0; i < queries.size(); i += stride) {
        const GpuShadowQuery& q = queries[i];
        const Vec3 o = toVec3(q.origin), d = toVec3(q.dir);
        const bool nearest = (q.packedIdentity & kNearestHitBit) != 0;
        double best = q.maxT;
        const bool cpuHit = nearest ? nearestHit(scene.bvh, 0, o, d, q.maxT, receiverOf(q), best)
                                    : anyHit(scene.bvh, 0, o, d, q.maxT, receiverOf(q));
        if (nearTriangleEdge(scene.bvh, q)) {
            ++c.ambiguous;
            continue;
        }
        ++c.compared;
        c.hits += cpuHit ? 1 : 0;
        EXPECT_EQ(results[i].hit != 0, cpuHit) << "query " << i << (nearest ? " nearest" : " any");
        if (nearest && cpuHit) {
            // Single precision at coordinates of ~1000 px, worse for rays that graze a triangle.
            EXPECT_NEAR(results[i].nearestT, best, 1e-3 + 5e-5 * best) << "query " << i;
        }
    }
    return c;
}

class GpuShadowDevice : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gputest::openTestDevice(context)) GTEST_SKIP() << "no Vulkan device: " << context.failureReason;
    }
    void TearDown() override {
        releaseGpuContext(context);
        gputest::expectNoValidationErrors(context);
    }
    SoftwareDevicesAllowed allowed;
    GpuContext context;
};

TEST_F(GpuShadowDevice, AnswersEqualCpuRaysOnRandomScenes) {
    for (uint32_t seed : {20261207u, 7u, 1234567u}) {
        std::mt19937 rng(seed);
        const RandomScene scene = randomScene(rng, 1200, 500);
        const std::vector<GpuShadowQuery> queries = randomQueries(rng, scene, 4000);
        std::vector<GpuShadowResult> results;
        GpuRunInfo info;
        ASSERT_TRUE(dispatchShadowQueries(context, scene.packed, queries, results, info)) << info.failureReason;
        ASSERT_EQ(results.size(), queries.size());
        const Comparison c = compareWithCpu(scene, queries, results);
        // The scenes must block a fair share of rays, and rounding may only blur a few.
        EXPECT_GT(c.hits, c.compared / 10) << "seed " << seed;
        EXPECT_LT(c.ambiguous, queries.size() / 100) << "seed " << seed;
    }
}

// Rays from random points at the centroids of a small scene's triangles, half of them stopping
// short: cheap to trace, with answers that vary from query to query.
std::vector<GpuShadowQuery> aimedQueries(std::mt19937& rng, const RandomScene& scene, size_t count) {
    std::uniform_real_distribution<double> position(-600.0, 600.0);
    std::vector<GpuShadowQuery> queries;
    for (size_t i = 0; i < count; ++i) {
        const ShadowTriangle& target = scene.bvh.triangles[i % scene.bvh.triangles.size()];
        const Vec3 origin{position(rng), position(rng), position(rng)};
        const Vec3 toward = target.centroid - origin;
        const Vec3 dir = normalizeOr(toward, Vec3{0.0, 0.0, -1.0});
        GpuShadowQuery q{};
        for (int k = 0; k < 3; ++k) {
            q.origin[k] = static_cast<float>(k == 0 ? origin.x : k == 1 ? origin.y : origin.z);
            q.dir[k] = static_cast<float>(k == 0 ? dir.x : k == 1 ? dir.y : dir.z);
        }
        q.maxT = static_cast<float>(length(toward) * (i % 2 == 0 ? 1.5 : 0.5));
        q.packedIdentity = ((127u << 24) | 0xFFFFFFu) | (i % 4 < 2 ? kNearestHitBit : 0u);
        queries.push_back(q);
    }
    return queries;
}

TEST_F(GpuShadowDevice, BatchesFollowTheLimitAndLandInTheirOwnRanges) {
    std::mt19937 rng(99);
    const RandomScene scene = randomScene(rng, 6, 2);
    const std::vector<GpuShadowQuery> distinct = aimedQueries(rng, scene, 1000);
    std::vector<GpuShadowQuery> queries(600000);
    for (size_t i = 0; i < queries.size(); ++i) queries[i] = distinct[i % distinct.size()];
    context.batchLimit = batchLimitFor(3ull << 30);  // an adapter with 3 GiB

    std::vector<GpuShadowResult> results;
    GpuRunInfo info;
    ASSERT_TRUE(dispatchShadowQueries(context, scene.packed, queries, results, info)) << info.failureReason;
    EXPECT_EQ(info.batchLimit, 262144u);
    EXPECT_EQ(info.batchSizes, (std::vector<uint32_t>{262144, 262144, 75712}));
    EXPECT_EQ(context.shadowBatch.capacity, 262144u);
    // Every copy of a query got its own answer, whichever batch it travelled in.
    size_t differing = 0;
    for (size_t i = distinct.size(); i < results.size(); ++i) {
        const GpuShadowResult& first = results[i % distinct.size()];
        if (results[i].hit != first.hit || results[i].nearestT != first.nearestT) ++differing;
    }
    EXPECT_EQ(differing, 0u);
    const Comparison c = compareWithCpu(scene, distinct, results);
    EXPECT_GT(c.hits, c.compared / 4);
    EXPECT_LT(c.hits, c.compared);
}

TEST_F(GpuShadowDevice, AnUnchangedSceneIsUploadedOnce) {
    std::mt19937 rng(5);
    const RandomScene scene = randomScene(rng, 200, 50);
    const std::vector<GpuShadowQuery> queries = randomQueries(rng, scene, 500);
    std::vector<GpuShadowResult> results;
    GpuRunInfo first, second, changed;
    ASSERT_TRUE(dispatchShadowQueries(context, scene.packed, queries, results, first));
    ASSERT_TRUE(dispatchShadowQueries(context, scene.packed, queries, results, second));
    EXPECT_FALSE(first.sceneReused);
    EXPECT_TRUE(second.sceneReused);

    // Another scene of the same size is uploaded again, and answered from.
    std::mt19937 other(6);
    const RandomScene next = randomScene(other, 200, 50);
    ASSERT_TRUE(dispatchShadowQueries(context, next.packed, queries, results, changed));
    EXPECT_FALSE(changed.sceneReused);
    compareWithCpu(next, queries, results);
}

VKAPI_ATTR VkResult VKAPI_CALL refuseAllocation(VkDevice, const VkMemoryAllocateInfo*, const VkAllocationCallbacks*,
                                                VkDeviceMemory*) {
    return VK_ERROR_OUT_OF_DEVICE_MEMORY;
}

VKAPI_ATTR VkResult VKAPI_CALL loseDevice(VkQueue, uint32_t, const VkSubmitInfo*, VkFence) {
    return VK_ERROR_DEVICE_LOST;
}

TEST_F(GpuShadowDevice, OutOfMemoryFallsBackWithItsReasonAndLeavesTheContextUsable) {
    std::mt19937 rng(11);
    const RandomScene small = randomScene(rng, 100, 20);
    const RandomScene large = randomScene(rng, 2000, 200);
    const std::vector<GpuShadowQuery> few = randomQueries(rng, small, 100);
    std::vector<GpuShadowQuery> many(70000, few[0]);  // more than the first batch buffers hold
    std::vector<GpuShadowResult> results;
    GpuRunInfo info;
    ASSERT_TRUE(dispatchShadowQueries(context, small.packed, few, results, info));
    const PFN_vkAllocateMemory allocate = context.device.api.vkAllocateMemory;
    context.device.api.vkAllocateMemory = refuseAllocation;

    EXPECT_FALSE(dispatchShadowQueries(context, small.packed, many, results, info));
    EXPECT_EQ(info.failureReason, "failed to allocate reusable GPU query buffers");
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(dispatchShadowQueries(context, large.packed, few, results, info));
    EXPECT_EQ(info.failureReason, "failed to upload shadow BVH");

    context.device.api.vkAllocateMemory = allocate;
    // The failed upload is not mistaken for the scene the next time it comes.
    ASSERT_TRUE(dispatchShadowQueries(context, large.packed, few, results, info)) << info.failureReason;
    EXPECT_FALSE(info.sceneReused);
    EXPECT_TRUE(info.failureReason.empty());
    compareWithCpu(large, few, results);
    ASSERT_TRUE(dispatchShadowQueries(context, small.packed, many, results, info)) << info.failureReason;
    EXPECT_EQ(results.size(), many.size());
}

TEST_F(GpuShadowDevice, ALostDeviceIsNeverUsedAgain) {
    std::mt19937 rng(13);
    const RandomScene scene = randomScene(rng, 100, 20);
    const std::vector<GpuShadowQuery> queries = randomQueries(rng, scene, 100);
    std::vector<GpuShadowResult> results;
    GpuRunInfo info;
    const PFN_vkQueueSubmit submit = context.device.api.vkQueueSubmit;
    context.device.api.vkQueueSubmit = loseDevice;
    EXPECT_FALSE(dispatchShadowQueries(context, scene.packed, queries, results, info));
    EXPECT_EQ(info.failureReason, "GPU device lost");
    context.device.api.vkQueueSubmit = submit;
    EXPECT_FALSE(dispatchShadowQueries(context, scene.packed, queries, results, info));
    EXPECT_EQ(info.failureReason, "GPU device lost");
}

TEST(GpuShadowBatch, CapacityDoublesFromTheMinimumWithinTheLimit) {
    EXPECT_EQ(shadowBatchCapacity(1, 262144), 65536u);
    EXPECT_EQ(shadowBatchCapacity(65536, 262144), 65536u);
    EXPECT_EQ(shadowBatchCapacity(65537, 262144), 131072u);
    EXPECT_EQ(shadowBatchCapacity(262144, 262144), 262144u);
    EXPECT_EQ(shadowBatchCapacity(150000, 200000), 200000u);  // the limit caps the last doubling
    EXPECT_EQ(shadowBatchCapacity(262145, 262144), 0u);
    EXPECT_EQ(shadowBatchCapacity(0x7FFFFFFu + 1, 0xFFFFFFFFu), 0u);
}

}  // namespace
}  // namespace zephrin
