// The per-frame layer loop: which composition layers become surfaces, their options, textures and
// meshes, appended to the frame in the order the host lists the layers.
#pragma once

#include <cstdint>

#include "common/host_suites.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// The layer's casts-shadows option: 0 off, 1 on, 2 only (casts but is not drawn).
struct ShadowCasting {
    bool castsShadows = false;
    bool shadowOnly = false;
    bool renders = true;
};
ShadowCasting decodeCastsShadows(double hostValue);

// Host render opacity (percent, or a fraction up to 1.5) as 0..1.
double layerOpacity(double hostValue);

// Only video layers that show at the frame time and are neither adjustment, null nor guide layers
// can become surfaces.
bool isSurfaceCandidate(AEGP_ObjectType objectType, bool videoActive, AEGP_LayerFlags flags);

// Appends the frame's surfaces; the camera must already be in `frame`.
void buildSurfaces(const PR_InData* inData, FrameScene& frame, PR_RenderContextH renderContext, const A_Time& time,
                   bool interactive);

}  // namespace zephrin
