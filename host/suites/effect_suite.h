// The AEGP side of effects: "AEGP Effect Suite" 4 (a layer's effects, their installed key, match name and
// switch), "AEGP PF Interface Suite" 1 (from an effect command's reference to its layer and AEGP effect)
// and "AEGP Utility Suite" 7 (the AEGP plug-in id an effect writes streams under).
#pragma once

#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::host {

const AEGP_EffectSuite4& effectSuite4();
const AEGP_PFInterfaceSuite1& pfInterfaceSuite1();
const AEGP_UtilitySuite7& utilitySuite7();

// The installed key of the one effect plug-in the host loads.
constexpr AEGP_InstalledEffectKey kInstalledEffectKey = 1;

}  // namespace zephrin::host
