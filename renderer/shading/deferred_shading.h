// Deferred shading (tile path): every visible pixel shaded once, after the raster has resolved
// visibility, rows split between workers.
#pragma once

#include <cstdint>

#include "renderer/runtime/worker_pool.h"
#include "renderer/shading/shading_frame.h"

namespace zephrin {

// Deferred shading of rows firstRow .. endRow-1.
void shadeVisiblePixels(const ShadingFrame& frame, int32_t firstRow, int32_t endRow);
// The same for the rows spread.rowOf(item), item = firstItem .. endItem-1 (spread.count the raster
// height): how the frame splits its rows between workers with even shares of the work.
void shadeSpreadRows(const ShadingFrame& frame, int32_t firstItem, int32_t endItem, const RowSpread& spread);

}  // namespace zephrin
