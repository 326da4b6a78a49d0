// The soft-shadow ray toward a light starts from the light's memo of the last blocker: its answer and
// blocker distance must be those of the nearest-hit walk without a memo, whatever the memo holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "renderer/shadows/light_visibility.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {
namespace {

uint64_t bitsOf(double value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A bent surface of scattered small triangles over a plain layer cut into a grid: rays from the
// layer toward lights above it pass the scattered ones, some blocked, most not.
std::vector<SceneSurface> scatteredOverPlain(std::mt19937& rng) {
    std::uniform_real_distribution<double> spread(-400.0, 400.0), size(-30.0, 30.0);
    SceneSurface scattered;
    scattered.kind = kSurfaceBent;
    scattered.castsShadows = true;
    for (int32_t i = 0; i < 300; ++i) {
        const Vec3 centre{spread(rng), -200.0 + 0.25 * spread(rng), spread(rng)};
        for (int k = 0; k < 3; ++k) {
            SurfaceVertex v;
            v.worldPosition = centre + Vec3{size(rng), size(rng), size(rng)};
            scattered.mesh.vertices.push_back(v);
        }
        scattered.mesh.triangles.push_back({3 * i, 3 * i + 1, 3 * i + 2, kFaceFront, 0});
    }
    SceneSurface plain;
    plain.kind = kSurfaceFlat;
    plain.castsShadows = true;
    constexpr int32_t kCells = 16;
    for (int32_t i = 0; i <= kCells; ++i) {
        for (int32_t j = 0; j <= kCells; ++j) {
            SurfaceVertex v;
            v.worldPosition = Vec3{-500.0 + 1000.0 * j / kCells, 0.0, -500.0 + 1000.0 * i / kCells};
            plain.mesh.vertices.push_back(v);
        }
    }
    for (int32_t i = 0; i < kCells; ++i) {
        for (int32_t j = 0; j < kCells; ++j) {
            const int32_t a = i * (kCells + 1) + j, b = a + 1, c = a + kCells + 1, d = c + 1;
            plain.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            plain.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
        }
    }
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(std::move(scattered));
    surfaces.push_back(std::move(plain));
    return surfaces;
}

TEST(NearestVisibilityRay, GivesTheNearestHitWalksAnswerWhateverTheMemoHolds) {
    std::mt19937 rng(77);
    const std::vector<SceneSurface> surfaces = scatteredOverPlain(rng);
    SceneLight light;
    light.castsShadows = true;
    const ShadowBvh bvh = buildShadowBvh(surfaces, {light});
    ASSERT_GT(bvh.nodes.size(), 50u);

    std::uniform_real_distribution<double> unit(0.0, 1.0), across(-450.0, 450.0);
    const int32_t plainTriangles = static_cast<int32_t>(surfaces[1].mesh.triangles.size());
    // Runs of neighbouring points toward one light, as a row of pixels sends them, so that the memo
    // carries real blockers from ray to ray; between runs it is set to any triangle, or to none.
    ShadowRayMemo memo;
    int blocked = 0, open = 0;
    for (int run = 0; run < 120; ++run) {
        const Vec3 lightAt{across(rng), -600.0 - 300.0 * unit(rng), across(rng)};
        const Vec3 start{across(rng), -0.01, across(rng)};
        memo.blocker = run % 3 == 0 ? -1 : static_cast<int32_t>(rng() % bvh.rayTriangles.size());
        for (int step = 0; step < 25; ++step) {
            const Vec3 origin = start + Vec3{2.0 * step, 0.0, 0.5 * step};
            const Vec3 direction = normalizeOr(lightAt - origin, Vec3{0.0, -1.0, 0.0});
            const double maxT = length(lightAt - origin) * (step % 4 == 0 ? 0.2 + 0.05 * (run % 5) : 1.0);
            // The receiver: the plain layer's triangle under the point, or none of the casters.
            const ShadowReceiver receiver{1, static_cast<int32_t>(rng() % plainTriangles)};

            double expectedT = maxT;
            const bool expected = nearestHit(bvh, 0, origin, direction, maxT, receiver, expectedT);
            double t = maxT;
            const bool hit = visibilityRayNearestHit(bvh, origin, direction, maxT, receiver, t, &memo);
            ASSERT_EQ(hit, expected) << "run " << run << " step " << step;
            ASSERT_EQ(bitsOf(t), bitsOf(expectedT)) << "run " << run << " step " << step;
            // The memo names the nearest blocker after a blocked ray and none after an open one.
            EXPECT_EQ(memo.blocker >= 0, hit) << "run " << run << " step " << step;
            (hit ? blocked : open) += 1;
        }
    }
    EXPECT_GT(blocked, 200);
    EXPECT_GT(open, 600);
}

}  // namespace
}  // namespace zephrin
