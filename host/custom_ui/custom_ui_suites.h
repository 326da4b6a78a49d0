// The effect-facing services around custom-UI events: the drawing reference of a draw event's context
// ("PF Effect Custom UI Suite") and the redraw request ("PF AE App Suite" version 6).
#pragma once

#include "sdk/AE_EffectSuites.h"

namespace zephrin::host {

const PF_EffectCustomUISuite1& pfEffectCustomUiSuite1();
const PFAppSuite6& pfAppSuite6();

}  // namespace zephrin::host
