// PF_Cmd_RENDER: the effect draws nothing itself (the renderer draws the bent surface from the
// parameters); its output is a copy of its input, and in Path Select and Scroll Mode it checks out the
// path layer so the host knows the output depends on that layer.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

PF_Err passThroughRender(EffectCall& call, PF_LayerDef* output);

}  // namespace zephrin
