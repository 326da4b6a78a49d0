// GPU lighting: the lighting model, shadows included, evaluated for every visible pixel on the GPU.
// On completion the colour and shadow-post buffers hold what the CPU deferred shading would write.
#pragma once

#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

GpuPassResult runGpuLighting(FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                             const std::vector<ShadowMap>& shadowMaps);

}  // namespace zephrin
