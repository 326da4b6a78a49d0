// Shadow rays against the hierarchy (any hit and nearest hit) and the per-light visibility that
// combines them with the light's shadow map according to the receiver's shadow mode.
//
// Triangles are intersected with the Moller-Trumbore test; nodes with the slab test, two levels of
// the tree per step. Both walks use a fixed stack: the tree is at most kShadowBvhMaxDepth deep.
#include "renderer/shadows/shadow_rays.h"

#include <algorithm>
#include <cmath>

#include "common/simd.h"
#include "renderer/scene/light_gains.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/texture/texture_sampling.h"

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
// A caster fragment at or below this alpha lets light through.
constexpr double kTransparentCasterAlpha = 0.001;

// Blocker hint of any-hit rays, which do not measure the blocker distance.
constexpr double kAnyHitBlockerHint = 0.5;
// Contact hardening: the hint reaches 0.5 when the blocker lies a fifth of the way to the light
// (point and spot lights), or 200 px from the receiver (parallel lights).
constexpr double kBlockerHintLightShare = 0.2;
constexpr double kParallelBlockerHintDistance = 200.0;
constexpr double kMinBlockerDistance = 1e-6;
// Partial ray visibility is sharpened by this exponent before the darkness is applied.
constexpr double kVisibilityExponent = 1.32;
constexpr double kMapSoftnessPerDiffusion = 0.1;

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

// Entry parameter of a box within [0, maxT]; false when the ray misses it there. The three slab
// intervals are intersected in any order, so the common case runs without branches.
inline bool enterBox(const Vec3& lo, const Vec3& hi, const Ray& ray, double maxT, double& entry) {
    if (ray.anyParallel) return enterBoxAxisByAxis(lo, hi, ray, maxT, entry);
    const double x0 = (lo.x - ray.origin.x) * ray.inverse.x, x1 = (hi.x - ray.origin.x) * ray.inverse.x;
    const double y0 = (lo.y - ray.origin.y) * ray.inverse.y, y1 = (hi.y - ray.origin.y) * ray.inverse.y;
    const double z0 = (lo.z - ray.origin.z) * ray.inverse.z, z1 = (hi.z - ray.origin.z) * ray.inverse.z;
    const double tNear = std::max(std::max(std::min(x0, x1), std::min(y0, y1)), std::max(std::min(z0, z1), 0.0));
    const double tFar = std::min(std::min(std::max(x0, x1), std::max(y0, y1)), std::min(std::max(z0, z1), maxT));
    entry = tNear;
    return tNear <= tFar;
}

inline bool enterNode(const ShadowBvhNode& node, const Ray& ray, double maxT, double& entry) {
    return enterBox(node.boundsMin, node.boundsMax, ray, maxT, entry);
}

// The slab test of enterBox on two boxes at once (no ray parallel to a slab): bit 0 when the ray
// enters the first below maxT, bit 1 for the second, with their entry parameters. Lane by lane it
// takes enterBox's steps, so it decides the same.
[[gnu::always_inline]] inline unsigned enterBoxPair(const ShadowChildBoxes& boxes, const Ray& ray, double maxT,
                                                    double& firstEntry, double& secondEntry) {
    auto load = [](const double (&values)[2]) { return DoublePair{values[0], values[1]}; };
    const DoublePair x0 = (load(boxes.lo[0]) - ray.originPair[0]) * ray.inversePair[0];
    const DoublePair x1 = (load(boxes.hi[0]) - ray.originPair[0]) * ray.inversePair[0];
    const DoublePair y0 = (load(boxes.lo[1]) - ray.originPair[1]) * ray.inversePair[1];
    const DoublePair y1 = (load(boxes.hi[1]) - ray.originPair[1]) * ray.inversePair[1];
    const DoublePair z0 = (load(boxes.lo[2]) - ray.originPair[2]) * ray.inversePair[2];
    const DoublePair z1 = (load(boxes.hi[2]) - ray.originPair[2]) * ray.inversePair[2];
    const DoublePair tNear = laneMax(laneMax(laneMin(x0, x1), laneMin(y0, y1)), laneMax(laneMin(z0, z1), DoublePair{}));
    const DoublePair tFar =
        laneMin(laneMin(laneMax(x0, x1), laneMax(y0, y1)), laneMin(laneMax(z0, z1), DoublePair{maxT, maxT}));
    firstEntry = tNear[0];
    secondEntry = tNear[1];
    return laneBits(tNear <= tFar);
}

// The boxes of a wide node's entries: bit i when the ray enters entry i below maxT, with its entry
// parameter in entry[i].
[[gnu::always_inline]] inline unsigned enterWide(const ShadowBvh& bvh, const ShadowWideNode& wide, const Ray& ray,
                                                 double maxT, double (&entry)[4]) {
    unsigned entered = 0;
    if (ray.anyParallel) {
        for (int32_t i = 0; i < wide.count; ++i) {
            if (enterNode(bvh.nodes[static_cast<size_t>(wide.entries[i])], ray, maxT, entry[i])) entered |= 1u << i;
        }
        return entered;
    }
    entered = enterBoxPair(wide.boxes[0], ray, maxT, entry[0], entry[1]);
    if (wide.count > 2) entered |= enterBoxPair(wide.boxes[1], ray, maxT, entry[2], entry[3]) << 2;
    return entered & wide.usedMask;
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

// An alpha-tested caster blocks only where its texture is opaque.
bool opaqueAt(const ShadowBvh& bvh, const ShadowRayTriangle& tri, double u, double v) {
    if (!tri.alphaTested || bvh.surfaces == nullptr) return true;
    const SceneSurface& surface = (*bvh.surfaces)[static_cast<size_t>(tri.surfaceIndex)];
    const SurfaceTriangle& mesh = surface.mesh.triangles[static_cast<size_t>(tri.triangleIndex)];
    const SurfaceVertex& a = surface.mesh.vertices[static_cast<size_t>(mesh.a)];
    const SurfaceVertex& b = surface.mesh.vertices[static_cast<size_t>(mesh.b)];
    const SurfaceVertex& c = surface.mesh.vertices[static_cast<size_t>(mesh.c)];
    double w = 1.0 - u - v;
    double tu = w * a.u + u * b.u + v * c.u;
    double tv = w * a.v + u * b.v + v * c.v;
    PackedColor color = faceColour(surface, mesh.faceCode, tu, tv);
    return packedAlpha(color) / 255.0 * surface.opacity > kTransparentCasterAlpha;
}

// The walk needs a node to start from and the arrays built with the tree.
bool traversable(const ShadowBvh& bvh, int32_t node) {
    return bvh.walkReady && node >= 0 && static_cast<size_t>(node) < bvh.nodes.size();
}

// Calls test(triangle, t, u, v) for the triangles of the leaf's groups that the ray hits below the
// limit the callback keeps; stops when it returns true.
template <typename Test>
bool forLeafTriangles(const ShadowBvh& bvh, int32_t firstIndex, int32_t indexCount, int32_t leafFirstGroup,
                      const Ray& ray, const double& limit, Test&& test) {
    const auto firstGroup = static_cast<size_t>(leafFirstGroup);
    const int32_t groups = (indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize;
    for (int32_t g = 0; g < groups; g += 2) {
        double firstEntry = 0.0, secondEntry = 0.0;
        unsigned entered = 0;
        if (ray.anyParallel) {
            const ShadowLeafGroup& first = bvh.leafGroups[firstGroup + static_cast<size_t>(g)];
            entered = enterBox(first.boundsMin, first.boundsMax, ray, limit, firstEntry) ? 1u : 0u;
            if (g + 1 < groups) {
                const ShadowLeafGroup& second = bvh.leafGroups[firstGroup + static_cast<size_t>(g + 1)];
                if (enterBox(second.boundsMin, second.boundsMax, ray, limit, secondEntry)) entered |= 2u;
            }
        } else {
            entered = enterBoxPair(bvh.groupBoxPairs[firstGroup + static_cast<size_t>(g)], ray, limit, firstEntry,
                                   secondEntry);
            if (g + 1 >= groups) entered &= 1u;
        }
        for (int32_t lane = 0; lane < 2; ++lane) {
            if ((entered >> lane & 1u) == 0) continue;
            const size_t index = firstGroup + static_cast<size_t>(g + lane);
            const int32_t groupFirst = firstIndex + (g + lane) * kShadowLeafGroupSize;
            const int32_t groupCount = std::min(kShadowLeafGroupSize, firstIndex + indexCount - groupFirst);
            PairHits hits;
            const unsigned candidates = pairCandidates(bvh.groupPairs[index], ray, limit, hits);
            const ShadowRayTriangle* tri = bvh.rayTriangles.data() + groupFirst;
            for (int32_t i = 0; i < groupCount; ++i) {
                if ((candidates >> i & 1u) != 0 && test(tri[i], hits.t[i], hits.u[i], hits.v[i])) return true;
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
    return intersect(tri, ray, limit, t, u, v) && mayBlock(bvh, tri, receiver) && opaqueAt(bvh, tri, u, v);
}

bool anyHitRemembering(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                       const ShadowReceiver& receiver, ShadowRayMemo* memo) {
    if (!traversable(bvh, node) || !isFinite(origin) || !isFinite(direction) || !(maxT > 0.0)) return false;
    const Ray ray = makeRay(origin, direction);
    double blockerT = 0.0;
    if (const ShadowRayTriangle* last = rememberedBlocker(bvh, memo)) {
        if (blocksAt(bvh, *last, ray, maxT, receiver, blockerT)) return true;
    }
    // Until a ray finds a blocker again there is none to try first: lit pixels come in runs.
    remember(bvh, memo, nullptr);
    double entry = 0.0;
    if (!enterNode(bvh.nodes[static_cast<size_t>(node)], ray, maxT, entry)) return false;
    auto leafBlocks = [&](int32_t first, int32_t count, int32_t firstGroup) {
        // The first opaque hit ends the walk: any-hit rays only need to know that one exists.
        return forLeafTriangles(bvh, first, count, firstGroup, ray, maxT, [&](const ShadowRayTriangle& tri, double, double u, double v) {
            if (!mayBlock(bvh, tri, receiver) || !opaqueAt(bvh, tri, u, v)) return false;
            remember(bvh, memo, &tri);
            return true;
        });
    };
    const ShadowBvhNode& root = bvh.nodes[static_cast<size_t>(node)];
    if (root.leftChild < 0) {
        return leafBlocks(root.firstIndex, root.indexCount, bvh.nodeFirstGroup[static_cast<size_t>(node)]);
    }
    // Holds the wide nodes of inner nodes whose boxes the ray is known to enter.
    int32_t stack[kTraversalStackSize];
    int32_t top = 0;
    stack[top++] = bvh.nodeWide[static_cast<size_t>(node)];
    while (top > 0) {
        const ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(stack[--top])];
        double entries[4];
        const unsigned entered = enterWide(bvh, wide, ray, maxT, entries);
        // Leaves first, as they may end the walk; then the inner entries, the leftmost walked first.
        for (unsigned leaves = entered & wide.leafMask; leaves != 0; leaves &= leaves - 1) {
            const int i = lowestSetBit(leaves);
            if (leafBlocks(wide.leafFirst[i], wide.leafCount[i], wide.leafFirstGroup[i])) return true;
        }
        for (unsigned inner = entered & ~wide.leafMask; inner != 0;) {
            const int i = highestSetBit(inner);
            // Its four lines load while the walk tests this step's leaves and the entries above it.
            const char* next = reinterpret_cast<const char*>(&bvh.wideNodes[static_cast<size_t>(wide.wide[i])]);
            prefetchForRead(next);
            prefetchForRead(next + 64);
            prefetchForRead(next + 128);
            prefetchForRead(next + 192);
            stack[top++] = wide.wide[i];
            inner &= ~(1u << i);
        }
    }
    return false;
}

bool nearestHitRemembering(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction,
                           double maxT, const ShadowReceiver& receiver, double& bestT, ShadowRayMemo* memo) {
    if (!traversable(bvh, node) || !isFinite(origin) || !isFinite(direction) || !(maxT > 0.0)) return false;
    const Ray ray = makeRay(origin, direction);
    // The walk keeps min(best t, max t) in a local: read through the reference, every step would
    // reload it from memory.
    double limit = std::min(bestT, maxT);
    const ShadowRayTriangle* nearest = nullptr;
    struct Pending {
        int32_t node;
        double entry;
    };
    Pending stack[kTraversalStackSize];
    int32_t top = 0;
    bool found = false;
    auto take = [&](const ShadowRayTriangle& tri, double t) {
        limit = t;
        nearest = &tri;
        found = true;
    };
    if (const ShadowRayTriangle* last = rememberedBlocker(bvh, memo)) {
        // Its hit bounds the walk from the start; only nearer hits can replace it.
        double t = 0.0;
        if (blocksAt(bvh, *last, ray, limit, receiver, t)) take(*last, t);
    }
    double rootEntry = 0.0;
    if (enterNode(bvh.nodes[static_cast<size_t>(node)], ray, limit, rootEntry)) stack[top++] = Pending{node, rootEntry};
    while (top > 0) {
        const Pending pending = stack[--top];
        // Subtrees that start beyond the best hit so far cannot hold a nearer one.
        if (pending.entry > limit) continue;
        const int32_t wideIndex = bvh.nodeWide[static_cast<size_t>(pending.node)];
        if (wideIndex < 0) {
            const ShadowBvhNode& leaf = bvh.nodes[static_cast<size_t>(pending.node)];
            forLeafTriangles(bvh, leaf.firstIndex, leaf.indexCount, bvh.nodeFirstGroup[static_cast<size_t>(pending.node)],
                             ray, limit,
                             [&](const ShadowRayTriangle& tri, double t, double u, double v) {
                // The pair was tested against the limit before its first lane may have lowered it.
                if (t < limit && mayBlock(bvh, tri, receiver) && opaqueAt(bvh, tri, u, v)) take(tri, t);
                return false;
            });
            continue;
        }
        const ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(wideIndex)];
        double entries[4];
        const unsigned entered = enterWide(bvh, wide, ray, limit, entries);
        // Nearer entries first (the leftmost on ties), so that their hits prune the others: pushed
        // farthest first.
        int32_t order[4];
        int32_t count = 0;
        for (int32_t i = 0; i < wide.count; ++i) {
            if ((entered >> i & 1u) == 0) continue;
            int32_t at = count++;
            while (at > 0 && entries[order[at - 1]] > entries[i]) {
                order[at] = order[at - 1];
                --at;
            }
            order[at] = i;
        }
        for (int32_t k = count - 1; k >= 0; --k) stack[top++] = Pending{wide.entries[order[k]], entries[order[k]]};
    }
    remember(bvh, memo, nearest);
    if (!found) return false;
    bestT = limit;
    return true;
}

}  // namespace

bool anyHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
            const ShadowReceiver& receiver) {
    return anyHitRemembering(bvh, node, origin, direction, maxT, receiver, nullptr);
}

bool nearestHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, double& bestT) {
    return nearestHitRemembering(bvh, node, origin, direction, maxT, receiver, bestT, nullptr);
}

double lightVisibility(const ShadowBvh& bvh, const SceneLight& light, const VisibilityQuery& query,
                       double* blockerHint) {
    if (blockerHint != nullptr) *blockerHint = 0.0;
    if (!light.castsShadows) return 1.0;
    const ShadowMode mode = query.shadowMode;
    const bool mapUsable = query.map != nullptr && query.map->valid && !bvh.hasAlphaCasters;
    const double darkness = std::clamp(light.shadowDarkness * kShadowDarknessGain, 0.0, 1.0);
    const double mapSoftness = light.shadowDiffusion * kMapSoftnessPerDiffusion + query.shadowSoftness;
    auto darken = [darkness](double visibility) {
        double v = std::clamp(1.0 - (1.0 - visibility) * darkness, 0.0, 1.0);
        return std::isnan(v) ? 1.0 : v;
    };

    if (mode == ShadowMode::MapFast && mapUsable) {
        return darken(sampleShadowMap(*query.map, query.point, mapSoftness, query.shadowQuality));
    }
    if (bvh.nodes.empty()) return 1.0;

    const bool positional = light.type == kLightPoint || light.type == kLightSpot;
    const Vec3 fallback{0.0, 0.0, -1.0};
    Vec3 direction, normal;
    if (query.unitVectorsGiven) {
        direction = query.towardLight;
        normal = query.unitNormal;
    } else {
        direction = positional ? normalizeOr(light.positionWorld - query.point, fallback)
                               : normalizeOr(-light.directionWorld, fallback);
        normal = normalizeOr(query.normal, fallback);
    }
    if (dot(normal, direction) < 0.0) normal = -normal;
    const Vec3 origin = query.point + normal * kRayOriginOffset;
    const double maxT =
        positional ? std::max(length(light.positionWorld - origin) - kRayEndOffset, 0.0) : kParallelRayLength;
    if (!(maxT >= kMinRayLength)) return 1.0;

    const bool diffuse = light.shadowDiffusion > kMinShadowDiffusion;
    double blocker = 0.0;
    double base = 1.0;
    if (query.cached != nullptr) {
        base = query.cached->hit ? 0.0 : 1.0;
        if (query.cached->hit && diffuse) blocker = query.cached->distance;
    } else if (query.anyHitOnly || !diffuse) {
        base = anyHitRemembering(bvh, 0, origin, direction, maxT, query.receiver, query.memo) ? 0.0 : 1.0;
    } else {
        double best = maxT;
        if (nearestHitRemembering(bvh, 0, origin, direction, maxT, query.receiver, best, query.memo)) {
            base = 0.0;
            blocker = best;
        }
    }

    if (blockerHint != nullptr && base < 0.5 && diffuse) {
        double hint = kAnyHitBlockerHint;
        if (!query.anyHitOnly) {
            double t = std::max(blocker, 0.0);
            if (t <= kMinBlockerDistance) {
                hint = 0.0;
            } else if (positional) {
                hint = t / (std::max(maxT - t, 1.0) * kBlockerHintLightShare + t);
            } else {
                hint = t / (t + kParallelBlockerHintDistance);
            }
        }
        *blockerHint = std::isnan(hint) ? 0.0 : std::clamp(hint, 0.0, 1.0);
    }

    if (mode == ShadowMode::Hybrid && mapUsable && base > 0.0) {
        base = std::min(base, sampleShadowMap(*query.map, query.point, mapSoftness, query.shadowQuality));
    }
    double v = base <= 0.0 ? 0.0 : (base >= 1.0 ? 1.0 : std::pow(base, kVisibilityExponent));
    return darken(v);
}

}  // namespace zephrin
