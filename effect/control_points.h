// The control-point parameters as one curve: the active point count, the layer size the points are
// stored against, the closed-curve rules (end points equal, at least four points), the point layout
// reset, and the clearing of a shape preset when the curve is edited by hand.
#pragma once

#include "effect/effect_call.h"

namespace zephrin {

struct LayerSize {
    double width = 0;
    double height = 0;
};

// End points closer than this in every component already coincide.
constexpr double kEndPointTolerance = 1e-6;

// "Point Count" choice v means clamp(v, 1, 11) + 1 points; a choice below 1 (unset) counts as 3.
int pointCountOfChoice(int choice);
// The count the choice gives, before the closed-curve minimum.
int chosenPointCount(const EffectCall& call);
// The active count n: the chosen count, at least 4 when "Close Endpoints" is on.
int activePointCount(const EffectCall& call);
bool closedCurve(const EffectCall& call);

// The input layer's size, else the command's size when larger than 1, else 1920 × 1080.
LayerSize layerSizeOf(const EffectCall& call);

// Lays out k points (clamped to 2…12) evenly on the flat line, every slot's rotation and handle back
// to defaults, "Point Count" to k, and the editor's view back to its default; all marked changed.
void resetPointLayout(EffectCall& call, int count);

// When closed and fewer than four points are chosen, "Point Count" becomes four. True when it changed.
bool raiseToFourPoints(EffectCall& call, const char* reason);

// When closed, makes the last of max(givenCount, n, 4) points equal to the first — or the first equal
// to the last when changedSlot is the last one. True when a point changed. Blocked while another
// synchronisation runs.
bool syncClosedEnds(EffectCall& call, int givenCount, int changedSlot, const char* reason);

// The synchronisation that render and UI refresh run: raise to four points, then ends from the first.
bool runCloseSync(EffectCall& call, const char* reason);

// A hand edit ends an applied shape preset: "Shape" back to None, kept hidden, written.
void clearShapePreset(EffectCall& call, const char* reason);

// "Generated State" off in the parameter array.
void clearGeneratedState(EffectCall& call);

// True while a mirroring or end-point synchronisation runs; nested ones are skipped.
bool synchronising();

// Marks a synchronisation as running for its scope.
struct SyncScope {
    SyncScope();
    ~SyncScope();
    SyncScope(const SyncScope&) = delete;
    SyncScope& operator=(const SyncScope&) = delete;
};

}  // namespace zephrin
