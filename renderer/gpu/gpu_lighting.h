// GPU lighting: the lighting model, shadows included, evaluated for every visible pixel on the GPU.
// On completion the colour and shadow-post buffers hold what the CPU deferred shading would write.
#pragma once

#include <vector>

#include "renderer/gpu/gpu_context.h"
#include "renderer/gpu/gpu_lighting_inputs.h"
#include "renderer/gpu/gpu_run_info.h"
#include "renderer/gpu/shadow_bvh_packing.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"

namespace zephrin {

// Runs when the frame is eligible (gpuLightingEligibility) and logs its line, or its fallback line.
GpuPassResult runGpuLighting(FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh,
                             const std::vector<ShadowMap>& shadowMaps);

// The device part: uploads the hierarchy (unless the context holds it already) and the frame's
// lights, surfaces and maps, runs the queries in batches of at most the batch limit and reads back
// one LightingResult per query. Holds the context's lock throughout; false with the context's reason
// in `info` on any failure.
bool dispatchLighting(GpuContext& context, const PackedShadowBvh& packed, const LightingInputs& inputs,
                      std::vector<LightingResult>& results, GpuRunInfo& info);

}  // namespace zephrin
