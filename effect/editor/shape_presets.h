// Preset outlines (Square, Round Square, Circle) that replace a closed curve in one step. The outlines
// are drawn in the editor's normalized plane and stretched vertically by the Top View's aspect ratio so
// that they look square on screen.
#pragma once

#include <vector>

#include "effect/effect_call.h"

namespace zephrin {

// One slot of a preset: its normalized position and the stored rotation and handle parameters.
struct PresetSlot {
    double nx = 0;
    double ny = 0;
    A_FloatPoint3 rotation{0, 0, 0};
    A_FloatPoint3 handle{0, 0, 0};
};

// The slots of a preset ("Shape" 2, 3 or 4), the last one repeating the first; empty for any other value.
std::vector<PresetSlot> shapePresetSlots(int preset);

// Replaces the curve with the preset and writes every slot, the point count and "Generated State" with
// the reason. Needs "Close Endpoints" on; false (and nothing written) otherwise.
bool applyShapePreset(EffectCall& call, int preset, const char* reason);

}  // namespace zephrin
