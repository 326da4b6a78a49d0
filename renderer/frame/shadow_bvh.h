// Bounding-volume hierarchy over every shadow-casting triangle of a frame, answering the any-hit
// and nearest-hit shadow queries.
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

struct ShadowBvh {
    std::vector<ShadowTriangle> triangles;
    std::vector<uint32_t> indices;     // permutation of the triangles; a leaf covers a contiguous run
    std::vector<ShadowBvhNode> nodes;  // root at 0, depth-first pre-order
    const std::vector<SceneSurface>* surfaces = nullptr;  // the frame's surfaces, for alpha tests
    bool hasAlphaCasters = false;
};

ShadowBvh buildShadowBvh(const std::vector<SceneSurface>& surfaces, const std::vector<SceneLight>& lights);

}  // namespace zephrin
