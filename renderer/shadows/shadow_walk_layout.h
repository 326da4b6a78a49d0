// The arrays the shadow rays walk, written as the hierarchy's tree is built: the order of each
// leaf's triangles, and the grouped and two-level copies of boxes and triangles in
// renderer/shadows/shadow_bvh.h that the walks in shadow_rays.cpp read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/vec3.h"
#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {

// Grows the box lo..hi to take in p.
inline void growBounds(Vec3& lo, Vec3& hi, const Vec3& p) {
    lo = Vec3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = Vec3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
}

inline double axisOf(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// Orders a leaf's run of indices (free within a leaf) the way the walk's groups want it.
void orderLeafForWalk(ShadowBvh& bvh, int32_t first, int32_t count, int axis);

// How many nodes the tree over `triangles` triangles has, and how many groups its leaves cut into.
struct ShadowTreeShape {
    size_t nodes = 0;
    size_t groups = 0;
};
ShadowTreeShape shadowTreeShape(size_t triangles);

// The walk arrays, written once the tree stands: startShadowWalk sizes them, emitLeafForWalk writes
// each leaf's part in pre-order (the leaf's run in indices[first, first + count)), ordering the run
// as orderLeafForWalk does, and finishShadowWalk after the last leaf marks the hierarchy walkable.
void startShadowWalk(ShadowBvh& bvh, const ShadowTreeShape& shape);
void emitLeafForWalk(ShadowBvh& bvh, int32_t node, int32_t first, int32_t count, int axis);
void finishShadowWalk(ShadowBvh& bvh);

}  // namespace zephrin
