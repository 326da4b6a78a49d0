// The back face shows the back layer's visible content stretched over the whole back, not the
// layer's frame with its empty margins.
#pragma once

#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Narrows the texture's uvRect to the rows and columns that hold an opaque texel and logs the fit.
// A texture without pixel access or without any opaque texel keeps its uvRect; returns whether it fit.
bool fitBackTexture(SurfaceTexture& texture);

}  // namespace zephrin
