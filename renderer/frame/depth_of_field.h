// Camera depth of field: a screen-space blur of the shaded raster whose radius grows with a pixel's
// distance from the focus plane.
#pragma once

#include "renderer/frame/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// frameCamera carries the raster size in destWidth/destHeight. Leaves the raster untouched unless
// the camera has depth of field on, colour and depth cover the same pixels and the raster is not empty.
void applyDepthOfField(FrameBuffers& buffers, const SceneCamera& frameCamera);

}  // namespace zephrin
