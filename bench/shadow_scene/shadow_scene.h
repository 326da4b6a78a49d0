// The scene the shadow benches trace: two bent slabs over a floor under one point light, and rays
// from points on the receiving surfaces toward the light, built exactly as the renderer builds a
// shadow ray (origin lifted off the surface along its normal, ending short of the light).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {

struct ShadowBenchRays {
    std::vector<Vec3> origins, directions;
    std::vector<double> lengths;              // the ray's max t
    std::vector<ShadowReceiver> receivers;    // the surface and triangle each ray starts on
};

struct ShadowBenchScene {
    std::vector<SceneSurface> surfaces;
    std::vector<SceneLight> lights;
    ShadowBvh bvh;  // refers to `surfaces`: the scene stays where it was made
    ShadowBenchRays rays;
};

// About `totalTriangles` caster triangles and `rayCount` rays, the same for the same arguments.
std::unique_ptr<ShadowBenchScene> makeShadowBenchScene(int32_t totalTriangles, size_t rayCount);

}  // namespace zephrin
