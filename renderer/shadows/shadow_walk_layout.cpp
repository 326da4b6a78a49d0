// How the walks read the hierarchy: its triangles as corner and edges in leaf order, each leaf cut
// into groups of four with their own boxes, and two levels of inner nodes at a time. Each leaf's part
// is written from one gathered copy of its triangles, the wide nodes after the last leaf. None of it
// changes which triangles a ray can meet.
#include "renderer/shadows/shadow_walk_layout.h"

#include <algorithm>
#include <limits>
#include <vector>

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

// A box as the leaf's ordering keeps it. Without member initializers: a leaf's arrays of them stand
// on the stack, and cleared before being filled they cost more than the ordering itself.
struct LeafBox {
    double lo[3], hi[3];
};

LeafBox leafBoxOf(const Vec3& lo, const Vec3& hi) { return LeafBox{{lo.x, lo.y, lo.z}, {hi.x, hi.y, hi.z}}; }

// Grows `box` to take in `other`, as growBounds takes in its two corners.
inline void growLeafBox(LeafBox& box, const LeafBox& other) {
    auto grow = [&](int axis) {
        box.lo[axis] = std::min(std::min(box.lo[axis], other.lo[axis]), other.hi[axis]);
        box.hi[axis] = std::max(std::max(box.hi[axis], other.lo[axis]), other.hi[axis]);
    };
    grow(0), grow(1), grow(2);
}

// Half the surface area of the box around two boxes: what the grouping minimises. Only a choice
// between neighbours rests on it, so each box's own minimum and maximum are taken as they stand.
inline double jointArea(const LeafBox& a, const LeafBox& b) {
    auto extent = [&](int axis) { return std::max(a.hi[axis], b.hi[axis]) - std::min(a.lo[axis], b.lo[axis]); };
    const double x = extent(0), y = extent(1), z = extent(2);
    return x * y + y * z + z * x;
}

// A leaf's triangle as the leaf's ordering reads it: gathered once from the triangles, so that the
// sort and the grouping compare nearby copies rather than reach into the whole frame's triangles.
struct LeafSlot {
    uint32_t triangle;
    LeafBox box;
};

// A sort key and the slot it belongs to. Sorting these makes the same comparisons in the same order
// as sorting the bare indices by their centroids, so the leaf comes out in the same order.
struct LeafKey {
    double key;
    int32_t slot;
};

// Reorders a leaf's run so that each group holds triangles with a small common box: the triangles of
// neighbouring quads of one sheet rather than some of a slab's front and some of its back, whose box
// would span the slab's thickness and take in every ray that leaves either face. Triangles are
// matched two by two, then those pairs two by two. Greedy, in the run's order along the leaf's axis:
// each one not yet placed takes, of the next few, the partner that gives the smallest box.
constexpr int32_t kPartnerCandidates = 6;
// Runs longer than this (only where the depth limit stopped the splits) stay in axis order.
constexpr int32_t kMaxPairedRun = 4 * kShadowBvhLeafSize;
static_assert(kShadowLeafGroupSize == 4, "groups are pairs of pairs");

// Matches boxes [0, count) two by two in their order, partners side by side in `out`; an odd one out
// comes last.
void matchNeighbours(const LeafBox* boxes, int32_t count, int32_t* out) {
    bool placed[kMaxPairedRun] = {};
    int32_t written = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (placed[i]) continue;
        placed[i] = true;
        out[written++] = i;
        int32_t best = -1;
        double bestArea = std::numeric_limits<double>::infinity();
        for (int32_t j = i + 1, looked = 0; j < count && looked < kPartnerCandidates; ++j) {
            if (placed[j]) continue;
            ++looked;
            const double area = jointArea(boxes[i], boxes[j]);
            if (area < bestArea) bestArea = area, best = j;
        }
        if (best >= 0) {
            placed[best] = true;
            out[written++] = best;
        }
    }
}

void groupTightly(const LeafSlot* slots, const LeafKey* sorted, int32_t count, int32_t* order) {
    if (count <= 2 || count > kMaxPairedRun) {
        for (int32_t i = 0; i < count; ++i) order[i] = sorted[i].slot;
        return;
    }
    LeafBox boxes[kMaxPairedRun];
    for (int32_t i = 0; i < count; ++i) boxes[i] = slots[sorted[i].slot].box;
    int32_t paired[kMaxPairedRun];
    matchNeighbours(boxes, count, paired);
    // The pairs' boxes; a triangle left over stays last, so that every group but the last is full.
    const int32_t pairs = count / 2;
    LeafBox pairBoxes[kMaxPairedRun / 2];
    for (int32_t p = 0; p < pairs; ++p) {
        pairBoxes[p] = boxes[paired[2 * p]];
        growLeafBox(pairBoxes[p], boxes[paired[2 * p + 1]]);
    }
    int32_t pairOrder[kMaxPairedRun / 2];
    matchNeighbours(pairBoxes, pairs, pairOrder);
    int32_t written = 0;
    for (int32_t p = 0; p < pairs; ++p) {
        order[written++] = sorted[paired[2 * pairOrder[p]]].slot;
        order[written++] = sorted[paired[2 * pairOrder[p] + 1]].slot;
    }
    if (count % 2 != 0) order[written++] = sorted[paired[count - 1]].slot;
}

// A leaf's run in walk order: slots[order[k]] is its k-th triangle. Small leaves (all but those the
// depth limit left long) keep their copies on the stack.
struct LeafOrder {
    static constexpr int32_t kInline = kMaxPairedRun;
    LeafSlot inlineSlots[kInline];
    LeafKey inlineKeys[kInline];
    int32_t inlineOrder[kInline];
    std::vector<LeafSlot> heapSlots;
    std::vector<LeafKey> heapKeys;
    std::vector<int32_t> heapOrder;
    LeafSlot* slots = inlineSlots;
    int32_t* order = inlineOrder;
};

// Orders the leaf's run of indices (free within a leaf): along its long axis, with each group's
// triangles chosen to share the smallest box.
void orderLeaf(const ShadowBvh& bvh, int32_t first, int32_t count, int axis, LeafOrder& leaf) {
    LeafKey* keys = leaf.inlineKeys;
    if (count > LeafOrder::kInline) {
        leaf.heapSlots.resize(static_cast<size_t>(count));
        leaf.heapKeys.resize(static_cast<size_t>(count));
        leaf.heapOrder.resize(static_cast<size_t>(count));
        leaf.slots = leaf.heapSlots.data();
        keys = leaf.heapKeys.data();
        leaf.order = leaf.heapOrder.data();
    }
    for (int32_t i = 0; i < count; ++i) {
        const uint32_t index = bvh.indices[static_cast<size_t>(first + i)];
        const ShadowTriangle& t = bvh.triangles[index];
        leaf.slots[i] = LeafSlot{index, leafBoxOf(t.boundsMin, t.boundsMax)};
        keys[i] = LeafKey{axisOf(t.centroid, axis), i};
    }
    std::sort(keys, keys + count, [](const LeafKey& l, const LeafKey& r) { return l.key < r.key; });
    groupTightly(leaf.slots, keys, count, leaf.order);
}

// The leaf's groups with their boxes and triangles, appended after the groups of the leaves before
// it; its triangles already stand in walk order in the indices and the ray triangles. Each quad is
// filled on the stack and stored once: grown in place, it would be cleared first and so written
// twice.
void appendLeafGroups(ShadowBvh& bvh, int32_t first, int32_t count, const LeafOrder& leaf) {
    const int32_t groups = groupsOfLeaf(count);
    ShadowGroupQuad quad;
    for (int32_t k = 0; k < paddedGroups(groups); ++k) {
        ShadowLeafGroup group;
        const int lane = k % kGroupsPerQuad;
        ShadowGroupTriangles& lanes = quad.groups[lane];
        if (k < groups) {
            const int32_t g = first + k * kShadowLeafGroupSize;
            group.firstIndex = g;
            group.indexCount = std::min(kShadowLeafGroupSize, first + count - g);
            LeafBox box = leaf.slots[leaf.order[k * kShadowLeafGroupSize]].box;
            for (int32_t i = 1; i < group.indexCount; ++i) {
                growLeafBox(box, leaf.slots[leaf.order[k * kShadowLeafGroupSize + i]].box);
            }
            group.boundsMin = Vec3{box.lo[0], box.lo[1], box.lo[2]};
            group.boundsMax = Vec3{box.hi[0], box.hi[1], box.hi[2]};
            // Every field of every lane is written: the quad on the stack starts uncleared. Lanes past
            // the group's triangles hold a triangle without area at the origin, which no ray hits.
            for (int32_t triangleLane = 0; triangleLane < kShadowLeafGroupSize; ++triangleLane) {
                const ShadowRayTriangle t = triangleLane < group.indexCount
                                                ? bvh.rayTriangles[static_cast<size_t>(g + triangleLane)]
                                                : ShadowRayTriangle{};
                for (int axis = 0; axis < 3; ++axis) {
                    lanes.a[axis][triangleLane] = axisOf(t.a, axis);
                    lanes.e1[axis][triangleLane] = axisOf(t.e1, axis);
                    lanes.e2[axis][triangleLane] = axisOf(t.e2, axis);
                }
                lanes.surfaceIndex[triangleLane] = t.surfaceIndex;
                lanes.triangleIndex[triangleLane] = t.triangleIndex;
            }
        } else {
            // A padding group: a box at one point and triangles without area, which no ray hits, so
            // that the walk tests all four lanes without a mask.
            group.boundsMin = group.boundsMax = bvh.leafGroups[bvh.leafGroups.size() - 1].boundsMin;
            lanes = ShadowGroupTriangles{};
        }
        setQuadLane(quad.boxes, lane, group.boundsMin, group.boundsMax);
        bvh.leafGroups.push_back(group);
        if (lane == kGroupsPerQuad - 1) bvh.groupQuads.push_back(quad);
    }
}

// One wide node per inner node. Its entries are its children, where a child is a leaf or its height
// (the longest way down to a leaf) is even, and otherwise that child's two children. The entries are
// then always leaves or nodes of even height, so that the wide nodes a walk from the root meets are
// the root's and those of even height, which ends every way down with a step onto leaves that are
// all taken at once: the lowest steps, whose wide nodes are the most numerous and the least often
// in the cache, take four leaves each rather than two, and there are half as many of them. Those
// wide nodes come first, in pre-order; the others serve only walks that start inside the tree.
void buildWideNodes(ShadowBvh& bvh) {
    const size_t nodeCount = bvh.nodes.size();
    std::vector<int32_t> height(nodeCount, 0);
    // Children follow their parent in pre-order: a backward pass meets them first.
    for (size_t n = nodeCount; n-- > 0;) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild < 0) continue;
        height[n] = 1 + std::max(height[static_cast<size_t>(node.leftChild)], height[static_cast<size_t>(node.rightChild)]);
    }
    auto metFromRoot = [&](size_t n) { return n == 0 || height[n] % 2 == 0; };
    bvh.nodeWide.assign(nodeCount, -1);
    int32_t innerCount = 0;
    for (bool fromRoot : {true, false}) {
        for (size_t n = 0; n < nodeCount; ++n) {
            if (bvh.nodes[n].leftChild >= 0 && metFromRoot(n) == fromRoot) bvh.nodeWide[n] = innerCount++;
        }
    }
    bvh.wideNodes.assign(static_cast<size_t>(innerCount), ShadowWideNode{});
    for (size_t n = 0; n < nodeCount; ++n) {
        const ShadowBvhNode& node = bvh.nodes[n];
        if (node.leftChild < 0) continue;
        ShadowWideNode& wide = bvh.wideNodes[static_cast<size_t>(bvh.nodeWide[n])];
        int32_t entries[4] = {-1, -1, -1, -1};
        int32_t count = 0;
        for (int32_t child : {node.leftChild, node.rightChild}) {
            const ShadowBvhNode& c = bvh.nodes[static_cast<size_t>(child)];
            if (c.leftChild < 0 || height[static_cast<size_t>(child)] % 2 == 0) {
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
           bvh.nodeWide.size() == bvh.nodes.size() && bvh.groupQuads.size() * kGroupsPerQuad == bvh.leafGroups.size();
}

}  // namespace

void orderLeafForWalk(ShadowBvh& bvh, int32_t first, int32_t count, int axis) {
    LeafOrder leaf;
    orderLeaf(bvh, first, count, axis, leaf);
    for (int32_t k = 0; k < count; ++k) bvh.indices[static_cast<size_t>(first + k)] = leaf.slots[leaf.order[k]].triangle;
}

ShadowTreeShape shadowTreeShape(size_t triangles) {
    // The tree's shape follows from the triangle count alone (median splits), so the arrays are
    // sized exactly once: grown step by step they would be copied over and over, and sized by a
    // loose bound they would take fresh pages from the system every frame.
    ShadowTreeShape shape;
    if (triangles == 0) return shape;
    // The runs of one depth: at most two lengths, each with how many runs have it.
    struct Runs {
        int32_t count;
        size_t runs;
    };
    std::vector<Runs> level{{static_cast<int32_t>(triangles), 1}}, next;
    for (int32_t depth = 0; !level.empty(); ++depth) {
        next.clear();
        for (const Runs& r : level) {
            shape.nodes += r.runs;
            if (r.count <= kShadowBvhLeafSize || depth >= kShadowBvhMaxDepth) {
                shape.groups += r.runs * static_cast<size_t>(paddedGroups(groupsOfLeaf(r.count)));
                continue;
            }
            for (int32_t half : {r.count / 2, r.count - r.count / 2}) {
                auto same = std::find_if(next.begin(), next.end(), [half](const Runs& o) { return o.count == half; });
                if (same != next.end()) {
                    same->runs += r.runs;
                } else {
                    next.push_back(Runs{half, r.runs});
                }
            }
        }
        level.swap(next);
    }
    return shape;
}

void startShadowWalk(ShadowBvh& bvh, const ShadowTreeShape& shape) {
    bvh.rayTriangles.reserve(bvh.indices.size());
    bvh.nodeFirstGroup.reserve(shape.nodes);
    bvh.leafGroups.reserve(shape.groups);
    bvh.groupQuads.reserve(shape.groups / kGroupsPerQuad);
}

void emitLeafForWalk(ShadowBvh& bvh, int32_t node, int32_t first, int32_t count, int axis) {
    LeafOrder leaf;
    orderLeaf(bvh, first, count, axis, leaf);
    // Leaves come in pre-order, which is the order of their runs: each run extends the ray
    // triangles.
    for (int32_t k = 0; k < count; ++k) {
        const uint32_t index = leaf.slots[leaf.order[k]].triangle;
        bvh.indices[static_cast<size_t>(first + k)] = index;
        const ShadowTriangle& t = bvh.triangles[index];
        bvh.rayTriangles.push_back(
            ShadowRayTriangle{t.a, t.b - t.a, t.c - t.a, t.surfaceIndex, t.triangleIndex, t.alphaTested});
    }
    bvh.nodeFirstGroup.resize(static_cast<size_t>(node) + 1, -1);
    bvh.nodeFirstGroup[static_cast<size_t>(node)] = static_cast<int32_t>(bvh.leafGroups.size());
    appendLeafGroups(bvh, first, count, leaf);
}

void finishShadowWalk(ShadowBvh& bvh) {
    bvh.nodeFirstGroup.resize(bvh.nodes.size(), -1);
    buildWideNodes(bvh);
    bvh.walkReady = walkArraysBuilt(bvh);
}

}  // namespace zephrin
