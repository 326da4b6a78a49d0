// Side walls along the outline of the front image's opaque area, so that a cut-out layer with
// thickness is walled along its real edge rather than along its rectangle.
#pragma once

#include <cstdint>

#include "renderer/scene/frame_scene.h"

namespace zephrin {

// The field is sampled at most this finely per texel axis, and at most this often in all.
constexpr double kContourSamplesPerAxis = 512.0;
constexpr int64_t kMaxContourSamples = 262144;
// The outline is the level where the sampled alpha crosses one half.
constexpr double kContourLevel = 0.5;

// Raw alpha test of one texel: 8-bit above 2, 16-bit at least 328, float above 0.01.
bool texelIsOpaque(const SurfaceTexture& texture, int32_t x, int32_t y);
// Whether any texel fails the opaque test; false without pixel access.
bool textureHasTransparency(const SurfaceTexture& texture);

// Adds walls (face code 4) on the slab grid whose front vertices are the first frontVertexCount of
// surface.mesh (columns x rows, row by row) followed by the back vertices in the same order. Returns
// the number of walls; 0 when the slab is flat, the grid too small, or the front image has no
// transparency.
int32_t buildAlphaContourWalls(SceneSurface& surface, int32_t columns, int32_t rows, int32_t frontVertexCount,
                               double halfThickness);

}  // namespace zephrin
