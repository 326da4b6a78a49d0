// A Top View gesture's state as it travels in the host's click record: the host hands the click's
// continue_refcon slots back on every drag, so nothing of a gesture is kept in the effect between
// events. Slot 0 holds a tag naming the gesture, slots 1 and 2 the mouse at the click, slot 3 the
// gesture's start value as two fixed-point numbers.
#pragma once

#include <cstdint>

#include "sdk/AE_Effect.h"

namespace zephrin {

enum class GestureKind { None, Point, OutHandle, InHandle, Resize, Pan, LoopSpeed, BoxSelect, MultiPoint };

struct GestureTag {
    GestureKind kind = GestureKind::None;
    int index = 0;  // the point of a point, handle or multi-point drag
};

// The tag of a gesture; GestureKind::None gives 0, which is never valid.
uint32_t encodeGestureTag(const GestureTag& tag);
// A tag the effect did not write (or 0) decodes as GestureKind::None.
GestureTag decodeGestureTag(uint32_t tag);

// Two values in one slot, each as value × 100000 in a signed 32-bit half (the first in the low half),
// so that a start pan, size, speed or normalized point survives the round trip through the host.
A_intptr_t packFixedPair(double first, double second);
void unpackFixedPair(A_intptr_t packed, double& first, double& second);

struct GestureStart {
    GestureTag tag;
    double clickX = 0, clickY = 0;
    double startA = 0, startB = 0;
};

// Writes the gesture into the click record and asks the host for drags.
void beginGesture(PF_DoClickEventInfo& click, const GestureTag& tag, double mx, double my, double startA,
                  double startB);
GestureStart readGesture(const PF_DoClickEventInfo& click);
void endGesture(PF_DoClickEventInfo& click);

}  // namespace zephrin
