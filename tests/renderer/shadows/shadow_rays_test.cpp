#include "renderer/shadows/shadow_rays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A sheet curled like a page, with front and back grids 12 pixels apart: rays from one face cross
// the other and, past the fold, the sheet again.
// Two front-facing triangles per cell of a square grid whose (cells + 1)² vertices are stored row
// after row.
void addGridTriangles(SceneSurface& s, int32_t cells) {
    for (int32_t i = 0; i < cells; ++i) {
        for (int32_t j = 0; j < cells; ++j) {
            const int32_t a = i * (cells + 1) + j, b = a + 1, c = a + cells + 1, d = c + 1;
            s.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            s.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
        }
    }
}

SceneSurface curledSlab(int32_t columns, int32_t rows) {
    SceneSurface s;
    s.kind = kSurfaceBent;
    s.castsShadows = true;
    s.acceptsShadows = true;
    for (double radius : {300.0, 288.0}) {
        for (int32_t i = 0; i <= rows; ++i) {
            for (int32_t j = 0; j <= columns; ++j) {
                const double t = static_cast<double>(j) / columns, angle = t * kPi * 1.2;
                SurfaceVertex v;
                v.worldPosition = Vec3{radius * std::sin(angle) - 450.0 * (1.0 - t), 600.0 * i / rows - 300.0,
                                       -radius * std::cos(angle)};
                s.mesh.vertices.push_back(v);
            }
        }
    }
    const int32_t stride = columns + 1, back = (rows + 1) * stride;
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            const int32_t a = i * stride + j, b = a + 1, c = a + stride, d = c + 1;
            s.mesh.triangles.push_back({a, b, c, kFaceFront, 0});
            s.mesh.triangles.push_back({c, b, d, kFaceFront, 0});
            s.mesh.triangles.push_back({back + a, back + c, back + b, kFaceBack, 0});
            s.mesh.triangles.push_back({back + c, back + d, back + b, kFaceBack, 0});
        }
    }
    return s;
}

// A plain layer under the slab, facing up, cut into a grid so that its own triangles lie on the
// paths of rays that graze it.
SceneSurface plainFloor(int32_t cells) {
    SceneSurface s;
    s.kind = kSurfaceFlat;
    s.castsShadows = true;
    s.acceptsShadows = true;
    for (int32_t i = 0; i <= cells; ++i) {
        for (int32_t j = 0; j <= cells; ++j) {
            SurfaceVertex v;
            v.worldPosition = Vec3{-900.0 + 1800.0 * j / cells, 400.0, -900.0 + 1800.0 * i / cells};
            s.mesh.vertices.push_back(v);
        }
    }
    addGridTriangles(s, cells);
    return s;
}

// The reference the walks must equal: the node tree walked recursively, node by node, with the slab
// test narrowing [0, limit] axis by axis and every triangle of a leaf put to the Moller-Trumbore
// test (with the same arithmetic, so that hit distances match to the bit).
struct ReferenceWalk {
    const ShadowBvh& bvh;
    Vec3 o, d;
    ShadowReceiver receiver;

    bool enters(const ShadowBvhNode& node, double limit, double& entry) const {
        double lo = 0.0, hi = limit;
        const double origin[3] = {o.x, o.y, o.z}, dir[3] = {d.x, d.y, d.z};
        const double bmin[3] = {node.boundsMin.x, node.boundsMin.y, node.boundsMin.z};
        const double bmax[3] = {node.boundsMax.x, node.boundsMax.y, node.boundsMax.z};
        for (int axis = 0; axis < 3; ++axis) {
            if (std::fabs(dir[axis]) < 1e-10) {
                if (origin[axis] < bmin[axis] || origin[axis] > bmax[axis]) return false;
                continue;
            }
            const double inv = 1.0 / dir[axis];
            double t0 = (bmin[axis] - origin[axis]) * inv, t1 = (bmax[axis] - origin[axis]) * inv;
            if (t0 > t1) std::swap(t0, t1);
            lo = std::max(lo, t0);
            hi = std::min(hi, t1);
            if (lo > hi) return false;
        }
        entry = lo;
        return true;
    }

    // The hit distance on a triangle that may block the receiver, or a negative value.
    double hit(const ShadowTriangle& t, double limit) const {
        if (t.surfaceIndex == receiver.surface &&
            (t.triangleIndex == receiver.triangle || (*bvh.surfaces)[static_cast<size_t>(t.surfaceIndex)].kind == 0)) {
            return -1.0;
        }
        const Vec3 e1 = t.b - t.a, e2 = t.c - t.a, p = cross(d, e2);
        const double det = dot(e1, p);
        if (!(std::fabs(det) >= 1e-8)) return -1.0;
        const double inv = 1.0 / det;
        const Vec3 s = o - t.a;
        const double u = dot(s, p) * inv;
        if (u < -1e-7 || u > 1.0000001) return -1.0;
        const Vec3 q = cross(s, e1);
        const double v = dot(d, q) * inv;
        if (v < -1e-7 || u + v > 1.0000001) return -1.0;
        const double at = dot(e2, q) * inv;
        return at > 1e-5 && at < limit ? at : -1.0;
    }

    bool any(int32_t n, double maxT) const {
        const ShadowBvhNode& node = bvh.nodes[static_cast<size_t>(n)];
        double entry = 0.0;
        if (!enters(node, maxT, entry)) return false;
        if (node.leftChild < 0) {
            for (int32_t i = node.firstIndex; i < node.firstIndex + node.indexCount; ++i) {
                if (hit(bvh.triangles[bvh.indices[static_cast<size_t>(i)]], maxT) > 0.0) return true;
            }
            return false;
        }
        return any(node.leftChild, maxT) || any(node.rightChild, maxT);
    }

    void nearest(int32_t n, double maxT, bool& found, double& best) const {
        const ShadowBvhNode& node = bvh.nodes[static_cast<size_t>(n)];
        if (node.leftChild < 0) {
            for (int32_t i = node.firstIndex; i < node.firstIndex + node.indexCount; ++i) {
                const double t = hit(bvh.triangles[bvh.indices[static_cast<size_t>(i)]], std::min(best, maxT));
                if (t > 0.0) best = t, found = true;
            }
            return;
        }
        double leftEntry = 0.0, rightEntry = 0.0;
        const bool left = enters(bvh.nodes[static_cast<size_t>(node.leftChild)], std::min(best, maxT), leftEntry);
        const bool right = enters(bvh.nodes[static_cast<size_t>(node.rightChild)], std::min(best, maxT), rightEntry);
        if (left && right) {
            const bool leftFirst = leftEntry <= rightEntry;
            const int32_t first = leftFirst ? node.leftChild : node.rightChild;
            const int32_t second = leftFirst ? node.rightChild : node.leftChild;
            nearest(first, maxT, found, best);
            if (std::min(best, maxT) >= (leftFirst ? rightEntry : leftEntry)) {
                nearest(second, maxT, found, best);
            }
        } else if (left) {
            nearest(node.leftChild, maxT, found, best);
        } else if (right) {
            nearest(node.rightChild, maxT, found, best);
        }
    }
};

// Both copies of the walk against the reference on one ray, any hit and nearest hit; whether it hits.
bool expectWalksEqualReference(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction, double maxT,
                               const ShadowReceiver& receiver, int ray) {
    const ReferenceWalk reference{bvh, origin, direction, receiver};
    const bool expected = reference.any(0, maxT);
    bool nearestFound = false;
    double nearestT = maxT;
    double rootEntry = 0.0;
    if (reference.enters(bvh.nodes[0], maxT, rootEntry)) reference.nearest(0, maxT, nearestFound, nearestT);
    EXPECT_EQ(nearestFound, expected) << "ray " << ray;
    for (ShadowWalkPath path : {ShadowWalkPath::Portable, ShadowWalkPath::Avx2}) {
        EXPECT_EQ(anyHitOn(path, bvh, 0, origin, direction, maxT, receiver), expected)
            << "ray " << ray << " path " << static_cast<int>(path);
        double best = maxT;
        EXPECT_EQ(nearestHitOn(path, bvh, 0, origin, direction, maxT, receiver, best), expected)
            << "ray " << ray << " path " << static_cast<int>(path);
        if (expected) {
            EXPECT_EQ(best, nearestT) << "ray " << ray << " path " << static_cast<int>(path);
        }
    }
    return expected;
}

// Every copy of the walk, on rays that start on their own triangle (as a receiver's do before the
// normal offset), rays offset along the way to a light, rays through plain-layer receivers that must
// not see their own layer, and rays parallel to an axis: flag and nearest distance equal the
// recursive reference to the bit.
TEST(ShadowRays, EveryWalkEqualsARecursiveWalkOfTheNodeTree) {
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(curledSlab(48, 10));
    surfaces.push_back(plainFloor(12));
    SceneLight light;
    light.castsShadows = true;
    ShadowBvh bvh = buildShadowBvh(surfaces, {light});
    ASSERT_GT(bvh.nodes.size(), 100u);

    std::mt19937 rng(160);
    std::uniform_real_distribution<double> unit(0.0, 1.0), spread(-1.0, 1.0);
    int hits = 0, plainReceivers = 0;
    for (int i = 0; i < 3000; ++i) {
        const ShadowTriangle& start = bvh.triangles[rng() % bvh.triangles.size()];
        const double u = unit(rng), v = unit(rng) * (1.0 - u);
        Vec3 origin = start.a + (start.b - start.a) * u + (start.c - start.a) * v;
        const Vec3 lightAt{1200.0 * spread(rng), -900.0 + 300.0 * spread(rng), 1200.0 * spread(rng)};
        Vec3 direction = normalizeOr(lightAt - origin, Vec3{0.0, 0.0, -1.0});
        ShadowReceiver receiver{start.surfaceIndex, start.triangleIndex};
        switch (i % 4) {
            case 0: break;  // on the triangle itself
            case 1: origin = origin + direction * 1.8; break;
            case 2:  // anywhere, any way
                origin = Vec3{700.0 * spread(rng), 700.0 * spread(rng), 700.0 * spread(rng)};
                direction = normalizeOr(Vec3{spread(rng), spread(rng), spread(rng)}, Vec3{0.0, 0.0, 1.0});
                break;
            default:  // along an axis: the slab test's parallel case
                direction = (i % 8 == 3) ? Vec3{0.0, -1.0, 0.0} : Vec3{0.0, 0.0, 1.0};
                break;
        }
        const double maxT = i % 5 == 0 ? 1e9 : length(lightAt - origin);
        plainReceivers += surfaces[static_cast<size_t>(receiver.surface)].kind == kSurfaceFlat ? 1 : 0;

        hits += expectWalksEqualReference(bvh, origin, direction, maxT, receiver, i) ? 1 : 0;
    }
    // Both answers and both kinds of receiver were exercised.
    EXPECT_GT(hits, 600);
    EXPECT_LT(hits, 2400);
    EXPECT_GT(plainReceivers, 100);
}

// A leaf whose triangles do not fill its groups, or whose groups do not fill their quad of boxes, is
// padded with triangles without area at the world origin under a box at one point. A ring of a few
// triangles around the origin, which none of them covers, puts the origin inside the groups' boxes:
// rays straight through it and through each padding box's point must meet only the real triangles,
// on every copy of the walk, for every way a few triangles fill the lanes.
TEST(ShadowRays, PaddingLanesNeverHit) {
    for (int32_t count = 1; count <= 2 * kShadowLeafGroupSize + 1; ++count) {
        SceneSurface fan;
        fan.kind = kSurfaceBent;
        fan.castsShadows = true;
        for (int32_t k = 0; k <= count; ++k) {
            const double angle = 1.5 * kPi * k / count;
            for (double radius : {20.0, 40.0}) {
                SurfaceVertex v;
                v.worldPosition = Vec3{radius * std::cos(angle), radius * std::sin(angle), 2.0 * k - 3.0};
                fan.mesh.vertices.push_back(v);
            }
        }
        for (int32_t k = 0; k < count; ++k) fan.mesh.triangles.push_back({2 * k, 2 * k + 1, 2 * k + 2, kFaceFront, 0});
        std::vector<SceneSurface> surfaces;
        surfaces.push_back(std::move(fan));
        SceneLight light;
        light.castsShadows = true;
        const ShadowBvh bvh = buildShadowBvh(surfaces, {light});
        ASSERT_TRUE(bvh.walkReady) << count;

        std::vector<Vec3> targets{Vec3{}};
        for (const ShadowLeafGroup& group : bvh.leafGroups) {
            if (group.indexCount == 0) targets.push_back(group.boundsMin);
        }
        const ShadowReceiver nobody{-1, -1};
        int ray = 0;
        for (const Vec3& target : targets) {
            for (const Vec3& from : {Vec3{0.0, 0.0, -50.0}, Vec3{-30.0, 20.0, -40.0}, Vec3{70.0, 30.0, -60.0}}) {
                const Vec3 origin = target + from;
                const Vec3 direction = normalizeOr(target - origin, Vec3{0.0, 0.0, 1.0});
                const bool hits = expectWalksEqualReference(bvh, origin, direction, 2.0 * length(from), nobody,
                                                            count * 100 + ray++);
                // No real triangle covers the world origin.
                if (target.x == 0.0 && target.y == 0.0 && target.z == 0.0) {
                    EXPECT_FALSE(hits) << count;
                }
            }
        }
    }
}

// Millions of pixels out a float step is a pixel or more: a walk that narrowed any of its box or
// triangle arithmetic to single precision, or rounded a box inward, would lose hits there. Rays from
// near and far, along and nearly along the axes, are aimed inside triangles a few pixels wide (well
// inside, so that no tie between neighbours decides), and every copy of the walk must still give the
// reference's answer and distance.
TEST(ShadowRays, EveryWalkEqualsTheReferenceFarFromTheOrigin) {
    constexpr int32_t kCells = 24;
    constexpr double kCell = 3.0;
    const Vec3 corner{4194304.3, -8388608.7, 6000000.1};
    SceneSurface grid;
    grid.kind = kSurfaceBent;
    grid.castsShadows = true;
    for (int32_t i = 0; i <= kCells; ++i) {
        for (int32_t j = 0; j <= kCells; ++j) {
            SurfaceVertex v;
            // Slightly uneven and folded, so that the triangles' boxes are not all alike.
            v.worldPosition = corner + Vec3{kCell * j + 0.3 * (i % 3), kCell * i, 1.1 * ((i + j) % 2)};
            grid.mesh.vertices.push_back(v);
        }
    }
    addGridTriangles(grid, kCells);
    std::vector<SceneSurface> surfaces;
    surfaces.push_back(std::move(grid));
    SceneLight light;
    light.castsShadows = true;
    ShadowBvh bvh = buildShadowBvh(surfaces, {light});
    ASSERT_GT(bvh.nodes.size(), 20u);

    std::mt19937 rng(16);
    std::uniform_real_distribution<double> unit(0.0, 1.0), spread(-1.0, 1.0);
    const ShadowReceiver nobody{-1, -1};
    int hits = 0;
    for (int i = 0; i < 4000; ++i) {
        // A point well inside some triangle: ties between neighbours are not what is tested here.
        const ShadowTriangle& aim = bvh.triangles[rng() % bvh.triangles.size()];
        const double u = 0.1 + 0.7 * unit(rng), v = (0.1 + 0.7 * unit(rng)) * (0.9 - u);
        const Vec3 target = aim.a + (aim.b - aim.a) * u + (aim.c - aim.a) * v;
        Vec3 direction;
        switch (i % 5) {
            case 0: direction = Vec3{0.0, 0.0, 1.0}; break;  // along an axis
            case 1: direction = normalizeOr(Vec3{1e-9, -2e-9, 1.0}, Vec3{0.0, 0.0, 1.0}); break;  // nearly so
            case 2: direction = normalizeOr(Vec3{0.3, 1e-6, 1.0}, Vec3{0.0, 0.0, 1.0}); break;
            default:
                direction = normalizeOr(Vec3{spread(rng), spread(rng), 1.0 + spread(rng)}, Vec3{0.0, 0.0, 1.0});
                break;
        }
        const double back = (i % 2 == 0) ? 3.0 : 40000.0;
        const Vec3 origin = target - direction * back;
        const double maxT = (i % 7 == 0) ? 0.5 * back : 2.0 * back;  // some end before the target
        hits += expectWalksEqualReference(bvh, origin, direction, maxT, nobody, i) ? 1 : 0;
    }
    EXPECT_GT(hits, 2500);
}

}  // namespace
}  // namespace zephrin
