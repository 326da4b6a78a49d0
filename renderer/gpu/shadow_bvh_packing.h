// The shadow hierarchy packed into single precision for the GPU passes, in the byte layout their
// shaders read.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/shadows/shadow_bvh.h"

namespace zephrin {

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
