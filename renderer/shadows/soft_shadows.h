// Screen-space soft shadows: the hard per-pixel visibility of shading is blurred with a radius that
// follows the lights' shadow diffusion and the blocker distance (contact hardening), weighted so that
// shadows never bleed across unrelated surfaces; then the colour is corrected by the shading slope.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Blur radius R in raster pixels; 0 means hard shadows and no shadow-post buffers.
int32_t shadowBlurRadius(const std::vector<SceneLight>& lights, const RenderSettings& settings);

// For r = 0 .. R the unnormalised Gaussian weights of half-width r (2r + 1 each).
std::vector<std::vector<double>> shadowKernels(int32_t radius);

// How far pixel q's visibility may stand in for pixel p's, in [0, 1]: 1 on the same surface, falling
// to 0 across depth steps and between planes at an angle. camera carries the raster size in
// destWidth/destHeight.
double crossReceiverWeight(const FrameBuffers& buffers, const SceneCamera& camera,
                           const std::vector<SceneSurface>& surfaces, size_t p, size_t q);

// Which pixels the filter visits: those near a shadow (every other marked pixel keeps radius 0 and
// its visibility), or every pixel, the plain walk that the narrow one must match bit for bit.
enum class ShadowFilterWalk { NearShadows, WholeFrame };

// Filters shadowVisibility into filteredVisibility over the marked pixels.
void filterShadows(FrameBuffers& buffers, const SceneCamera& camera, const std::vector<SceneSurface>& surfaces,
                   const std::vector<SceneLight>& lights, const RenderSettings& settings,
                   ShadowFilterWalk walk = ShadowFilterWalk::NearShadows);

// colour += slope * (filtered - visibility) on every marked pixel; alpha is kept.
void recomposeShadows(FrameBuffers& buffers);

}  // namespace zephrin
