// The last stage of a frame: the straight-colour raster composited over the host's destination
// world at 8, 16 or 32 bits per channel.
#pragma once

#include <cstdint>

#include "renderer/runtime/frame_buffers.h"

namespace zephrin {

// Raster pixels at or below this alpha leave the destination as it is.
constexpr double kBlendMinAlpha = 0.001;

// Composites buffers.color over the destination described by worldType, the base address of that
// type, rowBytes and the destination size. Each raster pixel covers the destination block
// [y0, y1) x [x0, x1) scaled from its raster position, so a quarter-size raster fills the whole frame.
void blendIntoDestination(const FrameBuffers& buffers);

// One row of raster colours (four doubles a pixel) over a row of as many 8-bit pixels, the way the
// blend takes a raster of the destination's size: the wide way (AVX2, taken where the processor has
// it) and the portable one, which give the same bytes. Named here so that a test can run both.
void blendRow8Portable(PF_Pixel8* row, const double* colour, int64_t width);
void blendRow8Wide(PF_Pixel8* row, const double* colour, int64_t width);  // AVX2 only
bool wideBlend();

}  // namespace zephrin
