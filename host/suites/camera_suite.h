// "AEGP Camera Suite" 2: the camera a frame is seen through.
#pragma once

#include <optional>

#include "host/composition.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_CameraSuite2& cameraSuite2();

// Position of the topmost camera layer that is video-active at the time, or none.
std::optional<size_t> activeCameraPosition(const Composition& comp, double seconds);

}  // namespace zephrin::host
