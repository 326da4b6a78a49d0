// "AEGP Layer Suite" 11: a composition's layers, their flags, activity, bounds and transforms.
#pragma once

#include "host/composition.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_LayerSuite11& layerSuite11();

// What the host reports for a layer; shared with the Canvas and Camera suites.
AEGP_ObjectType layerObjectType(const Layer& layer);
AEGP_LayerFlags layerFlags(const Layer& layer);
// Video switch on and within the layer's in and out points.
bool layerVideoActiveAt(const Layer& layer, double seconds);
// The source rectangle in layer pixels; empty for a layer without a source.
A_FloatRect layerSourceBounds(const Layer& layer);
A_Matrix4 layerToWorldXform(const Composition& comp, const Layer& layer, double seconds);

}  // namespace zephrin::host
