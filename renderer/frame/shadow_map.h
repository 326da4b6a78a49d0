// Per-light depth images of the shadow casters, for the "Map Fast" and "Hybrid" shadow modes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "renderer/frame/shadow_bvh.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

struct ShadowMap {
    int32_t width = 0, height = 0;  // square when built
    std::vector<float> depth;       // width * height, row-major, in [0, 1]
    std::array<double, 16> worldToClip{};  // projection * view, column-major: clip = M * (x, y, z, 1)
    bool valid = false;
};

// Empty and invalid when the light casts no shadows or the hierarchy holds no opaque casters.
ShadowMap buildShadowMap(const ShadowBvh& bvh, const SceneLight& light, int32_t quality, int32_t sizeDivisor);

}  // namespace zephrin
