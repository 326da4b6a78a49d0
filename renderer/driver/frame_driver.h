// One frame from the host's render call to its result: render mode, composition and destination,
// scene collection, painting, giving every lent texture back, and the phase times.
#pragma once

#include <cstdint>
#include <string>

#include "common/host_suites.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/PR_Public.h"

namespace zephrin {

// The build's feature markers, logged once per frame.
inline constexpr const char* kRendererFeatureMarkers =
    "RENDERER_V2_SCENE_COLLECT|RENDERER_V2_FLAT_GRID|RENDERER_V2_FREE_MODE_SLAB|RENDERER_V2_HOST_TEXTURES|"
    "RENDERER_V2_BACK_FIT|RENDERER_V2_ALPHA_CONTOUR|RENDERER_V2_LIGHTS|RENDERER_V2_SHADOW_BVH|RENDERER_V2_SHADOW_MAPS|"
    "RENDERER_V2_SOFT_SHADOWS|RENDERER_V2_DOF|RENDERER_V2_PHASE_TIMES";

// Nanosecond stamps of one frame: entry, setup done, collection done, paint done, disposal done.
// Phases that did not run keep the entry stamp.
struct RenderPhaseStamps {
    int64_t entry = 0;
    int64_t setup = 0;
    int64_t collect = 0;
    int64_t paint = 0;
    int64_t dispose = 0;
};

// "RendererV2RenderTotal: ms=(setup:…,collect:…,paint:…,dispose:…,total:…)"
std::string formatRenderTotals(const RenderPhaseStamps& stamps);

// A downsampled frame, or one the host offers an interactive buffer for, is an interactive render.
bool isInteractiveRender(const AEGP_DownsampleFactor& downsample, bool interactiveBuffer);

// The Artisan's render callback.
A_Err Artie_RenderDispatch(const PR_InData* inData, PR_GlobalContextH globalContext,
                           PR_InstanceContextH instanceContext, PR_RenderContextH renderContext,
                           PR_GlobalDataH globalData, PR_InstanceDataH instanceData);

// 0 on success, the host's error for the composition or destination, 1 when painting failed, or the
// code of a missing suite.
A_Err renderFrame(const PR_InData* inData, PR_RenderContextH renderContext);

// Fills `scene` from the host; false when the scene is unusable (no camera) and nothing is painted.
bool collectScene(const PR_InData* inData, PR_RenderContextH renderContext, AEGP_WorldH destination, FrameScene& scene);

// Gives back every surface's front then back texture, in surface order, then drops the surfaces.
void disposeSceneTextures(HostSuites& suites, PR_RenderContextH renderContext, FrameScene& scene);

}  // namespace zephrin
