#include "renderer/gpu/shadow_bvh_packing.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/shadow_walk_layout.h"

namespace zephrin {
namespace {

SceneLight shadowLight(int32_t type = kLightPoint) {
    SceneLight light;
    light.type = type;
    light.castsShadows = true;
    return light;
}

// A caster surface of `count` random small triangles inside a 1000-pixel box.
SceneSurface randomSoup(std::mt19937& rng, int32_t count, int32_t kind) {
    std::uniform_real_distribution<double> position(-500.0, 500.0), offset(-60.0, 60.0);
    SceneSurface s;
    s.kind = kind;
    s.castsShadows = true;
    for (int32_t i = 0; i < count; ++i) {
        Vec3 centre{position(rng), position(rng), position(rng)};
        for (int k = 0; k < 3; ++k) {
            SurfaceVertex v;
            v.worldPosition = centre + Vec3{offset(rng), offset(rng), offset(rng)};
            s.mesh.vertices.push_back(v);
        }
        s.mesh.triangles.push_back(SurfaceTriangle{3 * i, 3 * i + 1, 3 * i + 2, kFaceFront, 0});
    }
    return s;
}

// The reference: every triangle tested, no hierarchy. Moller-Trumbore with the same limits.
bool bruteForce(const ShadowBvh& bvh, const Vec3& o, const Vec3& d, double maxT, const ShadowReceiver& receiver,
                double& nearest) {
    bool found = false;
    nearest = maxT;
    for (const ShadowTriangle& t : bvh.triangles) {
        if (t.surfaceIndex == receiver.surface &&
            (t.triangleIndex == receiver.triangle || (*bvh.surfaces)[static_cast<size_t>(t.surfaceIndex)].kind == 0)) {
            continue;
        }
        Vec3 e1 = t.b - t.a, e2 = t.c - t.a, p = cross(d, e2);
        double det = dot(e1, p);
        if (std::fabs(det) < 1e-8) continue;
        Vec3 s = o - t.a;
        double u = dot(s, p) / det;
        if (u < -1e-7 || u > 1.0000001) continue;
        Vec3 q = cross(s, e1);
        double v = dot(d, q) / det;
        if (v < -1e-7 || u + v > 1.0000001) continue;
        double hit = dot(e2, q) / det;
        if (hit <= 1e-5 || hit >= nearest) continue;
        nearest = hit;
        found = true;
    }
    return found;
}

TEST(ShadowBvh, AnyHitAndNearestHitEqualBruteForceOnRandomRays) {
    std::mt19937 rng(20261207);
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(randomSoup(rng, 1500, kSurfaceBent));
    surfaces.push_back(randomSoup(rng, 700, kSurfaceFlat));
    surfaces[1].acceptsShadows = true;
    std::vector<SceneLight> lights{shadowLight()};
    ShadowBvh bvh = buildShadowBvh(surfaces, lights);
    ASSERT_EQ(bvh.triangles.size(), 2200u);

    std::uniform_real_distribution<double> position(-700.0, 700.0), unit(-1.0, 1.0), length(10.0, 2000.0);
    std::uniform_int_distribution<int32_t> pickSurface(-1, 1), pickTriangle(0, 699);
    int hits = 0;
    for (int i = 0; i < 4000; ++i) {
        Vec3 origin{position(rng), position(rng), position(rng)};
        Vec3 direction = normalizeOr(Vec3{unit(rng), unit(rng), unit(rng)}, Vec3{0.0, 0.0, 1.0});
        // Axis-aligned rays exercise the slab test's parallel case.
        if (i % 10 == 0) direction = Vec3{0.0, (i % 20 == 0) ? 1.0 : -1.0, 0.0};
        double maxT = length(rng);
        ShadowReceiver receiver{pickSurface(rng), pickTriangle(rng)};
        double expectedT = 0.0;
        bool expected = bruteForce(bvh, origin, direction, maxT, receiver, expectedT);
        hits += expected ? 1 : 0;
        EXPECT_EQ(anyHit(bvh, 0, origin, direction, maxT, receiver), expected) << "ray " << i;
        double best = maxT;
        ASSERT_EQ(nearestHit(bvh, 0, origin, direction, maxT, receiver, best), expected) << "ray " << i;
        if (expected) {
            EXPECT_NEAR(best, expectedT, 1e-9 * std::max(1.0, expectedT)) << "ray " << i;
        }
    }
    EXPECT_GT(hits, 200);  // the property was exercised on hits as well as misses
}

TEST(ShadowBvh, RememberedBlockersNeverChangeVisibilityOrBlockerHint) {
    std::mt19937 rng(99);
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(randomSoup(rng, 1200, kSurfaceBent));
    surfaces.push_back(randomSoup(rng, 400, kSurfaceFlat));
    surfaces[0].acceptsShadows = surfaces[1].acceptsShadows = true;
    for (double diffusion : {0.0, 20.0}) {
        SceneLight light = shadowLight();
        light.positionWorld = Vec3{0.0, -900.0, 0.0};
        light.shadowDiffusion = diffusion;
        ShadowBvh bvh = buildShadowBvh(surfaces, {light});
        ShadowRayMemo memo;
        std::uniform_int_distribution<int32_t> pickSurface(0, 1), pickTriangle(0, 399);
        int shadowed = 0;
        // A scan over a plane under the casters, as a row of pixels would run, with receivers that
        // change along the way: a remembered blocker may be the next receiver's own triangle.
        for (int i = 0; i < 3000; ++i) {
            VisibilityQuery query;
            query.point = Vec3{-600.0 + 0.4 * i, 600.0, -100.0 + 0.05 * i};
            query.normal = Vec3{0.0, -1.0, 0.0};
            query.receiver = ShadowReceiver{pickSurface(rng), pickTriangle(rng)};
            double plainHint = 0.0, memoHint = 0.0;
            const double plain = lightVisibility(bvh, light, query, &plainHint);
            query.memo = &memo;
            const double remembered = lightVisibility(bvh, light, query, &memoHint);
            ASSERT_EQ(plain, remembered) << "diffusion " << diffusion << " point " << i;
            ASSERT_EQ(plainHint, memoHint) << "diffusion " << diffusion << " point " << i;
            shadowed += plain < 1.0 ? 1 : 0;
        }
        EXPECT_GT(shadowed, 300);
        EXPECT_LT(shadowed, 2700);
    }
}

TEST(ShadowBvh, TreeIsPreOrderWithSmallLeavesOverAPermutation) {
    std::mt19937 rng(7);
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(randomSoup(rng, 1000, kSurfaceBent));
    surfaces[0].acceptsShadows = true;
    ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
    std::vector<uint32_t> sorted = bvh.indices;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], i);
    size_t covered = 0;
    for (size_t i = 0; i < bvh.nodes.size(); ++i) {
        const ShadowBvhNode& n = bvh.nodes[i];
        if (n.leftChild < 0) {
            EXPECT_LE(n.indexCount, kShadowBvhLeafSize);
            EXPECT_GT(n.indexCount, 0);
            covered += static_cast<size_t>(n.indexCount);
            for (int32_t k = n.firstIndex; k < n.firstIndex + n.indexCount; ++k) {
                const ShadowTriangle& t = bvh.triangles[bvh.indices[static_cast<size_t>(k)]];
                EXPECT_TRUE(t.boundsMin.x >= n.boundsMin.x && t.boundsMin.y >= n.boundsMin.y &&
                            t.boundsMin.z >= n.boundsMin.z && t.boundsMax.x <= n.boundsMax.x &&
                            t.boundsMax.y <= n.boundsMax.y && t.boundsMax.z <= n.boundsMax.z)
                    << "triangle " << bvh.indices[static_cast<size_t>(k)] << " outside leaf " << i;
            }
        } else {
            EXPECT_EQ(n.leftChild, static_cast<int32_t>(i) + 1);
            EXPECT_GT(n.rightChild, n.leftChild);
            EXPECT_EQ(n.indexCount, 0);
        }
    }
    EXPECT_EQ(covered, 1000u);
}

// The build writes each leaf's walk arrays as it makes the leaf: every group must name its own
// triangles (corner, edges and which triangle each is), and the arrays, sized once from the triangle
// count, must never have grown while the tree was built.
TEST(ShadowBvh, LeafGroupsDescribeTheirTrianglesAndAreSizedOnce) {
    for (int32_t count : {1, 2, 3, 17, 33, 250, 1537}) {
        std::mt19937 rng(static_cast<uint32_t>(count));
        std::vector<SceneSurface> surfaces;
        surfaces.push_back(randomSoup(rng, count, kSurfaceBent));
        surfaces[0].acceptsShadows = true;
        const ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
        ASSERT_TRUE(bvh.walkReady) << count;
        EXPECT_EQ(bvh.nodes.capacity(), bvh.nodes.size()) << count;
        EXPECT_EQ(bvh.leafGroups.capacity(), bvh.leafGroups.size()) << count;
        size_t grouped = 0;
        for (size_t g = 0; g < bvh.leafGroups.size(); ++g) {
            const ShadowLeafGroup& group = bvh.leafGroups[g];
            const ShadowGroupTriangles& lanes = bvh.groupQuads[g / 4].groups[g % 4];
            for (int32_t lane = 0; lane < group.indexCount; ++lane) {
                const auto at = static_cast<size_t>(group.firstIndex + lane);
                const ShadowTriangle& t = bvh.triangles[bvh.indices[at]];
                const ShadowRayTriangle& ray = bvh.rayTriangles[at];
                EXPECT_EQ(ray.surfaceIndex, t.surfaceIndex);
                EXPECT_EQ(ray.triangleIndex, t.triangleIndex);
                EXPECT_EQ(lanes.surfaceIndex[lane], t.surfaceIndex);
                EXPECT_EQ(lanes.triangleIndex[lane], t.triangleIndex);
                EXPECT_EQ(lanes.a[0][lane], t.a.x);
                EXPECT_EQ(lanes.e1[1][lane], t.b.y - t.a.y);
                EXPECT_EQ(lanes.e2[2][lane], t.c.z - t.a.z);
                EXPECT_TRUE(t.boundsMin.x >= group.boundsMin.x && t.boundsMax.z <= group.boundsMax.z)
                    << "triangle " << bvh.indices[at] << " outside group " << g;
                ++grouped;
            }
        }
        EXPECT_EQ(grouped, static_cast<size_t>(count));
    }
}

// A slab's front and back lie 20 pixels apart, side by side in every leaf. The groups that rays test
// under one box must hold triangles of one sheet: a group across front and back has a box that spans
// the slab's thickness and takes in every ray that leaves either face. The leaves here hold nine
// triangles, four or five of each sheet, so that a leaf's second group must often take both; its two
// pairs, matched first, must not.
TEST(ShadowBvh, LeafGroupsHoldTrianglesOfOneSheet) {
    SceneSurface slab;
    slab.kind = kSurfaceBent;
    slab.castsShadows = true;
    slab.acceptsShadows = true;
    constexpr int32_t kQuads = 24;
    for (double z : {0.0, 20.0}) {
        const auto base = static_cast<int32_t>(slab.mesh.vertices.size());
        for (int32_t i = 0; i <= kQuads; ++i) {
            for (int32_t j = 0; j <= kQuads; ++j) {
                SurfaceVertex v;
                v.worldPosition = Vec3{15.0 * j, 15.0 * i, z + 0.01 * j * j};
                slab.mesh.vertices.push_back(v);
            }
        }
        for (int32_t i = 0; i < kQuads; ++i) {
            for (int32_t j = 0; j < kQuads; ++j) {
                const int32_t a = base + i * (kQuads + 1) + j, b = a + 1, c = a + kQuads + 1, d = c + 1;
                slab.mesh.triangles.push_back(SurfaceTriangle{a, b, c, kFaceFront, 0});
                slab.mesh.triangles.push_back(SurfaceTriangle{c, b, d, kFaceFront, 0});
            }
        }
    }
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(std::move(slab));
    ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
    const size_t half = bvh.triangles.size() / 2;  // front triangles first, then the back ones
    auto front = [&](int32_t at) { return bvh.indices[static_cast<size_t>(at)] < half; };
    size_t groups = 0, oneSheet = 0, pairs = 0, onePairSheet = 0;
    for (const ShadowLeafGroup& group : bvh.leafGroups) {
        if (group.indexCount < 2) continue;
        ++groups;
        bool sameSheet = true;
        for (int32_t i = 1; i < group.indexCount; ++i) sameSheet = sameSheet && front(group.firstIndex + i) == front(group.firstIndex);
        oneSheet += sameSheet ? 1 : 0;
        for (int32_t i = 0; i + 1 < group.indexCount; i += 2) {
            ++pairs;
            onePairSheet += front(group.firstIndex + i) == front(group.firstIndex + i + 1) ? 1 : 0;
        }
    }
    EXPECT_GT(groups, 500u);
    EXPECT_GE(onePairSheet * 10, pairs * 9);
    EXPECT_GE(oneSheet * 10, groups * 6);
}

// A square of two triangles at depth z facing -z, 200 pixels wide, with texture coordinates.
SceneSurface square(double z, int32_t kind) {
    SceneSurface s;
    s.kind = kind;
    s.castsShadows = true;
    const double corners[4][2] = {{-100, -100}, {100, -100}, {100, 100}, {-100, 100}};
    for (const auto& c : corners) {
        SurfaceVertex v;
        v.worldPosition = Vec3{c[0], c[1], z};
        v.u = c[0] > 0 ? 1.0 : 0.0;
        v.v = c[1] > 0 ? 1.0 : 0.0;
        s.mesh.vertices.push_back(v);
    }
    s.mesh.triangles.push_back(SurfaceTriangle{0, 1, 2, kFaceFront, 0});
    s.mesh.triangles.push_back(SurfaceTriangle{0, 2, 3, kFaceFront, 0});
    return s;
}

// The plain recursive build: every node rescans its triangles' boxes and selects its median over the
// bare indices. The real build must produce the same tree bit for bit.
void referenceNode(ShadowBvh& bvh, int32_t first, int32_t count, int32_t depth) {
    ShadowBvhNode node;
    const double inf = std::numeric_limits<double>::infinity();
    node.boundsMin = Vec3{inf, inf, inf};
    node.boundsMax = Vec3{-inf, -inf, -inf};
    for (int32_t i = first; i < first + count; ++i) {
        const ShadowTriangle& t = bvh.triangles[bvh.indices[static_cast<size_t>(i)]];
        growBounds(node.boundsMin, node.boundsMax, t.boundsMin);
        growBounds(node.boundsMin, node.boundsMax, t.boundsMax);
    }
    node.firstIndex = first;
    node.indexCount = count;
    const auto self = static_cast<int32_t>(bvh.nodes.size());
    bvh.nodes.push_back(node);
    const Vec3 e = node.boundsMax - node.boundsMin;
    const int axis = (e.y > e.x && e.y >= e.z) ? 1 : (e.z > e.x ? 2 : 0);
    if (count <= kShadowBvhLeafSize || depth >= kShadowBvhMaxDepth) {
        orderLeafForWalk(bvh, first, count, axis);
        return;
    }
    auto begin = bvh.indices.begin() + first;
    std::nth_element(begin, begin + count / 2, begin + count, [&bvh, axis](uint32_t l, uint32_t r) {
        return axisOf(bvh.triangles[l].centroid, axis) < axisOf(bvh.triangles[r].centroid, axis);
    });
    const auto left = static_cast<int32_t>(bvh.nodes.size());
    referenceNode(bvh, first, count / 2, depth + 1);
    const auto right = static_cast<int32_t>(bvh.nodes.size());
    referenceNode(bvh, first + count / 2, count - count / 2, depth + 1);
    bvh.nodes[static_cast<size_t>(self)].leftChild = left;
    bvh.nodes[static_cast<size_t>(self)].rightChild = right;
    bvh.nodes[static_cast<size_t>(self)].indexCount = 0;
}

// The real build against the plain one on `surfaces`: nodes, boxes and index runs bit for bit.
void expectPlainBuildsTree(const std::vector<SceneSurface>& surfaces, size_t triangles) {
    ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
    ASSERT_EQ(bvh.triangles.size(), triangles);
    ShadowBvh reference;
    reference.triangles = bvh.triangles;
    reference.surfaces = bvh.surfaces;
    reference.indices.resize(reference.triangles.size());
    for (size_t i = 0; i < reference.indices.size(); ++i) reference.indices[i] = static_cast<uint32_t>(i);
    referenceNode(reference, 0, static_cast<int32_t>(reference.triangles.size()), 0);

    EXPECT_EQ(bvh.indices, reference.indices);
    ASSERT_EQ(bvh.nodes.size(), reference.nodes.size());
    for (size_t i = 0; i < bvh.nodes.size(); ++i) {
        EXPECT_EQ(std::memcmp(&bvh.nodes[i], &reference.nodes[i], sizeof(ShadowBvhNode)), 0) << "node " << i;
    }
    // Each triangle is its mesh triangle's corners.
    for (const ShadowTriangle& t : bvh.triangles) {
        const SurfaceMesh& mesh = surfaces[static_cast<size_t>(t.surfaceIndex)].mesh;
        const SurfaceTriangle& tri = mesh.triangles[static_cast<size_t>(t.triangleIndex)];
        EXPECT_EQ(std::memcmp(&t.a, &mesh.vertices[static_cast<size_t>(tri.a)].worldPosition, sizeof(Vec3)), 0);
        EXPECT_EQ(std::memcmp(&t.c, &mesh.vertices[static_cast<size_t>(tri.c)].worldPosition, sizeof(Vec3)), 0);
    }
}

TEST(ShadowBvh, BuildMatchesAPlainBuildBitForBit) {
    std::mt19937 rng(16);
    std::vector<SceneSurface> mixed;
    mixed.push_back(randomSoup(rng, 900, kSurfaceBent));
    // A regular grid: many triangles share a centroid coordinate, so the median splits break ties.
    SceneSurface grid;
    grid.kind = kSurfaceObj;
    grid.castsShadows = true;
    constexpr int32_t kCells = 20;
    for (int32_t i = 0; i <= kCells; ++i) {
        for (int32_t j = 0; j <= kCells; ++j) {
            SurfaceVertex v;
            v.worldPosition = Vec3{10.0 * j, 10.0 * i, 5.0 * ((i + j) % 3)};
            grid.mesh.vertices.push_back(v);
        }
    }
    for (int32_t i = 0; i < kCells; ++i) {
        for (int32_t j = 0; j < kCells; ++j) {
            const int32_t a = i * (kCells + 1) + j, b = a + 1, c = a + kCells + 1, d = c + 1;
            grid.mesh.triangles.push_back(SurfaceTriangle{a, b, c, kFaceFront, 0});
            grid.mesh.triangles.push_back(SurfaceTriangle{c, b, d, kFaceFront, 0});
        }
    }
    mixed.push_back(std::move(grid));
    mixed.push_back(square(40.0, kSurfaceFlat));
    mixed.back().castsShadows = false;  // a receiver only: none of its triangles are in the tree
    expectPlainBuildsTree(mixed, 900u + 2u * kCells * kCells);

    // Zeros of both signs on the low x edge of every box (a box keeps the first one met), a corner
    // that is not a number (passed over), and a triangle naming a missing vertex (dropped).
    SceneSurface odd;
    odd.castsShadows = true;
    constexpr int32_t kOddTriangles = 60;
    for (int32_t k = 0; k < 3 * kOddTriangles; ++k) {
        SurfaceVertex v;
        const double zero = (k / 3) % 2 == 0 ? -0.0 : 0.0;
        v.worldPosition = Vec3{k % 3 == 0 ? zero : 1.0 + k, 7.0 * (k % 5), 3.0 * k};
        odd.mesh.vertices.push_back(v);
        if (k % 3 == 2) odd.mesh.triangles.push_back(SurfaceTriangle{k - 2, k - 1, k, kFaceFront, 0});
    }
    odd.mesh.vertices[7].worldPosition.y = std::numeric_limits<double>::quiet_NaN();
    odd.mesh.triangles.push_back(SurfaceTriangle{0, 1, 3 * kOddTriangles, kFaceFront, 0});
    std::vector<SceneSurface> oddOnly;
    oddOnly.push_back(std::move(odd));
    expectPlainBuildsTree(oddOnly, kOddTriangles);
}

TEST(ShadowBvh, PlainLayersNeverShadowThemselvesWhileBentSurfacesCan) {
    // A ray from triangle 0 through triangle 1 of the same square (grazing along it, then back).
    for (int32_t kind : {kSurfaceFlat, kSurfaceBent, kSurfaceObj}) {
        std::vector<SceneSurface> surfaces;
        surfaces.push_back(square(0.0, kind));
        ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
        const Vec3 origin{-50.0, 50.0, -10.0};
        const Vec3 direction = normalizeOr(Vec3{0.0, 0.0, 1.0}, Vec3{});
        // Triangle 1 (0, 2, 3) covers the upper-left half; the receiver is triangle 0.
        bool hit = anyHit(bvh, 0, origin, direction, 100.0, ShadowReceiver{0, 0});
        EXPECT_EQ(hit, kind != kSurfaceFlat) << "kind " << kind;
        // The receiving triangle itself never blocks.
        EXPECT_FALSE(anyHit(bvh, 0, origin, direction, 100.0, ShadowReceiver{0, 1})) << "kind " << kind;
    }
}

TEST(ShadowBvh, AlphaTestedCastersBlockOnlyWhereOpaque) {
    // 4 x 1 texture: the left half transparent, the right half opaque (sampling is bilinear).
    std::vector<PF_Pixel8> texels = {PF_Pixel8{0, 255, 255, 255}, PF_Pixel8{0, 255, 255, 255},
                                     PF_Pixel8{255, 255, 255, 255}, PF_Pixel8{255, 255, 255, 255}};
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(square(0.0, kSurfaceBent));
    SurfaceTexture& t = surfaces[0].frontTexture;
    t.worldType = AEGP_WorldType_8;
    t.width = 4;
    t.height = 1;
    t.rowBytes = 4 * sizeof(PF_Pixel8);
    t.baseAddress = texels.data();
    surfaces[0].controls.backColor = packColor(255, 0, 0, 0);
    surfaces.push_back(square(100.0, kSurfaceFlat));  // the receiver
    surfaces[1].castsShadows = false;
    ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
    ASSERT_TRUE(bvh.hasAlphaCasters);
    const Vec3 up{0.0, 0.0, -1.0};
    EXPECT_FALSE(anyHit(bvh, 0, Vec3{-80.0, 0.0, 90.0}, up, 200.0, ShadowReceiver{1, 0}));
    EXPECT_TRUE(anyHit(bvh, 0, Vec3{80.0, 0.0, 90.0}, up, 200.0, ShadowReceiver{1, 0}));
    double best = 200.0;
    EXPECT_FALSE(nearestHit(bvh, 0, Vec3{-80.0, 0.0, 90.0}, up, 200.0, ShadowReceiver{1, 0}, best));

    // Opaque texels everywhere and opaque fallbacks: no alpha test; no valid map with alpha casters.
    texels[0].alpha = texels[1].alpha = 255;
    EXPECT_FALSE(casterMayBeTransparent(surfaces[0]));
    surfaces[0].controls.backColor = packColor(0, 0, 0, 0);
    EXPECT_TRUE(casterMayBeTransparent(surfaces[0]));  // no back texture and a transparent back colour
    EXPECT_FALSE(buildShadowMap(bvh, shadowLight(), 1, 1).valid);
}

TEST(ShadowBvh, SkipsWithoutShadowLightCasterOrReceiver) {
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(square(0.0, kSurfaceFlat));
    surfaces[0].acceptsShadows = false;
    SceneLight ambient = shadowLight(kLightAmbient);
    EXPECT_TRUE(buildShadowBvh(surfaces, {ambient}).nodes.empty());
    EXPECT_TRUE(buildShadowBvh(surfaces, {shadowLight()}).nodes.empty());  // no receiver
    surfaces[0].acceptsShadows = true;
    surfaces[0].lightTransmission = 0.98;
    EXPECT_TRUE(buildShadowBvh(surfaces, {shadowLight()}).nodes.empty());  // no caster
    surfaces[0].lightTransmission = 0.5;
    surfaces[0].opacity = 0.001;
    EXPECT_TRUE(buildShadowBvh(surfaces, {shadowLight()}).nodes.empty());
    surfaces[0].opacity = 0.0011;
    EXPECT_EQ(buildShadowBvh(surfaces, {shadowLight()}).triangles.size(), 2u);
}

TEST(ShadowBvh, PackedRecordsMatchTheGpuLayoutByteForByte) {
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(square(0.0, kSurfaceFlat));
    surfaces.push_back(square(50.0, kSurfaceBent));
    std::mt19937 rng(3);
    surfaces.push_back(randomSoup(rng, 100, kSurfaceBent));
    for (SceneSurface& s : surfaces) s.acceptsShadows = true;
    ShadowBvh bvh = buildShadowBvh(surfaces, {shadowLight()});
    PackedShadowBvh packed;
    ASSERT_TRUE(packShadowBvh(bvh, packed));
    ASSERT_EQ(packed.nodes.size(), bvh.nodes.size());
    ASSERT_EQ(packed.triangles.size(), bvh.indices.size());

    auto floatAt = [](const unsigned char* bytes, size_t offset) {
        float f;
        std::memcpy(&f, bytes + offset, 4);
        return f;
    };
    auto intAt = [](const unsigned char* bytes, size_t offset) {
        int32_t i;
        std::memcpy(&i, bytes + offset, 4);
        return i;
    };
    const auto nodeCount = static_cast<int32_t>(bvh.nodes.size());
    const auto* nodeBytes = reinterpret_cast<const unsigned char*>(packed.nodes.data());
    for (size_t i = 0; i < bvh.nodes.size(); ++i) {
        const unsigned char* r = nodeBytes + 40 * i;
        const ShadowBvhNode& n = bvh.nodes[i];
        EXPECT_EQ(floatAt(r, 0), static_cast<float>(n.boundsMin.x));
        EXPECT_EQ(floatAt(r, 8), static_cast<float>(n.boundsMin.z));
        EXPECT_EQ(intAt(r, 12), n.leftChild);
        EXPECT_EQ(floatAt(r, 16), static_cast<float>(n.boundsMax.x));
        EXPECT_EQ(floatAt(r, 24), static_cast<float>(n.boundsMax.z));
        EXPECT_EQ(intAt(r, 32), n.firstIndex);
        EXPECT_EQ(intAt(r, 36), n.indexCount);
        // Skip pointers: a leaf continues with the next node, an inner node where its right child does.
        int32_t escape = intAt(r, 28);
        if (n.leftChild < 0) {
            EXPECT_EQ(escape, static_cast<int32_t>(i) + 1);
        } else {
            EXPECT_EQ(escape, intAt(nodeBytes + 40 * static_cast<size_t>(n.rightChild), 28));
        }
    }
    EXPECT_EQ(intAt(nodeBytes, 28), nodeCount);

    const auto* triangleBytes = reinterpret_cast<const unsigned char*>(packed.triangles.data());
    for (size_t i = 0; i < bvh.indices.size(); ++i) {
        const unsigned char* r = triangleBytes + 40 * i;
        const ShadowTriangle& t = bvh.triangles[bvh.indices[i]];
        EXPECT_EQ(floatAt(r, 0), static_cast<float>(t.a.x));
        uint32_t identity;
        std::memcpy(&identity, r + 12, 4);
        EXPECT_EQ(identity, (static_cast<uint32_t>(t.surfaceIndex) << 24) | static_cast<uint32_t>(t.triangleIndex));
        EXPECT_EQ(floatAt(r, 16), static_cast<float>(t.b.x));
        EXPECT_EQ(floatAt(r, 36), static_cast<float>(t.c.z));
    }
}

TEST(ShadowBvh, PackingStopsAtTheIdentityLimits) {
    ShadowBvh bvh;
    bvh.triangles.resize(1);
    bvh.indices = {0};
    bvh.nodes.resize(1);
    bvh.nodes[0].indexCount = 1;
    PackedShadowBvh packed;
    for (auto [surface, triangle, packs] : std::vector<std::tuple<int32_t, int32_t, bool>>{
             {127, 16777215, true}, {128, 0, false}, {0, 16777216, false}}) {
        bvh.triangles[0].surfaceIndex = surface;
        bvh.triangles[0].triangleIndex = triangle;
        EXPECT_EQ(packShadowBvh(bvh, packed), packs) << surface << " " << triangle;
        EXPECT_EQ(packed.triangles.empty(), !packs);
        EXPECT_EQ(packed.nodes.empty(), !packs);
    }
    EXPECT_EQ(packed.nodes.size(), 0u);
    EXPECT_FALSE(packShadowBvh(ShadowBvh{}, packed));
}

// Receiver square at z = 100 facing the light at the origin side, caster square at z = 50.
struct ShadowScene {
    std::vector<SceneSurface> surfaces;
    ShadowBvh bvh;
    SceneLight light = shadowLight();
    VisibilityQuery query;

    explicit ShadowScene(double diffusion) {
        surfaces.push_back(square(100.0, kSurfaceFlat));
        surfaces.push_back(square(50.0, kSurfaceFlat));
        surfaces[1].acceptsShadows = false;
        light.positionWorld = Vec3{0.0, 0.0, -200.0};
        light.shadowDiffusion = diffusion;
        bvh = buildShadowBvh(surfaces, {light});
        query.point = Vec3{0.0, 0.0, 100.0};
        query.normal = Vec3{0.0, 0.0, 1.0};  // facing away from the light: turned toward it
        query.receiver = ShadowReceiver{0, 0};
    }
    double visibility(double* hint = nullptr) { return lightVisibility(bvh, light, query, hint); }
};

TEST(LightVisibility, DarknessBlockerHintAndLightPosition) {
    ShadowScene hard(0.0);
    double hint = -1.0;
    EXPECT_EQ(hard.visibility(&hint), 0.0);
    EXPECT_EQ(hint, 0.0);  // hard shadows need no blocker distance
    hard.light.shadowDarkness = 0.5;
    EXPECT_NEAR(hard.visibility(), 0.36, 1e-12);
    hard.light.castsShadows = false;
    EXPECT_EQ(hard.visibility(), 1.0);

    ShadowScene soft(20.0);
    EXPECT_EQ(soft.visibility(&hint), 0.0);
    // Blocker 50 - 1.8 pixels from the ray origin, the light 298.2 - 0.5 away.
    const double t = 48.2, maxT = 298.2 - 0.5;
    EXPECT_NEAR(hint, t / ((maxT - t) * 0.2 + t), 1e-9);
    soft.query.anyHitOnly = true;
    EXPECT_EQ(soft.visibility(&hint), 0.0);
    EXPECT_EQ(hint, 0.5);

    // A point on the light itself is lit.
    soft.query.point = soft.light.positionWorld;
    EXPECT_EQ(soft.visibility(&hint), 1.0);
}

TEST(LightVisibility, MapModesUseTheMapAndFallBackToRays) {
    ShadowScene scene(0.0);
    // Map depth is perspective depth with its near plane 1 pixel from the light; the light sits close
    // so that caster and receiver lie further apart in it than the comparison bias.
    scene.light.positionWorld = Vec3{0.0, 0.0, -20.0};
    ShadowMap map = buildShadowMap(scene.bvh, scene.light, 2, 1);
    ASSERT_TRUE(map.valid);
    scene.query.shadowSoftness = 0.0;
    scene.query.shadowMode = ShadowMode::MapFast;
    EXPECT_EQ(scene.visibility(), 1.0 - std::min(1.28, 1.0));  // ray visibility without a map
    scene.query.map = &map;
    EXPECT_EQ(scene.visibility(), 0.0);
    // Outside the caster's shadow the map and the rays agree that the point is lit.
    scene.query.point = Vec3{0.0, 180.0, 100.0};
    for (auto mode : {ShadowMode::Auto, ShadowMode::MapFast, ShadowMode::RayTrace, ShadowMode::Hybrid}) {
        scene.query.shadowMode = mode;
        EXPECT_EQ(scene.visibility(), 1.0);
    }
}

}  // namespace
}  // namespace zephrin
