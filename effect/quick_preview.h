// "Quick Preview": while the user edits the curve, the composition is held at quarter resolution so the
// renderer keeps up; the composition's own downsample factor is given back when the preview ends.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

// Starts (or continues) the preview for the effect's composition when "Quick Preview" is on and the
// host is not Premiere Pro. An edit in another composition first gives the previous one back.
void startQuickPreview(EffectCall& call);

// Gives the remembered composition its factor back when it differs, and forgets it; touches the active
// item when asked so that the host redraws at full resolution.
void endQuickPreview(EffectCall& call, bool touchActiveItem);

}  // namespace zephrin
