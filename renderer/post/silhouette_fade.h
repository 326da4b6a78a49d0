// Anti-aliasing of silhouette edges: a partly covered pixel on the outside of a silhouette keeps
// only its covered fraction of alpha.
#pragma once

#include <cstdint>

#include "renderer/runtime/frame_buffers.h"

namespace zephrin {

// Fraction of set samples in a coverage mask: bits 0..6 of a seven-sample mask (bit 7 set), else
// bits 0..3.
double coverageFraction(uint8_t mask);

// For every partly covered pixel with a neighbour (left, right, up, down) outside the raster or
// uncovered, alpha *= coverage fraction. Pixels whose four neighbours are covered keep their alpha:
// their partial coverage is an interior seam between triangles, not an edge. Does nothing unless
// color and coverage cover the same pixels.
void fadeSilhouettes(FrameBuffers& buffers);

}  // namespace zephrin
