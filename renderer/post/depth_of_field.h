// Camera depth of field: a screen-space blur of the shaded raster whose radius grows with a pixel's
// distance from the focus plane.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Blur radius in raster pixels of a pixel at view depth z (0 in focus, for empty pixels and with depth
// of field off); never more than 15 % of the shorter raster side, within 1 .. 64.
int32_t depthOfFieldRadius(const SceneCamera& frameCamera, double z);

// Spreads radii into the empty pixels around them, falling by one per pixel; pixels with a depth keep
// their own. `radii` and `depth` are row-major over width x height.
std::vector<int32_t> spreadDepthOfFieldRadii(const std::vector<int32_t>& radii, const std::vector<double>& depth,
                                             int32_t width, int32_t height);

// frameCamera carries the raster size in destWidth/destHeight. Leaves the raster untouched unless
// the camera has depth of field on, colour and depth cover the same pixels and the raster is not empty.
void applyDepthOfField(FrameBuffers& buffers, const SceneCamera& frameCamera);

}  // namespace zephrin
