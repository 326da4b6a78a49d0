// "AEGP Stream Suite" 7 and 11: layer property values at a time, in the units the host shows them
// (degrees, percent, pixels; switches and popups as numbers).
#pragma once

#include "host/composition.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

const AEGP_StreamSuite7& streamSuite7();
const AEGP_StreamSuite11& streamSuite11();

// The stream's value and type at `seconds`. A_Err_PARAMETER for a stream the layer's type does not have:
// transform streams belong to every layer except that cameras and lights have neither scale nor opacity;
// material streams to AV layers; camera and light options to their own type. The anchor point of a
// camera or light is its point of interest, absent when it does not orient toward one.
A_Err layerStreamValue(const Composition& comp, const Layer& layer, AEGP_LayerStream stream, double seconds,
                       AEGP_StreamVal& value, AEGP_StreamType& type);

}  // namespace zephrin::host
