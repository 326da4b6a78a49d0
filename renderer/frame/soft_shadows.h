// Screen-space soft shadows: the hard per-pixel visibility of shading is blurred with a radius that
// follows the lights' shadow diffusion, then the colour is corrected by the shading slope.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/frame/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Blur radius R in raster pixels; 0 means hard shadows and no shadow-post buffers.
int32_t shadowBlurRadius(const std::vector<SceneLight>& lights, const RenderSettings& settings);

// Filters shadowVisibility into filteredVisibility over the marked pixels.
void filterShadows(FrameBuffers& buffers, const SceneCamera& camera, const std::vector<SceneLight>& lights,
                   const RenderSettings& settings);

// colour += slope * (filtered - visibility) on every marked pixel; alpha is kept.
void recomposeShadows(FrameBuffers& buffers);

}  // namespace zephrin
