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
constexpr int32_t kShadowLeafGroupSize = 2;

// A group's two triangles as the ray test reads them, coordinate by coordinate ([lane]), so that
// one pass of paired arithmetic tests both, after the group's exact box: a ray that passes the
// group's float box reads the box it must confirm on the lines it reads the triangles from. A group
// of one triangle repeats it in the second lane. Three cache lines.
struct alignas(64) ShadowTrianglePair {
    double a[3][2];
    double e1[3][2];
    double e2[3][2];
    Vec3 boundsMin, boundsMax;  // the group's box
};
static_assert(sizeof(ShadowTrianglePair) == 192, "a triangle pair fills three cache lines");

// Four boxes in single precision, rounded outward (lower bounds down, upper bounds up), coordinate
// by coordinate ([axis][box]): a float box holds the double box it stands for, so a slab test on it
// that is widened by its own rounding can only admit more rays than the exact test, never fewer.
// Half the bytes of doubles, and four boxes per four-lane pass on every x86-64 processor: a wide
// node's entries, or four neighbouring groups of a leaf.
struct alignas(32) ShadowFloatBoxQuad {
    float bound[2][3][4];  // [0] the lower bounds, [1] the upper ones
};

// Two levels of the tree at once: an inner node's grandchildren, or a child itself where that is a
// leaf; up to four boxes tested in one pass. A walk over these visits the same leaves as the walk
// over the nodes with half the steps (a grandchild's box lies inside its parent's). Two cache lines:
// the boxes, then everything the walk needs to go on from an entry without reading a node.
struct alignas(64) ShadowWideNode {
    ShadowFloatBoxQuad boxes;            // entry i in lane i; an unused lane repeats entry 0
    int32_t child[4] = {-1, -1, -1, -1};  // an inner entry's wide node; a leaf entry's first group quad
    uint16_t leafQuads[4] = {0, 0, 0, 0};  // a leaf entry's number of group quads
    uint8_t usedMask = 0;  // bit i for each entry, in the tree's left-to-right order
    uint8_t leafMask = 0;  // bit i for each entry that is a leaf
};
static_assert(sizeof(ShadowWideNode) == 128, "a wide node fills two cache lines");

struct ShadowBvh {
    std::vector<ShadowTriangle> triangles;
    std::vector<uint32_t> indices;     // permutation of the triangles; a leaf covers a contiguous run
    std::vector<ShadowBvhNode> nodes;  // root at 0, depth-first pre-order
    const std::vector<SceneSurface>* surfaces = nullptr;  // the frame's surfaces, for alpha tests
    bool hasAlphaCasters = false;
    std::vector<ShadowLeafGroup> leafGroups;      // each leaf's groups side by side, from a multiple of 4
    // Per group, two slots: its triangles prepared (a group of one repeats it; a padding group holds
    // copies that its box never lets a ray reach).
    std::vector<ShadowRayTriangle> rayTriangles;
    std::vector<ShadowTrianglePair> groupPairs;   // per group: its triangles paired
    std::vector<ShadowFloatBoxQuad> groupBoxQuads;  // per four groups: their boxes (a padding group's admits no ray)
    std::vector<int32_t> nodeFirstGroup;          // per node: its first group, -1 in an inner node
    // Every array the ray walks read was built along with the nodes (checked once, not per ray).
    bool walkReady = false;
    std::vector<ShadowWideNode> wideNodes;        // one per inner node
    Vec3 wideReach;  // per axis, the largest magnitude of any wide node's float bound
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
