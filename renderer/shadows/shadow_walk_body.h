// The two shadow-ray walks (any hit and nearest hit) over the hierarchy's walk arrays, compiled once
// for every processor (shadow_rays.cpp) and once with the AVX2 instruction set for processors that
// have it (shadow_walk_avx2.cpp), each copy private to its file. Include it only there, after defining
// ZEPHRIN_SHADOW_WALK_AVX2 as 0 or 1. Everything here lies in an anonymous namespace: a function
// with external linkage compiled in both files could have its AVX2 copy picked by the linker for
// every caller, which would fault on a processor without AVX2.
//
// Triangles are intersected with the Moller-Trumbore test; nodes with the slab test, two levels of
// the tree per step, on float boxes that can only admit more than the exact test; a leaf's groups
// pass their own float boxes and then their exact ones before any triangle is tested, so the exact
// double tests alone decide which triangles a ray meets. Both walks use a fixed stack: the tree is
// at most kShadowBvhMaxDepth deep.
// Lane by lane both copies compute the same values in the same order (no fused multiply-adds), so
// they give the same answers bit for bit.
#ifndef ZEPHRIN_SHADOW_WALK_AVX2
#error "define ZEPHRIN_SHADOW_WALK_AVX2 before including the walk"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>


#include "common/simd.h"
#include "common/vec3.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"
#include "renderer/shadows/shadow_walk_paths.h"

namespace zephrin {
namespace {

constexpr int32_t kTraversalStackSize = 64;
// Each step takes two levels and leaves at most three more entries pending.
static_assert(kTraversalStackSize > 3 * (kShadowBvhMaxDepth / 2 + 1) + 1, "the walk's stack never overflows");

// Moller-Trumbore limits: determinants this small are rays parallel to the triangle; the barycentric
// slack closes cracks between neighbours; hits nearer than kMinHitT are the ray's own surface.
constexpr double kMinDeterminant = 1e-8;
constexpr double kBarycentricSlack = 1e-7;
constexpr double kMinHitT = 1e-5;
// A ray component this small is parallel to the slab.
constexpr double kParallelComponent = 1e-10;

// Two boxes or two triangles tested at once.
using DoublePair = DoubleLanes;

// What rounding can move an axis's t by in the single-precision slab test of the wide nodes, in
// units of the float epsilon: the box corner rounded outward (one float step) and the origin rounded
// to float (half a step) move the difference by at most reach + |origin| steps before the product
// scales it by the inverse; the subtraction, the inverse's rounding and the product add at most three
// half steps of t itself. Both bounds are taken twice over, and the float arithmetic that widens the
// interval rounds well within that margin.
constexpr double kFloatSlabAbsoluteSteps = 4.0;
constexpr float kFloatSlabRelativeSteps = 8.0f;

// Every field is set by makeRay, once per ray: no default values to write first.
struct Ray {
    Vec3 origin, direction, inverse;
    bool anyParallel;             // some component is below kParallelComponent
    DoublePair originPair[3];     // each origin coordinate in both lanes
    DoublePair inversePair[3];    // each inverse component in both lanes
    // The same ray for the wide nodes' float boxes: origin and inverse in all four lanes, each axis's
    // near side (0 for the lower bound, 1 for the upper) and how far the float t may stray.
    FloatLanes originFloat[3];
    FloatLanes inverseFloat[3];
    int nearSide[3];
    float slack;
};

Ray makeRay(const ShadowBvh& bvh, const Vec3& origin, const Vec3& direction) {
    Ray ray;
    ray.origin = origin;
    ray.direction = direction;
    // x and y in one paired division: the same quotients, one long-latency step fewer.
    const DoublePair inverseXY = DoublePair{1.0, 1.0} / DoublePair{direction.x, direction.y};
    ray.inverse = Vec3{inverseXY[0], inverseXY[1], 1.0 / direction.z};
    ray.originPair[0] = DoublePair{origin.x, origin.x};
    ray.originPair[1] = DoublePair{origin.y, origin.y};
    ray.originPair[2] = DoublePair{origin.z, origin.z};
    ray.inversePair[0] = DoublePair{ray.inverse.x, ray.inverse.x};
    ray.inversePair[1] = DoublePair{ray.inverse.y, ray.inverse.y};
    ray.inversePair[2] = DoublePair{ray.inverse.z, ray.inverse.z};
    ray.anyParallel = std::fabs(direction.x) < kParallelComponent || std::fabs(direction.y) < kParallelComponent ||
                      std::fabs(direction.z) < kParallelComponent;
    const auto floatLanes = [](double x) {
        const auto f = static_cast<float>(x);
        return FloatLanes{f, f, f, f};
    };
    ray.originFloat[0] = floatLanes(origin.x);
    ray.originFloat[1] = floatLanes(origin.y);
    ray.originFloat[2] = floatLanes(origin.z);
    ray.inverseFloat[0] = floatLanes(ray.inverse.x);
    ray.inverseFloat[1] = floatLanes(ray.inverse.y);
    ray.inverseFloat[2] = floatLanes(ray.inverse.z);
    ray.nearSide[0] = ray.inverse.x < 0.0 ? 1 : 0;
    ray.nearSide[1] = ray.inverse.y < 0.0 ? 1 : 0;
    ray.nearSide[2] = ray.inverse.z < 0.0 ? 1 : 0;
    // An axis the ray runs along is tested on the origin alone and adds no error.
    auto axisSlack = [](double d, double inv, double o, double reach) {
        return std::fabs(d) < kParallelComponent ? 0.0 : std::fabs(inv) * (reach + std::fabs(o));
    };
    const double slack = std::max(std::max(axisSlack(direction.x, ray.inverse.x, origin.x, bvh.wideReach.x),
                                           axisSlack(direction.y, ray.inverse.y, origin.y, bvh.wideReach.y)),
                                  axisSlack(direction.z, ray.inverse.z, origin.z, bvh.wideReach.z));
    ray.slack = static_cast<float>(slack * kFloatSlabAbsoluteSteps * std::numeric_limits<float>::epsilon());
    return ray;
}

bool slabAxis(double origin, double dir, double inv, double lo, double hi, double& tNear, double& tFar) {
    if (std::fabs(dir) < kParallelComponent) return origin >= lo && origin <= hi;
    double t0 = (lo - origin) * inv;
    double t1 = (hi - origin) * inv;
    if (t0 > t1) std::swap(t0, t1);
    tNear = t0 > tNear ? t0 : tNear;
    tFar = t1 < tFar ? t1 : tFar;
    return tNear <= tFar;
}

// The slab test axis by axis, for rays that run parallel to some slab.
bool enterBoxAxisByAxis(const Vec3& lo, const Vec3& hi, const Ray& ray, double maxT, double& entry) {
    double tNear = 0.0, tFar = maxT;
    if (!slabAxis(ray.origin.x, ray.direction.x, ray.inverse.x, lo.x, hi.x, tNear, tFar) ||
        !slabAxis(ray.origin.y, ray.direction.y, ray.inverse.y, lo.y, hi.y, tNear, tFar) ||
        !slabAxis(ray.origin.z, ray.direction.z, ray.inverse.z, lo.z, hi.z, tNear, tFar)) {
        return false;
    }
    entry = tNear;
    return true;
}

// The exact slab test on one group's double box, which decides whether the ray meets the group's
// triangles (after its float box let it through): the three slab intervals intersected in any
// order, each min and max choosing as laneMin and laneMax do.
[[gnu::always_inline]] inline bool enterGroupBox(const ShadowTrianglePair& pair, const Ray& ray, double maxT) {
    if (ray.anyParallel) {
        double entry = 0.0;
        return enterBoxAxisByAxis(pair.boundsMin, pair.boundsMax, ray, maxT, entry);
    }
    auto minOf = [](double a, double b) { return b < a ? b : a; };
    auto maxOf = [](double a, double b) { return a < b ? b : a; };
    const double x0 = (pair.boundsMin.x - ray.origin.x) * ray.inverse.x;
    const double x1 = (pair.boundsMax.x - ray.origin.x) * ray.inverse.x;
    const double y0 = (pair.boundsMin.y - ray.origin.y) * ray.inverse.y;
    const double y1 = (pair.boundsMax.y - ray.origin.y) * ray.inverse.y;
    const double z0 = (pair.boundsMin.z - ray.origin.z) * ray.inverse.z;
    const double z1 = (pair.boundsMax.z - ray.origin.z) * ray.inverse.z;
    const double tNear = maxOf(maxOf(minOf(x0, x1), minOf(y0, y1)), maxOf(minOf(z0, z1), 0.0));
    const double tFar = minOf(minOf(maxOf(x0, x1), maxOf(y0, y1)), minOf(maxOf(z0, z1), maxT));
    return tNear <= tFar;
}

// enterFloatQuad's interval for a ray that runs along some slab, lane by lane; rare, kept out of line.
[[gnu::noinline]] void alongSlabInterval(const ShadowFloatBoxQuad& boxes, const Ray& ray, float limitFloat,
                                         FloatLanes& nearest, FloatLanes& farthest) {
    // A ray along a slab: inside it (its float origin lies in the float slab whenever the exact
    // origin lies in the exact one) or not at all.
    float n[4], f[4];
    for (int i = 0; i < 4; ++i) {
        n[i] = 0.0f;
        f[i] = limitFloat;
        for (int axis = 0; axis < 3; ++axis) {
            const float o = ray.originFloat[axis][0], lo = boxes.bound[0][axis][i], hi = boxes.bound[1][axis][i];
            const double d = axis == 0 ? ray.direction.x : (axis == 1 ? ray.direction.y : ray.direction.z);
            if (std::fabs(d) < kParallelComponent) {
                if (o < lo || o > hi) n[i] = std::numeric_limits<float>::infinity(), f[i] = 0.0f;
                continue;
            }
            const float inv = ray.inverseFloat[axis][0];
            const float near = (boxes.bound[ray.nearSide[axis]][axis][i] - o) * inv;
            const float far = (boxes.bound[1 - ray.nearSide[axis]][axis][i] - o) * inv;
            n[i] = std::max(n[i], near);
            f[i] = std::min(f[i], far);
        }
    }
    nearest = FloatLanes{n[0], n[1], n[2], n[3]};
    farthest = FloatLanes{f[0], f[1], f[2], f[3]};
}

// The slab test on four float boxes, widened by the ray's slack so that it admits every box the exact
// test on the double boxes would: bit i when the ray may enter box i below the limit, with a lower
// bound of its entry parameter in entry[i]. Only the lanes in `lanes` are needed.
[[gnu::always_inline]] inline unsigned enterFloatQuad(const ShadowFloatBoxQuad& boxes, unsigned lanes, const Ray& ray,
                                                 double limit, double (&entry)[4]) {
    const float below = 1.0f - kFloatSlabRelativeSteps * std::numeric_limits<float>::epsilon();
    const float above = 1.0f + kFloatSlabRelativeSteps * std::numeric_limits<float>::epsilon();
    const auto limitFloat = static_cast<float>(limit);
    FloatLanes nearest, farthest;
    if (!ray.anyParallel) {
        auto load = [](const float (&row)[4]) {
            FloatLanes lanes4;
            std::memcpy(&lanes4, row, sizeof lanes4);
            return lanes4;
        };
        // Written out axis by axis: a loop over arrays of lanes goes through memory.
        auto t = [&](int side, int axis) {
            return (load(boxes.bound[side][axis]) - ray.originFloat[axis]) * ray.inverseFloat[axis];
        };
        const FloatLanes x0 = t(0, 0), x1 = t(1, 0), y0 = t(0, 1), y1 = t(1, 1), z0 = t(0, 2), z1 = t(1, 2);
        nearest = floatLaneMax(floatLaneMax(floatLaneMin(x0, x1), floatLaneMin(y0, y1)),
                               floatLaneMax(floatLaneMin(z0, z1), FloatLanes{}));
        const FloatLanes limits{limitFloat, limitFloat, limitFloat, limitFloat};
        farthest = floatLaneMin(floatLaneMin(floatLaneMax(x0, x1), floatLaneMax(y0, y1)),
                                floatLaneMin(floatLaneMax(z0, z1), limits));
    } else {
        alongSlabInterval(boxes, ray, limitFloat, nearest, farthest);
    }
    const FloatLanes slack{ray.slack, ray.slack, ray.slack, ray.slack};
    nearest = nearest * FloatLanes{below, below, below, below} - slack;
    farthest = farthest * FloatLanes{above, above, above, above} + slack;
    for (int i = 0; i < 4; ++i) entry[i] = static_cast<double>(nearest[i]);
    return ~floatLaneBits(nearest > farthest) & lanes;
}

inline bool intersect(const ShadowRayTriangle& tri, const Ray& ray, double maxT, double& t, double& u, double& v) {
    const Vec3 p = cross(ray.direction, tri.e2);
    const double det = dot(tri.e1, p);
    if (!(std::fabs(det) >= kMinDeterminant)) return false;
    const double inv = 1.0 / det;
    const Vec3 s = ray.origin - tri.a;
    u = dot(s, p) * inv;
    if (u < -kBarycentricSlack || u > 1.0 + kBarycentricSlack) return false;
    const Vec3 q = cross(s, tri.e1);
    v = dot(ray.direction, q) * inv;
    if (v < -kBarycentricSlack || u + v > 1.0 + kBarycentricSlack) return false;
    t = dot(tri.e2, q) * inv;
    return t > kMinHitT && t < maxT;
}

// The hit parameters of both lanes of a triangle pair.
struct PairHits {
    double t[2], u[2], v[2];
};

// The lanes whose triangle the Moller-Trumbore test of intersect() hits below maxT, both at once,
// with their t, u and v. Every step is intersect()'s, in its order, so a lane passes exactly when
// intersect() would, with the same parameters.
[[gnu::always_inline]] inline unsigned pairCandidates(const ShadowTrianglePair& pair, const Ray& ray, double maxT,
                                                      PairHits& hits) {
    auto load = [](const double (&values)[2]) { return DoublePair{values[0], values[1]}; };
    auto splat = [](double x) { return DoublePair{x, x}; };
    const DoublePair dx = splat(ray.direction.x), dy = splat(ray.direction.y), dz = splat(ray.direction.z);
    const DoublePair e1x = load(pair.e1[0]), e1y = load(pair.e1[1]), e1z = load(pair.e1[2]);
    const DoublePair e2x = load(pair.e2[0]), e2y = load(pair.e2[1]), e2z = load(pair.e2[2]);
    // p = cross(d, e2), det = dot(e1, p)
    const DoublePair px = dy * e2z - dz * e2y, py = dz * e2x - dx * e2z, pz = dx * e2y - dy * e2x;
    const DoublePair det = e1x * px + e1y * py + e1z * pz;
    const DoublePair inv = splat(1.0) / det;
    const DoublePair sx = ray.originPair[0] - load(pair.a[0]), sy = ray.originPair[1] - load(pair.a[1]),
                     sz = ray.originPair[2] - load(pair.a[2]);
    const DoublePair u = (sx * px + sy * py + sz * pz) * inv;
    // q = cross(s, e1)
    const DoublePair qx = sy * e1z - sz * e1y, qy = sz * e1x - sx * e1z, qz = sx * e1y - sy * e1x;
    const DoublePair v = (dx * qx + dy * qy + dz * qz) * inv;
    const DoublePair t = (e2x * qx + e2y * qy + e2z * qz) * inv;
    const DoublePair absDet = laneAbs(det);
    const LaneMask pass = (absDet >= splat(kMinDeterminant)) & ~(u < splat(-kBarycentricSlack)) &
                      ~(u > splat(1.0 + kBarycentricSlack)) & ~(v < splat(-kBarycentricSlack)) &
                      ~(u + v > splat(1.0 + kBarycentricSlack)) & (t > splat(kMinHitT)) & (t < splat(maxT));
    for (int lane = 0; lane < 2; ++lane) {
        hits.t[lane] = t[lane];
        hits.u[lane] = u[lane];
        hits.v[lane] = v[lane];
    }
    return laneBits(pass);
}

// Whether a triangle may block the receiver at all: never its own triangle, and no triangle of a
// plain layer that receives (plain layers never shadow themselves).
inline bool mayBlock(const ShadowBvh& bvh, const ShadowRayTriangle& tri, const ShadowReceiver& receiver) {
    if (tri.surfaceIndex != receiver.surface) return true;
    if (tri.triangleIndex == receiver.triangle) return false;
    if (bvh.surfaces == nullptr || receiver.surface < 0 ||
        static_cast<size_t>(receiver.surface) >= bvh.surfaces->size()) {
        return true;
    }
    return (*bvh.surfaces)[static_cast<size_t>(receiver.surface)].kind != kSurfaceFlat;
}

// The walk needs a node to start from and the arrays built with the tree.
bool traversable(const ShadowBvh& bvh, int32_t node) {
    return bvh.walkReady && node >= 0 && static_cast<size_t>(node) < bvh.nodes.size();
}

// A leaf as the walk reads it: its run of ShadowBvh::indices and its first group quad.
struct LeafRef {
    int32_t quad = 0;   // its first group quad
    int32_t quads = 0;  // how many
};

LeafRef leafOf(const ShadowWideNode& wide, int i) { return LeafRef{wide.child[i], wide.leafQuads[i]}; }

// A leaf the walk starts from, read from its node: a tree of one leaf has no wide node.
LeafRef rootLeaf(const ShadowBvh& bvh, int32_t node) {
    const ShadowBvhNode& leaf = bvh.nodes[static_cast<size_t>(node)];
    const int32_t groups = (leaf.indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize;
    return LeafRef{bvh.nodeFirstGroup[static_cast<size_t>(node)] / 4, (groups + 3) / 4};
}

// Calls test(triangle, t, u, v) for the triangles of the leaf's groups that the ray hits below the
// limit the callback keeps; stops when it returns true.
template <typename Test>
bool forLeafTriangles(const ShadowBvh& bvh, const LeafRef& leaf, const Ray& ray, const double& limit, Test&& test) {
    for (int32_t q = 0; q < leaf.quads; ++q) {
        double entries[4];
        const auto quad = static_cast<size_t>(leaf.quad + q);
        // A padding group's box admits no ray, so every lane may be tested.
        for (unsigned entered = enterFloatQuad(bvh.groupBoxQuads[quad], 15u, ray, limit, entries); entered != 0;
             entered &= entered - 1) {
            const size_t group = quad * 4 + static_cast<size_t>(lowestSetBit(entered));
            const ShadowTrianglePair& pair = bvh.groupPairs[group];
            if (!enterGroupBox(pair, ray, limit)) continue;
            PairHits hits;
            const unsigned candidates = pairCandidates(pair, ray, limit, hits);
            const ShadowRayTriangle* tri = bvh.rayTriangles.data() + group * kShadowLeafGroupSize;
            // A group of one repeats its triangle in the second lane: once the first lane has answered
            // for it, the second answers alike (any hit) or no nearer (nearest hit).
            for (unsigned pass = candidates; pass != 0; pass &= pass - 1) {
                const int i = lowestSetBit(pass);
                if (test(tri[i], hits.t[i], hits.u[i], hits.v[i])) return true;
            }
        }
    }
    return false;
}

// The remembered blocker, when it is a triangle of this hierarchy.
const ShadowRayTriangle* rememberedBlocker(const ShadowBvh& bvh, const ShadowRayMemo* memo) {
    if (memo == nullptr || memo->blocker < 0 || static_cast<size_t>(memo->blocker) >= bvh.rayTriangles.size()) {
        return nullptr;
    }
    return &bvh.rayTriangles[static_cast<size_t>(memo->blocker)];
}

void remember(const ShadowBvh& bvh, ShadowRayMemo* memo, const ShadowRayTriangle* blocker) {
    if (memo != nullptr) memo->blocker = blocker != nullptr ? static_cast<int32_t>(blocker - bvh.rayTriangles.data()) : -1;
}

// A triangle blocks the ray at t when the test hits it and the receiver and alpha rules let it.
bool blocksAt(const ShadowBvh& bvh, const ShadowRayTriangle& tri, const Ray& ray, double limit,
              const ShadowReceiver& receiver, double& t) {
    double u = 0.0, v = 0.0;
    return intersect(tri, ray, limit, t, u, v) && mayBlock(bvh, tri, receiver) && shadowCasterOpaqueAt(bvh, tri, u, v);
}

bool anyHitWalk(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                       const ShadowReceiver& receiver, ShadowRayMemo* memo) {
    if (!traversable(bvh, node) || !isFinite(origin) || !isFinite(direction) || !(maxT > 0.0)) return false;
    const Ray ray = makeRay(bvh, origin, direction);
    double blockerT = 0.0;
    if (const ShadowRayTriangle* last = rememberedBlocker(bvh, memo)) {
        if (blocksAt(bvh, *last, ray, maxT, receiver, blockerT)) return true;
    }
    // Until a ray finds a blocker again there is none to try first: lit pixels come in runs.
    remember(bvh, memo, nullptr);
    auto leafBlocks = [&](const LeafRef& leaf) {
        // The first opaque hit ends the walk: any-hit rays only need to know that one exists.
        return forLeafTriangles(bvh, leaf, ray, maxT, [&](const ShadowRayTriangle& tri, double, double u, double v) {
            if (!mayBlock(bvh, tri, receiver) || !shadowCasterOpaqueAt(bvh, tri, u, v)) return false;
            remember(bvh, memo, &tri);
            return true;
        });
    };
    // The start node's own box is not tested: every box below it lies inside it, and the slab test
    // is monotone in the bounds, so a ray that enters none of them would have missed it too.
    if (bvh.nodeWide[static_cast<size_t>(node)] < 0) return leafBlocks(rootLeaf(bvh, node));
    // Holds the wide nodes of inner nodes whose boxes the ray is known to enter.
    int32_t stack[kTraversalStackSize];
    int32_t top = 0;
    stack[top++] = bvh.nodeWide[static_cast<size_t>(node)];
    while (top > 0) {
        const ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(stack[--top])];
        double entries[4];
        const unsigned entered = enterFloatQuad(wide.boxes, wide.usedMask, ray, maxT, entries);
        // Leaves first, as they may end the walk; then the inner entries, the leftmost walked first.
        for (unsigned leaves = entered & wide.leafMask; leaves != 0; leaves &= leaves - 1) {
            if (leafBlocks(leafOf(wide, lowestSetBit(leaves)))) return true;
        }
        for (unsigned inner = entered & ~wide.leafMask; inner != 0;) {
            const int i = highestSetBit(inner);
            // Its two lines load while the walk tests this step's leaves and the entries above it.
            const char* next = reinterpret_cast<const char*>(&bvh.wideNodes[static_cast<size_t>(wide.child[i])]);
            prefetchForRead(next);
            prefetchForRead(next + 64);
            stack[top++] = wide.child[i];
            inner &= ~(1u << i);
        }
    }
    return false;
}

bool nearestHitWalk(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
                           double maxT, const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    if (!traversable(bvh, node) || !isFinite(origin) || !isFinite(direction) || !(maxT > 0.0)) return false;
    const Ray ray = makeRay(bvh, origin, direction);
    // The walk keeps min(best t, max t) in a local: read through the reference, every step would
    // reload it from memory.
    double limit = std::min(bestT, maxT);
    const ShadowRayTriangle* nearest = nullptr;
    // An inner entry's wide node (lane -1), or a leaf entry of a wide node, with its entry parameter.
    struct Pending {
        double entry;
        int32_t wide;
        int32_t lane;
    };
    Pending stack[kTraversalStackSize];
    int32_t top = 0;
    bool found = false;
    auto take = [&](const ShadowRayTriangle& tri, double t) {
        limit = t;
        nearest = &tri;
        found = true;
    };
    auto walkLeaf = [&](const LeafRef& leaf) {
        forLeafTriangles(bvh, leaf, ray, limit, [&](const ShadowRayTriangle& tri, double t, double u, double v) {
            // The group was tested against the limit before an earlier hit may have lowered it.
            if (t < limit && mayBlock(bvh, tri, receiver) && shadowCasterOpaqueAt(bvh, tri, u, v)) take(tri, t);
            return false;
        });
    };
    if (const ShadowRayTriangle* last = rememberedBlocker(bvh, memo)) {
        // Its hit bounds the walk from the start; only nearer hits can replace it.
        double t = 0.0;
        if (blocksAt(bvh, *last, ray, limit, receiver, t)) take(*last, t);
    }
    // The start node's own box is not tested: every box below it lies inside it, and the slab test
    // is monotone in the bounds, so a ray that enters none of them would have missed it too.
    const int32_t rootWide = bvh.nodeWide[static_cast<size_t>(node)];
    if (rootWide < 0) {
        walkLeaf(rootLeaf(bvh, node));
    } else {
        stack[top++] = Pending{0.0, rootWide, -1};
    }
    // The walk goes on with the nearest entry a step enters without stacking it; it is within the
    // limit, as every entry a step reports is.
    Pending pending{};
    auto popWithinLimit = [&]() {
        while (top > 0) {
            pending = stack[--top];
            // Subtrees that start beyond the best hit so far cannot hold a nearer one.
            if (!(pending.entry > limit)) return true;
        }
        return false;
    };
    while (popWithinLimit()) {
        for (;;) {
            const ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(pending.wide)];
            if (pending.lane >= 0) {
                walkLeaf(leafOf(wide, pending.lane));
                break;
            }
            double entries[4];
            const unsigned entered = enterFloatQuad(wide.boxes, wide.usedMask, ray, limit, entries);
            if (entered == 0) break;
            // Nearer entries first (the leftmost on ties), so that their hits prune the others: the
            // rest pushed farthest first.
            int32_t order[4];
            int32_t count = 0;
            for (unsigned rest = entered; rest != 0; rest &= rest - 1) {
                const int i = lowestSetBit(rest);
                int32_t at = count++;
                while (at > 0 && entries[order[at - 1]] > entries[i]) {
                    order[at] = order[at - 1];
                    --at;
                }
                order[at] = i;
            }
            auto entryOf = [&](int i) {
                return (wide.leafMask >> i & 1u) != 0 ? Pending{entries[i], pending.wide, i}
                                                      : Pending{entries[i], wide.child[i], -1};
            };
            for (int32_t k = count - 1; k > 0; --k) stack[top++] = entryOf(order[k]);
            pending = entryOf(order[0]);
        }
    }
    remember(bvh, memo, nearest);
    if (!found) return false;
    bestT = limit;
    return true;
}

}  // namespace
}  // namespace zephrin
