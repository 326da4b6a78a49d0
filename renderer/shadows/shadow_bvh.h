// Bounding-volume hierarchy over every shadow-casting triangle of a frame, answering the any-hit
// and nearest-hit shadow queries, and its packed single-precision form for the GPU passes.
#pragma once

#include <cstdint>
#include <vector>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

struct ShadowTriangle {
    Vec3 a, b, c;  // world positions
    Vec3 centroid;
    int32_t surfaceIndex = 0;
    int32_t triangleIndex = 0;  // in that surface's mesh
    bool alphaTested = false;   // the caster may be transparent here: hits consult its texture
    Vec3 boundsMin, boundsMax;
};

struct ShadowBvhNode {
    Vec3 boundsMin, boundsMax;
    int32_t leftChild = -1;   // -1 in a leaf
    int32_t rightChild = -1;  // -1 in a leaf
    int32_t firstIndex = 0;   // into ShadowBvh::indices
    int32_t indexCount = 0;   // 0 in an inner node
};

// A triangle as the ray test reads it: one corner and the two edges from it, stored in the order
// of ShadowBvh::indices so that a leaf's triangles lie side by side in memory.
struct ShadowRayTriangle {
    Vec3 a, e1, e2;  // e1 = b - a, e2 = c - a
    int32_t surfaceIndex = 0;
    int32_t triangleIndex = 0;
    bool alphaTested = false;
};

// Up to kShadowLeafGroupSize neighbouring triangles of one leaf under their own box, so that a ray
// through a leaf tests only the triangles near its path.
struct ShadowLeafGroup {
    Vec3 boundsMin, boundsMax;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;
};
constexpr int32_t kShadowLeafGroupSize = 2;

// A group's two triangles as the ray test reads them, coordinate by coordinate ([lane]), so that
// one pass of paired arithmetic tests both. A group of one triangle repeats it in the second lane.
struct ShadowTrianglePair {
    alignas(16) double a[3][2];
    alignas(16) double e1[3][2];
    alignas(16) double e2[3][2];
};

// Two boxes coordinate by coordinate ([axis][first, second]), so that a ray tests both in one pass
// of paired arithmetic: an inner node's two children, or two neighbouring groups of a leaf.
struct ShadowChildBoxes {
    alignas(16) double lo[3][2];
    alignas(16) double hi[3][2];
};

// Two levels of the tree at once: an inner node's grandchildren, or a child itself where that is a
// leaf; up to four boxes tested in two paired passes. A walk over these visits the same leaves as
// the walk over the nodes with half the steps (a grandchild's box lies inside its parent's).
struct ShadowWideNode {
    ShadowChildBoxes boxes[2];                // entries 0 and 1, entries 2 and 3
    int32_t entries[4] = {-1, -1, -1, -1};  // node indices, in the tree's left-to-right order
    int32_t wide[4] = {-1, -1, -1, -1};     // each entry's own wide node; -1 for a leaf
    // A leaf entry's run of ShadowBvh::indices and its first group, so that the walk reads no node.
    int32_t leafFirst[4] = {0, 0, 0, 0};
    int32_t leafCount[4] = {0, 0, 0, 0};
    int32_t leafFirstGroup[4] = {0, 0, 0, 0};
    int32_t count = 0;
    uint32_t usedMask = 0;  // bit i for each entry i below the count
    uint32_t leafMask = 0;  // bit i for each entry i that is a leaf
};

struct ShadowBvh {
    std::vector<ShadowTriangle> triangles;
    std::vector<uint32_t> indices;     // permutation of the triangles; a leaf covers a contiguous run
    std::vector<ShadowBvhNode> nodes;  // root at 0, depth-first pre-order
    const std::vector<SceneSurface>* surfaces = nullptr;  // the frame's surfaces, for alpha tests
    bool hasAlphaCasters = false;
    std::vector<ShadowRayTriangle> rayTriangles;  // triangles[indices[i]] prepared, for i in index order
    std::vector<ShadowLeafGroup> leafGroups;      // each leaf's groups side by side
    std::vector<ShadowTrianglePair> groupPairs;   // per group: its triangles paired
    // Per group at an even position within its leaf: its box and the next group's (its own again
    // when it is the leaf's last), tested together.
    std::vector<ShadowChildBoxes> groupBoxPairs;
    std::vector<int32_t> nodeFirstGroup;          // per node: its first group, -1 in an inner node
    // Every array the ray walks read was built along with the nodes (checked once, not per ray).
    bool walkReady = false;
    std::vector<ShadowWideNode> wideNodes;        // one per inner node
    std::vector<int32_t> nodeWide;                // per node: its wide node, -1 in a leaf
};

// A leaf holds at most this many triangles, unless the depth limit stops the split first.
constexpr int32_t kShadowBvhLeafSize = 16;
constexpr int32_t kShadowBvhMaxDepth = 24;

ShadowBvh buildShadowBvh(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights);

// Whether a caster surface can be see-through somewhere: a transparent texel inside its textures'
// uv rectangles, or a transparent fallback colour on a face without texture.
bool casterMayBeTransparent(const SceneSurface& surface);

// ---- queries --------------------------------------------------------------------------------------

// The receiver of a shadow ray: its own triangle never blocks it, and a plain layer never shadows
// itself at all.
struct ShadowReceiver {
    int32_t surface = -1;
    int32_t triangle = -1;
};

// True when something opaque lies on the ray between the hit epsilon and maxT.
bool anyHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
            const ShadowReceiver& receiver);

// The nearest opaque hit below min(bestT, maxT); bestT is replaced by its distance when one is found.
bool nearestHit(const ShadowBvh& bvh, int32_t node, const Vec3& origin, const Vec3& direction, double maxT,
                const ShadowReceiver& receiver, double& bestT);

struct ShadowMap;  // renderer/shadows/shadow_map.h

// A shadow ray answered ahead of shading (by the GPU); null when the CPU traces it.
struct CachedShadowHit {
    bool hit = false;
    double distance = 0.0;
};

// The triangle that last blocked one light's shadow rays on one thread (a position in
// ShadowBvh::rayTriangles, -1 for none). Neighbouring pixels are mostly shadowed by the same
// triangle: testing it first answers an any-hit ray at once and gives a nearest-hit ray a short
// limit before it walks the tree. The answers are the same with or without it.
struct ShadowRayMemo {
    int32_t blocker = -1;
};

struct VisibilityQuery {
    const ShadowMap* map = nullptr;  // the light's map, or null
    Vec3 point;                      // world position of the receiving point
    Vec3 normal;                     // its world normal
    ShadowReceiver receiver;
    int32_t shadowQuality = 1;
    double shadowSoftness = 0.0;  // the surface's own softness, percent
    ShadowMode shadowMode = ShadowMode::Auto;
    bool anyHitOnly = false;  // quick preview: no nearest-hit rays, a fixed blocker hint
    const CachedShadowHit* cached = nullptr;
    ShadowRayMemo* memo = nullptr;  // this thread's memo for the light, or null
    // The unit vectors toward the light and along the normal, when the caller has already worked
    // them out exactly as lightVisibility would (normalizeOr with (0, 0, -1) as the fallback).
    bool unitVectorsGiven = false;
    Vec3 towardLight;
    Vec3 unitNormal;
};

// Visibility of `light` at the query point in [0, 1] (1 fully lit), darkness applied. blockerHint,
// when given, receives the contact-hardening hint of the nearest blocker (0 when there is none).
double lightVisibility(const ShadowBvh& bvh, const SceneLight& light, const VisibilityQuery& query,
                       double* blockerHint);

// ---- packed form for the GPU ------------------------------------------------------------------------

// 40 bytes, little-endian, the layout the GPU shaders read.
struct PackedBvhNode {
    float bmin[3];
    int32_t firstChild;  // left child, -1 in a leaf
    float bmax[3];
    int32_t escape;  // node after this subtree; the node count ends the walk
    int32_t start;
    int32_t count;
};
static_assert(sizeof(PackedBvhNode) == 40, "packed node is 40 bytes");

struct PackedShadowTriangle {
    float a[3];
    uint32_t packedIdentity;  // surface index << 24 | triangle index
    float b[3];
    float c[3];
};
static_assert(sizeof(PackedShadowTriangle) == 40, "packed triangle is 40 bytes");

// The identity fields' widths: eight bits of surface (sign-free) and 24 of triangle.
constexpr int32_t kMaxPackedSurfaceIndex = 127;
constexpr int32_t kMaxPackedTriangleIndex = 0xFFFFFF;

struct PackedShadowBvh {
    std::vector<PackedBvhNode> nodes;
    std::vector<PackedShadowTriangle> triangles;  // in the order of ShadowBvh::indices
};

// False (and both vectors empty) for an empty hierarchy or an identity beyond the packed limits.
bool packShadowBvh(const ShadowBvh& bvh, PackedShadowBvh& packed);

}  // namespace zephrin
