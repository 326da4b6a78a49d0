// The one entry through which mesh builders read the bend curve at a column parameter: where the
// "Motion" animation and its direction act, and which of the curve's evaluations applies.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/geometry/bend_curve.h"
#include "renderer/scene/bend_controls.h"

namespace zephrin {

// A closed loop sampled this close to its end starts over, so the seam is sampled once.
constexpr double kLoopEndParameter = 0.999999999;
// Range ends closer than this to a grid parameter replace it.
constexpr double kRangeEpsilon = 1e-9;

struct CurveSampler {
    bool closedLoop = false;
    bool slideMode = false;
    bool shiftMode = false;
    double motion = 100.0;  // percent
    int32_t motionDirection = 1;
    AnalyticEllipse ellipse;
    bool aspectMode = false;
    double aspectYScale = 1.0;
    bool straight = false;
    const std::vector<BendControlPoint>* points = nullptr;
    // The curve's segment lengths, when measureSampler has taken them; otherwise every sample
    // measures the curve afresh.
    bool measured = false;
    CurveMeasure measure;
};

// Measures the sampler's curve once for all its samples; call it after the other fields are set.
void measureSampler(CurveSampler& sampler);

CurveSample sample(const CurveSampler& sampler, double t);

// Increasing parameters covering [0, amount] (fromStart) or [1 - amount, 1], through every k / count
// strictly inside.
std::vector<double> partialRange(int32_t count, double amount, bool fromStart);

// How far "Motion" moves a tiled or over-driven strip, in curve lengths.
double motionShift(const BendControls& controls, int32_t tiles);

}  // namespace zephrin
