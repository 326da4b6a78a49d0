// Copying the curve of one effect instance and pasting it into another (or the same) through a
// process-wide buffer: the closed flag, the point count, the shape preset and every slot's point,
// rotation and handle as stored.
#pragma once

#include <array>

#include "effect/effect_call.h"

namespace zephrin {

struct CopiedSlot {
    A_FloatPoint3 point{0, 0, 0};
    A_FloatPoint3 rotation{0, 0, 0};
    A_FloatPoint3 handle{0, 0, 0};
};

struct CurveClipboard {
    bool filled = false;
    bool closed = false;
    int count = 0;
    int shape = param::kShapeNone;
    std::array<CopiedSlot, param::kPointSlots> slots{};
};

CurveClipboard& curveClipboard();

// Free Mode only; false (nothing copied) in the other modes.
bool copyCurveShape(EffectCall& call);
// Only once something was copied; false otherwise.
bool pasteCurveShape(EffectCall& call);

}  // namespace zephrin
