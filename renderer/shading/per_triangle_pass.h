// The per-row path: every surface triangle clipped, projected, rasterized and shaded for one block of
// rows, in one pass (frames without lights) or two (visibility, then the winners' shading).
#pragma once

#include <cstdint>

#include "renderer/shading/shading_frame.h"

namespace zephrin {

enum class PerTrianglePass {
    Visibility,    // first pass with lights: depth, coverage, indices and unlit texture colour
    ShadeAtOnce,   // the only pass of a frame without lights
    ShadeWinners,  // second pass with lights: shade only the fragments that won the visibility pass
};

// Clips, projects and rasterizes every surface triangle for rows firstRow .. endRow-1.
void rasterizePerTriangle(const ShadingFrame& frame, PerTrianglePass pass, int32_t firstRow, int32_t endRow);

}  // namespace zephrin
