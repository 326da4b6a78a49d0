// How the walks read the hierarchy: its triangles as corner and edges in leaf order, each leaf cut
// into groups of two with their own boxes, and two levels of inner nodes at a time. All of it is
// derived from the tree after the build; none of it changes which triangles a ray can meet.
#include "renderer/shadows/shadow_walk_layout.h"

#include <algorithm>
#include <limits>

namespace zephrin {
namespace {

// Groups per box quad: a leaf's groups start at a multiple of this.
constexpr int32_t kGroupsPerQuad = 4;

void setQuadLane(ShadowBoxQuad& quad, int lane, const Vec3& lo, const Vec3& hi) {
    for (int axis = 0; axis < 3; ++axis) {
        quad.lo[axis][lane] = axisOf(lo, axis);
        quad.hi[axis][lane] = axisOf(hi, axis);
    }
}

int32_t groupsOfLeaf(int32_t indexCount) { return (indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize; }
int32_t paddedGroups(int32_t groups) { return (groups + kGroupsPerQuad - 1) / kGroupsPerQuad * kGroupsPerQuad; }

double surfaceArea(const Vec3& lo, const Vec3& hi) {
    const Vec3 e = hi - lo;
    return e.x * e.y + e.y * e.z + e.z * e.x;
}

// Reorders a leaf's run so that each group of two holds triangles with a small common box: the two
// triangles of a quad rather than one of a slab's front and one of its back, whose box would span
// the slab's thickness and take in every ray that leaves either face. Greedy, in the run's order:
// each triangle not yet placed takes, of the next few along the leaf's axis, the partner that gives
// the smallest box.
constexpr int32_t kPartnerCandidates = 6;

void pairTightly(ShadowBvh& bvh, int32_t first, int32_t count) {
    static_assert(kShadowLeafGroupSize == 2, "groups are pairs");
    constexpr int32_t kMaxRun = 4 * kShadowBvhLeafSize;
    if (count <= 2 || count > kMaxRun) return;
    uint32_t run[kMaxRun];
    bool placed[kMaxRun] = {};
    std::copy(bvh.indices.begin() + first, bvh.indices.begin() + first + count, run);
    size_t out = static_cast<size_t>(first);
    for (int32_t i = 0; i < count; ++i) {
        if (placed[i]) continue;
        placed[i] = true;
        bvh.indices[out++] = run[i];
        const ShadowTriangle& a = bvh.triangles[run[i]];
        int32_t best = -1;
        double bestArea = std::numeric_limits<double>::infinity();
        for (int32_t j = i + 1, looked = 0; j < count && looked < kPartnerCandidates; ++j) {
            if (placed[j]) continue;
            ++looked;
            const ShadowTriangle& b = bvh.triangles[run[j]];
            Vec3 lo = a.boundsMin, hi = a.boundsMax;
            growBounds(lo, hi, b.boundsMin);
            growBounds(lo, hi, b.boundsMax);
            const double area = surfaceArea(lo, hi);
            if (area < bestArea) bestArea = area, best = j;
        }
        if (best >= 0) {
            placed[best] = true;
            bvh.indices[out++] = run[best];
        }
    }
}

// The triangles in leaf order, as corner and edges, the form the ray test reads.
void prepareRayTriangles(ShadowBvh& bvh) {
    bvh.rayTriangles.reserve(bvh.indices.size());
    for (uint32_t index : bvh.indices) {
        const ShadowTriangle& t = bvh.triangles[index];
        bvh.rayTriangles.push_back(
            ShadowRayTriangle{t.a, t.b - t.a, t.c - t.a, t.surfaceIndex, t.triangleIndex, t.alphaTested});
    }
}

// Each leaf cut into groups of neighbouring triangles, with each group's box and its triangles
// paired lane by lane; a leaf's groups fill whole quads, the last padded with empty groups.
void buildLeafGroups(ShadowBvh& bvh) {
    bvh.nodeFirstGroup.assign(bvh.nodes.size(), -1);
    // Sized up front: growing them step by step would copy them over and over.
    size_t groupTotal = 0;
    for (const ShadowBvhNode& node : bvh.nodes) {
        if (node.leftChild < 0) groupTotal += static_cast<size_t>(paddedGroups(groupsOfLeaf(node.indexCount)));
    }
    bvh.leafGroups.reserve(groupTotal);
    bvh.groupPairs.reserve(groupTotal);
    bvh.groupBoxQuads.assign(groupTotal / kGroupsPerQuad, ShadowBoxQuad{});
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild >= 0) continue;
        bvh.nodeFirstGroup[n] = static_cast<int32_t>(bvh.leafGroups.size());
        const int32_t groups = groupsOfLeaf(node.indexCount);
        for (int32_t k = 0; k < paddedGroups(groups); ++k) {
            ShadowLeafGroup group;
            ShadowTrianglePair pair{};
            if (k < groups) {
                const int32_t g = node.firstIndex + k * kShadowLeafGroupSize;
                group.firstIndex = g;
                group.indexCount = std::min(kShadowLeafGroupSize, node.firstIndex + node.indexCount - g);
                const ShadowTriangle& firstTriangle = bvh.triangles[bvh.indices[static_cast<size_t>(g)]];
                group.boundsMin = firstTriangle.boundsMin;
                group.boundsMax = firstTriangle.boundsMax;
                for (int32_t i = g + 1; i < g + group.indexCount; ++i) {
                    const ShadowTriangle& t = bvh.triangles[bvh.indices[static_cast<size_t>(i)]];
                    growBounds(group.boundsMin, group.boundsMax, t.boundsMin);
                    growBounds(group.boundsMin, group.boundsMax, t.boundsMax);
                }
                for (int32_t lane = 0; lane < 2; ++lane) {
                    const ShadowRayTriangle& t =
                        bvh.rayTriangles[static_cast<size_t>(g + std::min(lane, group.indexCount - 1))];
                    for (int axis = 0; axis < 3; ++axis) {
                        pair.a[axis][lane] = axisOf(t.a, axis);
                        pair.e1[axis][lane] = axisOf(t.e1, axis);
                        pair.e2[axis][lane] = axisOf(t.e2, axis);
                    }
                }
            } else {
                // The walk masks padding lanes off; their box only has to be harmless to compute.
                group.boundsMin = group.boundsMax = bvh.leafGroups[bvh.leafGroups.size() - 1].boundsMin;
            }
            setQuadLane(bvh.groupBoxQuads[bvh.leafGroups.size() / kGroupsPerQuad],
                        static_cast<int>(bvh.leafGroups.size() % kGroupsPerQuad), group.boundsMin, group.boundsMax);
            bvh.leafGroups.push_back(group);
            bvh.groupPairs.push_back(pair);
        }
    }
}

// One wide node per inner node: its grandchildren (or a child that is a leaf) with their boxes side
// by side.
void buildWideNodes(ShadowBvh& bvh) {
    bvh.nodeWide.assign(bvh.nodes.size(), -1);
    int32_t innerCount = 0;
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        if (bvh.nodes[n].leftChild >= 0) bvh.nodeWide[n] = innerCount++;
    }
    bvh.wideNodes.assign(static_cast<size_t>(innerCount), ShadowWideNode{});
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild < 0) continue;
        ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(bvh.nodeWide[n])];
        int32_t entries[4] = {-1, -1, -1, -1};
        int32_t count = 0;
        for (int32_t child : {node.leftChild, node.rightChild}) {
            const ShadowBvhNode& c = bvh.nodes[static_cast<size_t>(child)];
            if (c.leftChild < 0) {
                entries[count++] = child;
            } else {
                entries[count++] = c.leftChild;
                entries[count++] = c.rightChild;
            }
        }
        for (int32_t i = 0; i < 4; ++i) {
            // An unused lane repeats the first entry; the walk masks it off.
            const auto entry = static_cast<size_t>(i < count ? entries[i] : entries[0]);
            const ShadowBvhNode& e = bvh.nodes[entry];
            setQuadLane(wide.boxes, i, e.boundsMin, e.boundsMax);
            if (i >= count) continue;
            wide.usedMask |= 1u << i;
            if (e.leftChild >= 0) {
                wide.child[i] = bvh.nodeWide[entry];
            } else {
                wide.leafMask |= 1u << i;
                wide.child[i] = e.firstIndex;
                wide.leafCount[i] = e.indexCount;
                wide.leafQuad[i] = bvh.nodeFirstGroup[entry] / kGroupsPerQuad;
            }
        }
    }
}

bool walkArraysBuilt(const ShadowBvh& bvh) {
    return bvh.rayTriangles.size() == bvh.indices.size() && bvh.nodeFirstGroup.size() == bvh.nodes.size() &&
           bvh.nodeWide.size() == bvh.nodes.size() && bvh.groupPairs.size() == bvh.leafGroups.size() &&
           bvh.groupBoxQuads.size() * kGroupsPerQuad == bvh.leafGroups.size();
}

}  // namespace

void orderLeafForWalk(ShadowBvh& bvh, int32_t first, int32_t count, int axis) {
    // The order within a leaf is free: along its long axis, with each group's triangles chosen to
    // share the smallest box.
    auto begin = bvh.indices.begin() + first;
    std::sort(begin, begin + count, [&bvh, axis](uint32_t l, uint32_t r) {
        return axisOf(bvh.triangles[l].centroid, axis) < axisOf(bvh.triangles[r].centroid, axis);
    });
    pairTightly(bvh, first, count);
}

void prepareShadowWalk(ShadowBvh& bvh) {
    prepareRayTriangles(bvh);
    buildLeafGroups(bvh);
    buildWideNodes(bvh);
    bvh.walkReady = walkArraysBuilt(bvh);
}

}  // namespace zephrin
