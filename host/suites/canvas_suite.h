// "AEGP Canvas Suite" 10 and 14: what the renderer asks of the frame it is handed — the composition, its
// time and downsample, the destination, the layers to render and their textures.
#pragma once

#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_CanvasSuite10& canvasSuite10();
const AEGP_CanvasSuite14& canvasSuite14();

}  // namespace zephrin::host
