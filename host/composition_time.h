// How a composition's frames map onto the host's time record (A_Time: a 32-bit value over an unsigned
// 32-bit scale). Frame n is {n * kTimeUnitsPerFrame, round(frameRate * kTimeUnitsPerFrame)}, so a
// composition is only usable when its rate and its last frame both fit that record.
#pragma once

#include <cstdint>
#include <limits>

#include "host/composition.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

// Units of host time per frame; the time scale carries the frame rate times the same factor, so that
// integer and NTSC rates (29.97 -> 29970) are both exact.
inline constexpr A_long kTimeUnitsPerFrame = 1000;

// The largest |frame| whose time value (frame * kTimeUnitsPerFrame) fits the record.
inline constexpr int32_t kMaxFrameMagnitude = std::numeric_limits<A_long>::max() / kTimeUnitsPerFrame;
// Frames 0 .. kMaxFrameMagnitude: the longest composition the host can address.
inline constexpr int64_t kMaxFrameCount = int64_t{kMaxFrameMagnitude} + 1;

// Rates outside these bounds make a time scale that rounds to 0 (time would divide by zero) or one
// whose frames drift far from the rate asked for; the top is well inside the scale's 32 bits.
inline constexpr double kMinFrameRate = 1.0 / kTimeUnitsPerFrame;
inline constexpr double kMaxFrameRate = 1.0e6;

// Frames in the composition: one for every frame start inside its duration, at least 1. Computed in
// 64 bits from doubles, so no rate and duration overflow it; absurd products saturate at INT64_MAX
// rather than wrapping. Whether the count fits the host's time record is the caller's check
// (kMaxFrameCount); the scene loader refuses compositions that do not fit.
int64_t compositionFrameCount(const Composition& comp);

}  // namespace zephrin::host
