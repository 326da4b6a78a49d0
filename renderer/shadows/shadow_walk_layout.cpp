// How the walks read the hierarchy: its triangles as corner and edges in leaf order, each leaf cut
// into groups of two with their own boxes, and two levels of inner nodes at a time. All of it is
// derived from the tree after the build; none of it changes which triangles a ray can meet.
#include "renderer/shadows/shadow_walk_layout.h"

#include <algorithm>
#include <limits>

namespace zephrin {
namespace {

void fillBoxPair(ShadowChildBoxes& pair, const Vec3& firstMin, const Vec3& firstMax, const Vec3& secondMin,
                 const Vec3& secondMax) {
    for (int axis = 0; axis < 3; ++axis) {
        pair.lo[axis][0] = axisOf(firstMin, axis);
        pair.hi[axis][0] = axisOf(firstMax, axis);
        pair.lo[axis][1] = axisOf(secondMin, axis);
        pair.hi[axis][1] = axisOf(secondMax, axis);
    }
}

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
// paired lane by lane.
void buildLeafGroups(ShadowBvh& bvh) {
    bvh.nodeFirstGroup.assign(bvh.nodes.size(), -1);
    // Sized up front: growing them step by step would copy them over and over.
    size_t groupTotal = 0;
    for (const ShadowBvhNode& node : bvh.nodes) {
        if (node.leftChild < 0) {
            groupTotal += static_cast<size_t>((node.indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize);
        }
    }
    bvh.leafGroups.reserve(groupTotal);
    bvh.groupPairs.reserve(groupTotal);
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild >= 0) continue;
        bvh.nodeFirstGroup[n] = static_cast<int32_t>(bvh.leafGroups.size());
        for (int32_t g = node.firstIndex; g < node.firstIndex + node.indexCount; g += kShadowLeafGroupSize) {
            ShadowLeafGroup group;
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
            bvh.leafGroups.push_back(group);
            ShadowTrianglePair pair;
            for (int32_t lane = 0; lane < 2; ++lane) {
                const ShadowRayTriangle& t =
                    bvh.rayTriangles[static_cast<size_t>(g + std::min(lane, group.indexCount - 1))];
                for (int axis = 0; axis < 3; ++axis) {
                    pair.a[axis][lane] = axisOf(t.a, axis);
                    pair.e1[axis][lane] = axisOf(t.e1, axis);
                    pair.e2[axis][lane] = axisOf(t.e2, axis);
                }
            }
            bvh.groupPairs.push_back(pair);
        }
    }
}

// Each even group of a leaf with the next one (itself when it is the last), boxes side by side.
void pairGroupBoxes(ShadowBvh& bvh) {
    bvh.groupBoxPairs.assign(bvh.leafGroups.size(), ShadowChildBoxes{});
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        if (bvh.nodeFirstGroup[n] < 0) continue;
        const auto first = static_cast<size_t>(bvh.nodeFirstGroup[n]);
        const int32_t groups = (bvh.nodes[n].indexCount + kShadowLeafGroupSize - 1) / kShadowLeafGroupSize;
        for (int32_t g = 0; g < groups; g += 2) {
            const ShadowLeafGroup& a = bvh.leafGroups[first + static_cast<size_t>(g)];
            const ShadowLeafGroup& b = bvh.leafGroups[first + static_cast<size_t>(std::min(g + 1, groups - 1))];
            fillBoxPair(bvh.groupBoxPairs[first + static_cast<size_t>(g)], a.boundsMin, a.boundsMax, b.boundsMin,
                        b.boundsMax);
        }
    }
}

// One wide node per inner node: its grandchildren (or a child that is a leaf) with their boxes paired.
void buildWideNodes(ShadowBvh& bvh) {
    bvh.nodeWide.assign(bvh.nodes.size(), -1);
    bvh.wideNodes.reserve(static_cast<size_t>(
        std::count_if(bvh.nodes.begin(), bvh.nodes.end(), [](const ShadowBvhNode& node) { return node.leftChild >= 0; })));
    for (size_t n = 0; n < bvh.nodes.size(); ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild < 0) continue;
        ShadowWideNode wide;
        for (int32_t child : {node.leftChild, node.rightChild}) {
            const ShadowBvhNode& c = bvh.nodes[static_cast<size_t>(child)];
            if (c.leftChild < 0) {
                wide.entries[wide.count++] = child;
            } else {
                wide.entries[wide.count++] = c.leftChild;
                wide.entries[wide.count++] = c.rightChild;
            }
        }
        for (int pair = 0; pair < 2; ++pair) {
            // An unused second lane repeats the first; the walk ignores entries past the count.
            const int32_t first = wide.entries[2 * pair] >= 0 ? wide.entries[2 * pair] : wide.entries[0];
            const int32_t second = wide.entries[2 * pair + 1] >= 0 ? wide.entries[2 * pair + 1] : first;
            const ShadowBvhNode& a = bvh.nodes[static_cast<size_t>(first)];
            const ShadowBvhNode& b = bvh.nodes[static_cast<size_t>(second)];
            fillBoxPair(wide.boxes[pair], a.boundsMin, a.boundsMax, b.boundsMin, b.boundsMax);
        }
        bvh.nodeWide[n] = static_cast<int32_t>(bvh.wideNodes.size());
        bvh.wideNodes.push_back(wide);
    }
}

// Copies into each wide node what the walk would otherwise read from its entries' nodes.
void linkWideEntries(ShadowBvh& bvh) {
    // Pre-order numbering gives every inner node its wide node only once the loop has passed it.
    for (ShadowWideNode& wide : bvh.wideNodes) {
        for (int32_t i = 0; i < wide.count; ++i) {
            const auto entry = static_cast<size_t>(wide.entries[i]);
            wide.wide[i] = bvh.nodeWide[entry];
            wide.leafFirst[i] = bvh.nodes[entry].firstIndex;
            wide.leafCount[i] = bvh.nodes[entry].indexCount;
            wide.leafFirstGroup[i] = bvh.nodeFirstGroup[entry];
            wide.usedMask |= 1u << i;
            if (wide.wide[i] < 0) wide.leafMask |= 1u << i;
        }
    }
}

bool walkArraysBuilt(const ShadowBvh& bvh) {
    return bvh.rayTriangles.size() == bvh.indices.size() && bvh.nodeFirstGroup.size() == bvh.nodes.size() &&
           bvh.nodeWide.size() == bvh.nodes.size() && bvh.groupPairs.size() == bvh.leafGroups.size() &&
           bvh.groupBoxPairs.size() == bvh.leafGroups.size();
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
    pairGroupBoxes(bvh);
    buildWideNodes(bvh);
    linkWideEntries(bvh);
    bvh.walkReady = walkArraysBuilt(bvh);
}

}  // namespace zephrin
