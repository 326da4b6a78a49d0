#include "renderer/geometry/curve_sampler.h"

#include <algorithm>
#include <cmath>

namespace zephrin {

namespace {

constexpr double kMaxMotionPercent = 200.0;
constexpr double kPercent = 0.01;

double motionFraction(double motion) {
    return std::isnan(motion) ? 0.0 : std::clamp(motion, 0.0, kMaxMotionPercent) * kPercent;
}

const std::vector<BendControlPoint>& samplerPoints(const CurveSampler& sampler) {
    static const std::vector<BendControlPoint> kNoPoints;
    return sampler.points != nullptr ? *sampler.points : kNoPoints;
}

// The y scale the sampler's arc lengths are measured with.
double lengthYScale(const CurveSampler& sampler) { return sampler.aspectMode ? sampler.aspectYScale : 1.0; }

}  // namespace

void measureSampler(CurveSampler& sampler) {
    sampler.measure = measureCurve(samplerPoints(sampler), sampler.closedLoop, lengthYScale(sampler));
    sampler.measured = true;
}

CurveSample sample(const CurveSampler& sampler, double t) {
    const std::vector<BendControlPoint>& points = samplerPoints(sampler);
    if (sampler.closedLoop && t >= kLoopEndParameter) t = 0.0;

    double s = t;
    const double m = motionFraction(sampler.motion);
    if (sampler.slideMode) {
        s = sampler.motionDirection == 2 ? 1.0 - m + t : m - (1.0 - t);
    } else if (!sampler.shiftMode) {
        s = sampler.motionDirection == 2 ? t - m : t + m;
        if (sampler.closedLoop) {
            s = std::isfinite(s) ? s - std::floor(s) : 0.0;
        } else {
            s = std::isnan(s) ? 0.0 : std::clamp(s, 0.0, 1.0);
        }
    }

    if (sampler.ellipse.valid) return evaluateEllipse(sampler.ellipse, s);
    const auto byLength = [&] {
        if (sampler.measured) return evaluateMeasured(points, sampler.measure, s);
        return evaluateByScaledLength(points, s, sampler.closedLoop, lengthYScale(sampler));
    };
    if (sampler.aspectMode) return byLength();
    if (sampler.straight) {
        if (points.size() == 1) return CurveSample{points[0].x, points[0].y, points[0].twist, 1.0, 0.0};
        if (!points.empty()) {
            const double f = std::isnan(s) ? 0.0 : std::clamp(s, 0.0, 1.0);
            return CurveSample{points.front().x + (points.back().x - points.front().x) * f, 0.0, 0.0, 1.0, 0.0};
        }
    }
    return byLength();
}

std::vector<double> partialRange(int32_t count, double amount, bool fromStart) {
    const double a = std::isnan(amount) ? 0.0 : std::clamp(amount, 0.0, 1.0);
    const double start = fromStart ? 0.0 : 1.0 - a;
    const double end = fromStart ? a : 1.0;
    std::vector<double> range{start};
    for (int32_t k = 1; k < count; ++k) {
        const double p = static_cast<double>(k) / count;
        if (p > start + kRangeEpsilon && p < end - kRangeEpsilon) range.push_back(p);
    }
    if (end > start + kRangeEpsilon) range.push_back(end);
    return range;
}

double motionShift(const BendControls& controls, int32_t tiles) {
    const double m = motionFraction(controls.motion);
    const double copies = 2.0 * std::max(tiles, 0) + 1.0;
    return controls.motionDirection == 2 ? (1.0 - m) * copies : (m - 1.0) * copies;
}

}  // namespace zephrin
