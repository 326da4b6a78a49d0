// Painting the effect's custom controls on PF_Event_DRAW: the Top View editor, the "Generate Points"
// buttons, and the popup-like boxes of "Language", "Mode" and the "Path Layer" picker.
#pragma once

#include <string>

#include "effect/effect_call.h"

namespace zephrin {

// Also records the frame for the window hooks and installs the mouse hook. Returns the first failing
// host call's error.
PF_Err drawTopView(EffectCall& call, const PF_EventExtra& event);
PF_Err drawGeneratePoints(EffectCall& call, const PF_EventExtra& event);
// A popup-like box showing the current choice.
PF_Err drawPopupControl(EffectCall& call, const PF_EventExtra& event, const std::u16string& shown);

// Bezier spans of the curve are drawn through this many evenly spaced parameter values.
constexpr int kCurveSamplesPerSpan = 25;

}  // namespace zephrin
