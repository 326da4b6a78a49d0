// Bounding-volume hierarchy over every shadow-casting triangle of a frame: its node and triangle
// layouts and the build. The rays that walk it are in shadow_rays.h, its packed single-precision
// form for the GPU passes in renderer/gpu/shadow_bvh_packing.h.
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
// through a leaf tests only the triangles near its path. An empty group (no triangles) pads a leaf's
// groups to a multiple of four.
struct ShadowLeafGroup {
    Vec3 boundsMin, boundsMax;
    int32_t firstIndex = 0;
    int32_t indexCount = 0;
};
// Four triangles: a leaf of kShadowBvhLeafSize triangles has at most four groups, whose boxes a ray
// tests in one pass and whose box lines are the only ones it reads of the leaf's groups it misses.
constexpr int32_t kShadowLeafGroupSize = 4;

// A group's triangles as the ray test reads them, coordinate by coordinate ([lane]), so that one
// pass of four-lane arithmetic (or two of paired arithmetic) tests them all, and which of the frame's
// triangles they are, so that a hit is judged without another read. Lanes past the group's
// triangles hold a triangle without area at the origin, which no ray hits. Five cache lines.
struct ShadowGroupTriangles {
    alignas(32) double a[3][kShadowLeafGroupSize];
    alignas(32) double e1[3][kShadowLeafGroupSize];
    alignas(32) double e2[3][kShadowLeafGroupSize];
    int32_t surfaceIndex[kShadowLeafGroupSize] = {};
    int32_t triangleIndex[kShadowLeafGroupSize] = {};
};

// Four boxes coordinate by coordinate ([axis][box]), so that a ray tests all four in one pass of
// four-lane arithmetic (or two of paired arithmetic): a wide node's entries, or four neighbouring
// groups of a leaf. Three cache lines.
struct alignas(32) ShadowBoxQuad {
    double lo[3][4];
    double hi[3][4];
};

// Four neighbouring groups of a leaf: their boxes, then their triangles, in one stretch of memory, so
// that a ray entering a leaf reads its boxes and the triangles under them from the same pages.
// Twenty-three cache lines.
struct alignas(64) ShadowGroupQuad {
    ShadowBoxQuad boxes;
    ShadowGroupTriangles groups[4];
};
static_assert(sizeof(ShadowGroupQuad) == 23 * 64, "a group quad fills whole cache lines");

// Up to two levels of the tree at once: an inner node's children, each replaced by its own two
// children where its height is odd (shadow_walk_layout.cpp says why); up to four boxes tested in one
// pass. A walk over these visits the same leaves as the walk over the nodes with about half the steps
// (a grandchild's box lies inside its parent's). Four cache lines: the boxes, then everything the
// walk needs to go on from an entry without reading a node.
struct alignas(64) ShadowWideNode {
    ShadowBoxQuad boxes;                      // entry i in lane i; an unused lane repeats entry 0
    int32_t child[4] = {-1, -1, -1, -1};    // an inner entry's wide node; a leaf entry's first index
    int32_t leafCount[4] = {0, 0, 0, 0};    // a leaf entry's run of ShadowBvh::indices
    int32_t leafQuad[4] = {0, 0, 0, 0};     // a leaf entry's first group quad (its first group / 4)
    uint32_t usedMask = 0;  // bit i for each entry, in the tree's left-to-right order
    uint32_t leafMask = 0;  // bit i for each entry that is a leaf
};

struct ShadowBvh {
    std::vector<ShadowTriangle> triangles;
    std::vector<uint32_t> indices;     // permutation of the triangles; a leaf covers a contiguous run
    std::vector<ShadowBvhNode> nodes;  // root at 0, depth-first pre-order
    const std::vector<SceneSurface>* surfaces = nullptr;  // the frame's surfaces, for alpha tests
    bool hasAlphaCasters = false;  // some triangle is alpha tested: its hits read its ray triangle
    std::vector<ShadowRayTriangle> rayTriangles;  // triangles[indices[i]] prepared, for i in index order
    std::vector<ShadowLeafGroup> leafGroups;      // each leaf's groups side by side, from a multiple of 4
    std::vector<ShadowGroupQuad> groupQuads;      // per four groups: their boxes and paired triangles
    std::vector<int32_t> nodeFirstGroup;          // per node: its first group, -1 in an inner node
    // Every array the ray walks read was built along with the nodes (checked once, not per ray).
    bool walkReady = false;
    std::vector<ShadowWideNode> wideNodes;        // one per inner node, those a walk from the root meets first
    std::vector<int32_t> nodeWide;                // per node: its wide node, -1 in a leaf
};

// A leaf holds at most this many triangles, unless the depth limit stops the split first.
constexpr int32_t kShadowBvhLeafSize = 16;
constexpr int32_t kShadowBvhMaxDepth = 24;

ShadowBvh buildShadowBvh(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights);

// Whether a caster surface can be see-through somewhere: a transparent texel inside its textures'
// uv rectangles, or a transparent fallback colour on a face without texture.
bool casterMayBeTransparent(const SceneSurface& surface);

}  // namespace zephrin
