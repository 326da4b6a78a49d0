// The "Path Layer" picker (position 48): a popup menu of the composition's layers. The choice is kept
// twice, both hidden: as the layer parameter (47) and as the layer's 1-based index in the composition
// (46, 0 for none); the renderer reads them.
#pragma once

#include <string>
#include <vector>

#include "effect/effect_call.h"

namespace zephrin {

struct PathLayerCandidate {
    AEGP_LayerIDVal id = 0;
    int index = 0;  // 0-based position in the composition
    std::u16string text;
};

struct PickerResult {
    bool chosen = false;
    AEGP_LayerIDVal layerId = 0;
    int index = 0;  // 1-based; 0 for none
    std::u16string text;
};

// Every layer of the effect's composition but the effect's own; empty without a composition.
std::vector<PathLayerCandidate> pathLayerCandidates(EffectCall& call);

// The layer the picker shows: the layer parameter's, else the one the numeric copy names; 0 for none.
AEGP_LayerIDVal currentPathLayer(EffectCall& call, const std::vector<PathLayerCandidate>& candidates);

PickerResult showLayerMenu(EffectCall& call, const std::vector<PathLayerCandidate>& candidates,
                           AEGP_LayerIDVal current);

// PF_Event_DO_CLICK on the picker; not handled outside Path Select and Scroll Mode or outside the frame.
PF_Err onPickerClick(EffectCall& call, PF_EventExtra& event);
PF_Err drawPicker(EffectCall& call, const PF_EventExtra& event);

}  // namespace zephrin
