// Finding the bend effect on a layer and reading its settings into the renderer's BendControls and
// control points, once per frame and per layer.
#pragma once

#include <cstdint>
#include <vector>

#include "common/effect_contract.h"
#include "common/host_suites.h"
#include "renderer/collect/effect_param_readers.h"
#include "renderer/scene/bend_controls.h"
#include "sdk/AE_GeneralPlug.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin {

// The frame time in seconds; 0 for a zero time scale.
double frameSeconds(const A_Time& time);

// x - floor(x), never negative; 0 for a non-finite x.
double wrapPhase(double x);

// Whether an effect is the bend effect: by its installed match name, or, when that cannot be told,
// by having the point streams at positions 18 and 21.
bool findBendEffect(HostSuites& suites, AEGP_PluginID pluginId, AEGP_EffectRefH effect);

// Whether the layer's first bend effect is active and not missing. Later instances are never consulted.
bool layerHasActiveBendEffect(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer);

// Reads every scalar control of one bend effect instance into `controls` (already holding the
// defaults); "Mode" and "Common Sync State" first, since they choose later positions.
void readControlsFromEffect(const EffectStreamReader& reader, BendControls& controls);

// Scans the layer's effects; the first bend effect, when active and not missing, is read into
// `controls` (already holding the defaults) and `points`. Width and height are the layer's content
// size, each raised to at least 1. False, with hasEffect false, when nothing was read.
bool readBendControls(HostSuites& suites, AEGP_PluginID pluginId, AEGP_LayerH layer, const A_Time& time,
                      double layerWidth, double layerHeight, BendControls& controls,
                      std::vector<BendControlPoint>& points, bool& hasEffect);

// The settings-dependent rules applied after reading: the closed loop's texture phase and the
// overrides of "Sync Left/Right", closed Free Mode loops and Scroll Mode.
void applyLoopPhaseAndOverrides(BendControls& controls, const A_Time& time);

}  // namespace zephrin
