// How `zephrin info` shows keyframes: each key's time and value, and what the designer set on it beyond
// the host's defaults (temporal interpolation and eases, a spatial key's path), so a scene's motion can
// be checked without rendering it.
#pragma once

#include <ostream>
#include <string>

#include "host/composition.h"

namespace zephrin::app {

// " (in bezier speed 0 influence 33.3333%, out hold, tangents in [..] out [..])" for what differs from
// a key the host makes by default; empty when nothing does. Path details only for a spatial property.
std::string keyframeShapeText(const host::KeyframeShape& shape, bool spatial);

// One line per keyframed property of the layer, named as the scene file names it:
// "     position = keyframes 0s: [0, 0, 0] 1s: [100, 0, 0] (out hold)". Nothing for a layer without any.
void printLayerKeyframes(const host::Layer& layer, std::ostream& out);

}  // namespace zephrin::app
