// The hierarchy in single precision with skip pointers ("escape"), so that a GPU thread walks it
// without a stack: enter a node's first child on a box hit, otherwise jump to its escape.
#include "renderer/gpu/shadow_bvh_packing.h"

namespace zephrin {
namespace {

void toFloats(const Vec3& v, float out[3]) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

}  // namespace

bool packShadowBvh(const ShadowBvh& bvh, PackedShadowBvh& packed) {
    packed.nodes.clear();
    packed.triangles.clear();
    if (bvh.nodes.empty() || bvh.indices.empty()) return false;

    const auto nodeCount = static_cast<int32_t>(bvh.nodes.size());
    std::vector<int32_t> escape(bvh.nodes.size(), nodeCount);
    // Pre-order puts every child after its parent, so a backward sweep sees the right child first.
    for (int32_t i = nodeCount - 1; i >= 0; --i) {
        const ShadowBvhNode& node = bvh.nodes[static_cast<size_t>(i)];
        if (node.leftChild < 0) {
            escape[static_cast<size_t>(i)] = i + 1;
        } else if (node.rightChild >= 0 && node.rightChild < nodeCount) {
            escape[static_cast<size_t>(i)] = escape[static_cast<size_t>(node.rightChild)];
        } else {
            escape[static_cast<size_t>(i)] = i + 1;
        }
    }

    packed.nodes.resize(bvh.nodes.size());
    for (size_t i = 0; i < bvh.nodes.size(); ++i) {
        const ShadowBvhNode& node = bvh.nodes[i];
        PackedBvhNode& out = packed.nodes[i];
        toFloats(node.boundsMin, out.bmin);
        toFloats(node.boundsMax, out.bmax);
        out.firstChild = node.leftChild;
        out.escape = escape[i];
        out.start = node.firstIndex;
        out.count = node.indexCount;
    }

    packed.triangles.resize(bvh.indices.size());
    for (size_t i = 0; i < bvh.indices.size(); ++i) {
        const ShadowTriangle& tri = bvh.triangles[bvh.indices[i]];
        if (tri.surfaceIndex < 0 || tri.surfaceIndex > kMaxPackedSurfaceIndex || tri.triangleIndex < 0 ||
            tri.triangleIndex > kMaxPackedTriangleIndex) {
            packed.nodes.clear();
            packed.triangles.clear();
            return false;
        }
        PackedShadowTriangle& out = packed.triangles[i];
        toFloats(tri.a, out.a);
        toFloats(tri.b, out.b);
        toFloats(tri.c, out.c);
        out.packedIdentity = (static_cast<uint32_t>(tri.surfaceIndex) << 24) | static_cast<uint32_t>(tri.triangleIndex);
    }
    return true;
}

}  // namespace zephrin
