// The frame's lights, taken from the composition's light layers at the frame time.
#pragma once

#include <vector>

#include "common/matrix4.h"
#include "renderer/scene/frame_scene.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin {

// Appends one SceneLight per light layer that is on, in composition layer order. A failure leaves
// the lights gathered so far; the caller does not depend on the result.
bool collectLights(const PR_InData* inData, PR_RenderContextH renderContext, const Matrix4& view,
                   std::vector<SceneLight>& lights);

}  // namespace zephrin
