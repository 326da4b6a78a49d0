// Per-light depth images of the shadow casters, for the "Map Fast" and "Hybrid" shadow modes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "renderer/shadows/shadow_bvh.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

struct ShadowMap {
    int32_t width = 0, height = 0;         // square when built
    std::vector<float> depth;              // width * height, row-major, in [0, 1]
    std::array<double, 16> worldToClip{};  // projection * view, column-major: clip = M * (x, y, z, 1)
    bool valid = false;
    // Spot and point maps store perspective depth, which crowds toward 1 away from the light; they are
    // compared at linear distance between these planes (0 for parallel lights' linear maps).
    double nearPlane = 0.0, farPlane = 0.0;
    double texelSpread = 0.0;  // width of one texel per unit of distance from the light (perspective maps)
};

// Map edge in texels for a quality (1: 256, 2: 512, 3 and 4: 1024) and size divisor, at least 64.
int32_t shadowMapSize(int32_t quality, int32_t sizeDivisor);

// Empty and invalid when the light casts no shadows or the hierarchy holds no opaque casters.
ShadowMap buildShadowMap(const ShadowBvh& bvh, const SceneLight& light, int32_t quality, int32_t sizeDivisor);

// Lit fraction of a world point in [0, 1]: one tap for softness up to 2 %, otherwise a square kernel
// (7 x 7 at quality 1, 11 x 11 at 2, 15 x 15 from 3) whose spacing grows with the softness (percent).
// Points outside the map's view volume, and every point of an invalid map, are lit.
double sampleShadowMap(const ShadowMap& map, const Vec3& worldPoint, double softness, int32_t quality);

}  // namespace zephrin
