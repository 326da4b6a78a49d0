// The two shadow-ray walks (any hit and nearest hit) over the hierarchy's walk arrays, compiled once
// for every processor (shadow_rays.cpp) and once with four-lane boxes for processors with AVX2
// (shadow_walk_avx2.cpp), each copy private to its file. Include it only there, after defining
// ZEPHRIN_SHADOW_WALK_AVX2 as 0 or 1. Everything here lies in an anonymous namespace: a function
// with external linkage compiled in both files could have its AVX2 copy picked by the linker for
// every caller, which would fault on a processor without AVX2.
//
// Triangles are intersected with the Moller-Trumbore test; nodes with the slab test, two levels of
// the tree per step. Both walks use a fixed stack: the tree is at most kShadowBvhMaxDepth deep.
// Lane by lane both copies compute the same values in the same order (no fused multiply-adds), so
// they give the same answers bit for bit.
#ifndef ZEPHRIN_SHADOW_WALK_AVX2
#error "define ZEPHRIN_SHADOW_WALK_AVX2 before including the walk"
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#if ZEPHRIN_SHADOW_WALK_AVX2
#include <immintrin.h>
#endif

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

struct Ray {
    Vec3 origin, direction, inverse;
    bool anyParallel = false;  // some component is below kParallelComponent
    DoublePair originPair[3] = {};   // each origin coordinate in both lanes
    DoublePair inversePair[3] = {};  // each inverse component in both lanes
};

Ray makeRay(const Vec3& origin, const Vec3& direction) {
    Ray ray{origin, direction, {}, false};
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

// The slab test on lanes `half` * 2 and `half` * 2 + 1 of a box quad (no ray parallel to
// a slab): bit 0 when the ray enters the first below maxT, bit 1 for the second, with their entry
// parameters. The three slab intervals are intersected in any order, so it runs without branches.
[[gnu::always_inline]] inline unsigned enterBoxPair(const ShadowBoxQuad& boxes, int half, const Ray& ray, double maxT,
                                                    double* entry) {
    const int l = 2 * half;
    auto lo = [&](int axis) { return DoublePair{boxes.lo[axis][l], boxes.lo[axis][l + 1]}; };
    auto hi = [&](int axis) { return DoublePair{boxes.hi[axis][l], boxes.hi[axis][l + 1]}; };
    const DoublePair x0 = (lo(0) - ray.originPair[0]) * ray.inversePair[0];
    const DoublePair x1 = (hi(0) - ray.originPair[0]) * ray.inversePair[0];
    const DoublePair y0 = (lo(1) - ray.originPair[1]) * ray.inversePair[1];
    const DoublePair y1 = (hi(1) - ray.originPair[1]) * ray.inversePair[1];
    const DoublePair z0 = (lo(2) - ray.originPair[2]) * ray.inversePair[2];
    const DoublePair z1 = (hi(2) - ray.originPair[2]) * ray.inversePair[2];
    const DoublePair tNear = laneMax(laneMax(laneMin(x0, x1), laneMin(y0, y1)), laneMax(laneMin(z0, z1), DoublePair{}));
    const DoublePair tFar =
        laneMin(laneMin(laneMax(x0, x1), laneMax(y0, y1)), laneMin(laneMax(z0, z1), DoublePair{maxT, maxT}));
    entry[l] = tNear[0];
    entry[l + 1] = tNear[1];
    return laneBits(tNear <= tFar);
}

#if ZEPHRIN_SHADOW_WALK_AVX2
// enterBoxPair's steps on all four lanes in one pass. min and max take their operands swapped so
// that each picks as laneMin and laneMax do on ties and NaN.
[[gnu::always_inline]] inline unsigned enterBoxQuadAvx2(const ShadowBoxQuad& boxes, const Ray& ray, double maxT,
                                                        double (&entry)[4]) {
    const __m256d ox = _mm256_set1_pd(ray.origin.x), oy = _mm256_set1_pd(ray.origin.y),
                  oz = _mm256_set1_pd(ray.origin.z);
    const __m256d ix = _mm256_set1_pd(ray.inverse.x), iy = _mm256_set1_pd(ray.inverse.y),
                  iz = _mm256_set1_pd(ray.inverse.z);
    const __m256d x0 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.lo[0]), ox), ix);
    const __m256d x1 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.hi[0]), ox), ix);
    const __m256d y0 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.lo[1]), oy), iy);
    const __m256d y1 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.hi[1]), oy), iy);
    const __m256d z0 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.lo[2]), oz), iz);
    const __m256d z1 = _mm256_mul_pd(_mm256_sub_pd(_mm256_load_pd(boxes.hi[2]), oz), iz);
    auto laneMin4 = [](__m256d a, __m256d b) { return _mm256_min_pd(b, a); };
    auto laneMax4 = [](__m256d a, __m256d b) { return _mm256_max_pd(b, a); };
    const __m256d tNear = laneMax4(laneMax4(laneMin4(x0, x1), laneMin4(y0, y1)),
                                   laneMax4(laneMin4(z0, z1), _mm256_setzero_pd()));
    const __m256d tFar = laneMin4(laneMin4(laneMax4(x0, x1), laneMax4(y0, y1)),
                                  laneMin4(laneMax4(z0, z1), _mm256_set1_pd(maxT)));
    _mm256_storeu_pd(entry, tNear);
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(tNear, tFar, _CMP_LE_OQ)));
}
#endif

// The four boxes of a quad: bit i when the ray enters box i below maxT, with its entry parameter in
// entry[i]. Only the lanes in `lanes` are needed; the others may be set or not.
[[gnu::always_inline]] inline unsigned enterQuad(const ShadowBoxQuad& boxes, unsigned lanes, const Ray& ray,
                                                 double maxT, double (&entry)[4]) {
    unsigned entered = 0;
    if (ray.anyParallel) {
        for (int i = 0; i < 4; ++i) {
            if ((lanes >> i & 1u) == 0) continue;
            const Vec3 lo{boxes.lo[0][i], boxes.lo[1][i], boxes.lo[2][i]};
            const Vec3 hi{boxes.hi[0][i], boxes.hi[1][i], boxes.hi[2][i]};
            if (enterBoxAxisByAxis(lo, hi, ray, maxT, entry[i])) entered |= 1u << i;
        }
        return entered;
    }
#if ZEPHRIN_SHADOW_WALK_AVX2
    entered = enterBoxQuadAvx2(boxes, ray, maxT, entry);
#else
    entered = enterBoxPair(boxes, 0, ray, maxT, entry);
    if (lanes > 3u) entered |= enterBoxPair(boxes, 1, ray, maxT, entry) << 2;
#endif
    return entered & lanes;
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

// The hit parameters of a group's lanes.
struct GroupHits {
    double t[kShadowLeafGroupSize], u[kShadowLeafGroupSize], v[kShadowLeafGroupSize];
};

// The lanes 2 * half and 2 * half + 1 of a group whose triangle the Moller-Trumbore test of
// intersect() hits below maxT, both at once (bit 0 and bit 1), with their t, u and v. Every step is
// intersect()'s, in its order, so a lane passes exactly when intersect() would, with the same
// parameters.
[[gnu::always_inline]] inline unsigned pairCandidates(const ShadowGroupTriangles& group, int half, const Ray& ray,
                                                      double maxT, GroupHits& hits) {
    const int l = 2 * half;
    auto load = [l](const double (&values)[kShadowLeafGroupSize]) { return DoublePair{values[l], values[l + 1]}; };
    auto splat = [](double x) { return DoublePair{x, x}; };
    const DoublePair dx = splat(ray.direction.x), dy = splat(ray.direction.y), dz = splat(ray.direction.z);
    const DoublePair e1x = load(group.e1[0]), e1y = load(group.e1[1]), e1z = load(group.e1[2]);
    const DoublePair e2x = load(group.e2[0]), e2y = load(group.e2[1]), e2z = load(group.e2[2]);
    // p = cross(d, e2), det = dot(e1, p)
    const DoublePair px = dy * e2z - dz * e2y, py = dz * e2x - dx * e2z, pz = dx * e2y - dy * e2x;
    const DoublePair det = e1x * px + e1y * py + e1z * pz;
    const DoublePair inv = splat(1.0) / det;
    const DoublePair sx = ray.originPair[0] - load(group.a[0]), sy = ray.originPair[1] - load(group.a[1]),
                     sz = ray.originPair[2] - load(group.a[2]);
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
        hits.t[l + lane] = t[lane];
        hits.u[l + lane] = u[lane];
        hits.v[l + lane] = v[lane];
    }
    return laneBits(pass);
}

#if ZEPHRIN_SHADOW_WALK_AVX2
// pairCandidates' steps on all four lanes in one pass. The magnitude of the determinant is taken by
// clearing its sign bit, which differs from laneAbs only on a negative zero, below the limit either
// way; each comparison is the one that holds, or fails, on NaN as pairCandidates' does.
[[gnu::always_inline]] inline unsigned groupCandidatesAvx2(const ShadowGroupTriangles& group, const Ray& ray,
                                                           double maxT, GroupHits& hits) {
    const __m256d dx = _mm256_set1_pd(ray.direction.x), dy = _mm256_set1_pd(ray.direction.y),
                  dz = _mm256_set1_pd(ray.direction.z);
    const __m256d e1x = _mm256_load_pd(group.e1[0]), e1y = _mm256_load_pd(group.e1[1]),
                  e1z = _mm256_load_pd(group.e1[2]);
    const __m256d e2x = _mm256_load_pd(group.e2[0]), e2y = _mm256_load_pd(group.e2[1]),
                  e2z = _mm256_load_pd(group.e2[2]);
    auto mul = [](__m256d a, __m256d b) { return _mm256_mul_pd(a, b); };
    auto add = [](__m256d a, __m256d b) { return _mm256_add_pd(a, b); };
    auto sub = [](__m256d a, __m256d b) { return _mm256_sub_pd(a, b); };
    const __m256d px = sub(mul(dy, e2z), mul(dz, e2y)), py = sub(mul(dz, e2x), mul(dx, e2z)),
                  pz = sub(mul(dx, e2y), mul(dy, e2x));
    const __m256d det = add(add(mul(e1x, px), mul(e1y, py)), mul(e1z, pz));
    const __m256d inv = _mm256_div_pd(_mm256_set1_pd(1.0), det);
    const __m256d sx = sub(_mm256_set1_pd(ray.origin.x), _mm256_load_pd(group.a[0])),
                  sy = sub(_mm256_set1_pd(ray.origin.y), _mm256_load_pd(group.a[1])),
                  sz = sub(_mm256_set1_pd(ray.origin.z), _mm256_load_pd(group.a[2]));
    const __m256d u = mul(add(add(mul(sx, px), mul(sy, py)), mul(sz, pz)), inv);
    const __m256d qx = sub(mul(sy, e1z), mul(sz, e1y)), qy = sub(mul(sz, e1x), mul(sx, e1z)),
                  qz = sub(mul(sx, e1y), mul(sy, e1x));
    const __m256d v = mul(add(add(mul(dx, qx), mul(dy, qy)), mul(dz, qz)), inv);
    const __m256d t = mul(add(add(mul(e2x, qx), mul(e2y, qy)), mul(e2z, qz)), inv);
    const __m256d absDet = _mm256_andnot_pd(_mm256_set1_pd(-0.0), det);
    const __m256d lowSlack = _mm256_set1_pd(-kBarycentricSlack), highSlack = _mm256_set1_pd(1.0 + kBarycentricSlack);
    __m256d pass = _mm256_cmp_pd(absDet, _mm256_set1_pd(kMinDeterminant), _CMP_GE_OQ);
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(u, lowSlack, _CMP_NLT_UQ));
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(u, highSlack, _CMP_NGT_UQ));
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(v, lowSlack, _CMP_NLT_UQ));
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(add(u, v), highSlack, _CMP_NGT_UQ));
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(t, _mm256_set1_pd(kMinHitT), _CMP_GT_OQ));
    pass = _mm256_and_pd(pass, _mm256_cmp_pd(t, _mm256_set1_pd(maxT), _CMP_LT_OQ));
    _mm256_storeu_pd(hits.t, t);
    _mm256_storeu_pd(hits.u, u);
    _mm256_storeu_pd(hits.v, v);
    return static_cast<unsigned>(_mm256_movemask_pd(pass));
}
#endif

// The lanes of a group whose triangle the ray hits below maxT (bit i for lane i), with their t, u
// and v.
[[gnu::always_inline]] inline unsigned groupCandidates(const ShadowGroupTriangles& group, const Ray& ray, double maxT,
                                                       GroupHits& hits) {
    static_assert(kShadowLeafGroupSize == 4, "a group fills four lanes");
#if ZEPHRIN_SHADOW_WALK_AVX2
    return groupCandidatesAvx2(group, ray, maxT, hits);
#else
    return pairCandidates(group, 0, ray, maxT, hits) | pairCandidates(group, 1, ray, maxT, hits) << 2;
#endif
}

// Whether a triangle (of `surface`, `triangle` in its mesh) may block the receiver at all: never its
// own triangle, and no triangle of a plain layer that receives (plain layers never shadow
// themselves).
inline bool mayBlock(const ShadowBvh& bvh, int32_t surface, int32_t triangle, const ShadowReceiver& receiver) {
    if (surface != receiver.surface) return true;
    if (triangle == receiver.triangle) return false;
    if (bvh.surfaces == nullptr || receiver.surface < 0 ||
        static_cast<size_t>(receiver.surface) >= bvh.surfaces->size()) {
        return true;
    }
    return (*bvh.surfaces)[static_cast<size_t>(receiver.surface)].kind != kSurfaceFlat;
}

inline bool mayBlock(const ShadowBvh& bvh, const ShadowRayTriangle& tri, const ShadowReceiver& receiver) {
    return mayBlock(bvh, tri.surfaceIndex, tri.triangleIndex, receiver);
}

// A triangle of a group that the ray hits below the limit: where it stands in the ray triangles,
// which of the frame's triangles it is (read from its group, already at hand), and the hit.
struct GroupHit {
    const ShadowRayTriangle* tri;
    int32_t surface, triangle;
    double t, u, v;
};

// Whether the hit blocks the receiver. Only an alpha-tested caster needs its ray triangle, which a
// frame without such casters never reads.
inline bool hitBlocks(const ShadowBvh& bvh, const GroupHit& hit, const ShadowReceiver& receiver) {
    return mayBlock(bvh, hit.surface, hit.triangle, receiver) &&
           (!bvh.hasAlphaCasters || shadowCasterOpaqueAt(bvh, *hit.tri, hit.u, hit.v));
}

// The walk needs a node to start from and the arrays built with the tree.
bool traversable(const ShadowBvh& bvh, int32_t node) {
    return bvh.walkReady && node >= 0 && static_cast<size_t>(node) < bvh.nodes.size();
}

// A leaf as the walk reads it: its run of ShadowBvh::indices and its first group quad.
struct LeafRef {
    int32_t first = 0;
    int32_t count = 0;
    int32_t quad = 0;
};

LeafRef leafOf(const ShadowWideNode& wide, int i) { return LeafRef{wide.child[i], wide.leafCount[i], wide.leafQuad[i]}; }

// A leaf the walk starts from, read from its node: a tree of one leaf has no wide node.
LeafRef rootLeaf(const ShadowBvh& bvh, int32_t node) {
    const ShadowBvhNode& leaf = bvh.nodes[static_cast<size_t>(node)];
    return LeafRef{leaf.firstIndex, leaf.indexCount, bvh.nodeFirstGroup[static_cast<size_t>(node)] / 4};
}

// Asks for the cache lines a record of N bytes at `address` may span (its start need not fall on a
// line), without a loop: the record sizes are known when the walk is compiled.
template <size_t N>
[[gnu::always_inline]] inline void prefetchRecord(const void* address) {
    const char* p = static_cast<const char*>(address);
    // Written out rather than looped: the compiler keeps a loop over these few lines.
    [p]<size_t... Line>(std::index_sequence<Line...>) {
        (prefetchForRead(p + Line * 64), ...);
    }(std::make_index_sequence<(N + 63) / 64>{});
    if constexpr (N % 64 != 0) prefetchForRead(p + N - 1);
}

// A group quad holds four groups; a leaf's groups fill whole quads.
constexpr int32_t kQuadTriangles = 4 * kShadowLeafGroupSize;

inline int32_t quadsOfLeaf(const LeafRef& leaf) { return (leaf.count + kQuadTriangles - 1) / kQuadTriangles; }

inline void prefetchBoxes(const ShadowGroupQuad& quad) { prefetchRecord<sizeof(ShadowBoxQuad)>(&quad.boxes); }

// The group boxes a ray tests first in a leaf: fetched while the walk is still busy elsewhere, as
// leaves lie far apart in memory and their boxes are most of the time the walk waits.
inline void prefetchLeaf(const ShadowBvh& bvh, const LeafRef& leaf) {
    prefetchBoxes(bvh.groupQuads[static_cast<size_t>(leaf.quad)]);
}

inline void prefetchWide(const ShadowBvh& bvh, int32_t wide) {
    prefetchRecord<sizeof(ShadowWideNode)>(&bvh.wideNodes[static_cast<size_t>(wide)]);
}

// Calls test(hit) for the triangles of the leaf's groups that the ray hits below the limit the
// callback keeps; stops when it returns true. Lanes that pad a leaf's groups or a group's triangles
// hold a box at a single point and a triangle without area, which no ray hits: they need no mask.
template <typename Test>
bool forLeafTriangles(const ShadowBvh& bvh, const LeafRef& leaf, const Ray& ray, const double& limit, Test&& test) {
    const int32_t quads = quadsOfLeaf(leaf);
    const ShadowGroupQuad* leafQuads = bvh.groupQuads.data() + leaf.quad;
    const ShadowRayTriangle* leafTriangles = bvh.rayTriangles.data() + leaf.first;
    for (int32_t q = 0; q < quads; ++q) {
        const ShadowGroupQuad& quad = leafQuads[q];
        if (q + 1 < quads) prefetchBoxes(leafQuads[q + 1]);
        double entries[4];
        const unsigned enteredGroups = enterQuad(quad.boxes, 15u, ray, limit, entries);
        // Every entered group's triangles load together rather than one after the other.
        for (unsigned ahead = enteredGroups; ahead != 0; ahead &= ahead - 1) {
            prefetchRecord<sizeof(ShadowGroupTriangles)>(&quad.groups[lowestSetBit(ahead)]);
        }
        for (unsigned entered = enteredGroups; entered != 0; entered &= entered - 1) {
            const int lane = lowestSetBit(entered);
            const ShadowGroupTriangles& group = quad.groups[lane];
            GroupHits hits;
            const unsigned candidates = groupCandidates(group, ray, limit, hits);
            const ShadowRayTriangle* tri = leafTriangles + (q * 4 + lane) * kShadowLeafGroupSize;
            for (unsigned pass = candidates; pass != 0; pass &= pass - 1) {
                const int i = lowestSetBit(pass);
                if (test(GroupHit{tri + i, group.surfaceIndex[i], group.triangleIndex[i], hits.t[i], hits.u[i],
                                  hits.v[i]})) {
                    return true;
                }
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
    const Ray ray = makeRay(origin, direction);
    double blockerT = 0.0;
    if (const ShadowRayTriangle* last = rememberedBlocker(bvh, memo)) {
        if (blocksAt(bvh, *last, ray, maxT, receiver, blockerT)) return true;
    }
    // Until a ray finds a blocker again there is none to try first: lit pixels come in runs.
    remember(bvh, memo, nullptr);
    auto leafBlocks = [&](const LeafRef& leaf) {
        // The first opaque hit ends the walk: any-hit rays only need to know that one exists.
        return forLeafTriangles(bvh, leaf, ray, maxT, [&](const GroupHit& hit) {
            if (!hitBlocks(bvh, hit, receiver)) return false;
            remember(bvh, memo, hit.tri);
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
        const unsigned entered = enterQuad(wide.boxes, wide.usedMask, ray, maxT, entries);
        // Leaves first, as they may end the walk; then the inner entries, the leftmost walked first.
        for (unsigned leaves = entered & wide.leafMask; leaves != 0; leaves &= leaves - 1) {
            prefetchLeaf(bvh, leafOf(wide, lowestSetBit(leaves)));
        }
        for (unsigned leaves = entered & wide.leafMask; leaves != 0; leaves &= leaves - 1) {
            if (leafBlocks(leafOf(wide, lowestSetBit(leaves)))) return true;
        }
        for (unsigned inner = entered & ~wide.leafMask; inner != 0;) {
            const int i = highestSetBit(inner);
            // Its four lines load while the walk tests this step's leaves and the entries above it.
            prefetchWide(bvh, wide.child[i]);
            stack[top++] = wide.child[i];
            inner &= ~(1u << i);
        }
    }
    return false;
}

bool nearestHitWalk(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
                           double maxT, const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    if (!traversable(bvh, node) || !isFinite(origin) || !isFinite(direction) || !(maxT > 0.0)) return false;
    const Ray ray = makeRay(origin, direction);
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
        forLeafTriangles(bvh, leaf, ray, limit, [&](const GroupHit& hit) {
            // The group was tested against the limit before an earlier hit may have lowered it.
            if (hit.t < limit && hitBlocks(bvh, hit, receiver)) take(*hit.tri, hit.t);
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
            const unsigned entered = enterQuad(wide.boxes, wide.usedMask, ray, limit, entries);
            if (entered == 0) break;
            auto entryOf = [&](int i) {
                if ((wide.leafMask >> i & 1u) != 0) {
                    prefetchLeaf(bvh, leafOf(wide, i));
                    return Pending{entries[i], pending.wide, i};
                }
                prefetchWide(bvh, wide.child[i]);
                return Pending{entries[i], wide.child[i], -1};
            };
            // Nearer entries first (the leftmost on ties), so that their hits prune the others: the
            // rest pushed farthest first. Most steps enter one or two boxes.
            const int firstLane = lowestSetBit(entered);
            const unsigned others = entered & (entered - 1);
            if (others == 0) {
                pending = entryOf(firstLane);
                continue;
            }
            if ((others & (others - 1)) == 0) {
                const int secondLane = lowestSetBit(others);
                const bool secondNearer = entries[firstLane] > entries[secondLane];
                stack[top++] = entryOf(secondNearer ? firstLane : secondLane);
                pending = entryOf(secondNearer ? secondLane : firstLane);
                continue;
            }
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
