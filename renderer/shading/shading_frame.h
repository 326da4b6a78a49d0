// What the shading passes read for one frame, and the buffers they write: one record handed to
// shadePoint, the deferred pass and the per-triangle passes alike.
#pragma once

#include <atomic>
#include <vector>

#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shading/lighting_model.h"

namespace zephrin {

struct ShadowBvh;          // renderer/shadows/shadow_bvh.h
struct ShadowMap;          // renderer/shadows/shadow_map.h
struct ShadowSampleCache;  // renderer/shadows/shadow_sample_cache.h
struct ShadingTerms;       // renderer/shading/shading_terms.h

struct ShadingFrame {
    const FrameScene* scene = nullptr;
    const SceneCamera* rasterCamera = nullptr;  // destWidth/destHeight are the raster size
    const std::vector<PreparedTriangle>* prepared = nullptr;
    FrameBuffers* buffers = nullptr;
    const ShadowBvh* shadowBvh = nullptr;                   // null when there is nothing to cast
    const std::vector<ShadowMap>* shadowMaps = nullptr;     // one per light, possibly empty maps
    // The GPU raster resolved visibility: the buffers hold no CPU texture colours or winner masks.
    bool gpuRasterWon = false;
    const ShadowSampleCache* shadowSamples = nullptr;       // GPU-traced shadow rays, or null
    // The surfaces' and lights' terms of the lighting model, or null: then worked out per call.
    const ShadingTerms* terms = nullptr;
    bool anyHitShadows = false;
    bool keepsShadowPost = false;  // the frame has the shadow-post buffers
    std::atomic<bool>* transparentTexelReport = nullptr;
};

}  // namespace zephrin
