// What the lighting pass uploads, converted from the frame's records, and how its answers go back
// into the frame's buffers.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gpu/gpu_lighting_records.h"
#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"

namespace zephrin {

enum class LightingEligibility {
    Eligible,
    AlphaCaster,  // casters with see-through texels need texture lookups the shader cannot do
    Declined,     // nothing to do on the GPU, or the frame lies beyond the records' limits
};

// Whether the frame's lighting can run on the GPU. Quick preview is declined as well: its shadow
// rays answer any hit with a fixed blocker hint, which the pass's records have no field for.
LightingEligibility gpuLightingEligibility(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh);

struct LightingInputs {
    std::vector<LightingLight> lights;
    std::vector<LightingSurface> surfaces;
    std::vector<float> shadowDepth;  // every valid map's texels, in light order
    std::vector<LightingQuery> queries;
    std::vector<uint32_t> queryPixels;  // the raster pixel of each query
    LightingParams params{};
};

// The map has texels the shader can read.
bool lightingMapUsable(const ShadowMap* map);

LightingLight lightingLightOf(const SceneLight& light, const ShadowMap* map, uint32_t shadowMapOffset);
LightingSurface lightingSurfaceOf(const SceneSurface& surface);
LightingParams lightingParamsOf(const SceneCamera& camera, uint32_t queryCount, uint32_t lightCount, uint32_t nodeCount,
                                uint32_t triangleCount);

// Lights, surfaces and shadow depths; the queries are built apart (buildLightingQueries).
void convertLightingScene(const FrameScene& scene, const std::vector<ShadowMap>& shadowMaps, LightingInputs& inputs);

// One query per visible pixel, from its VisiblePixel record, in row-major order; row bands are built
// in parallel and joined in order.
void buildLightingQueries(const FrameBuffers& buffers, const FrameScene& scene, LightingInputs& inputs);

// Colour into the colour buffer and, when the frame keeps them, visibility, hint, slope and the
// filtering mark into the shadow-post buffers, as the CPU deferred shading writes them.
void scatterLightingResults(const LightingInputs& inputs, const std::vector<LightingResult>& results,
                            FrameBuffers& buffers);

}  // namespace zephrin
