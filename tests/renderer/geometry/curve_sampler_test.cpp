#include "renderer/geometry/curve_sampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace zephrin {
namespace {

BendControlPoint point(double x, double y, double twist = 0.0) {
    BendControlPoint p;
    p.x = x;
    p.y = y;
    p.twist = twist;
    return p;
}

// A sampler that measured its curve once must sample it exactly as one that measures it at every
// call, whatever the loop, motion and evaluation in force.
void expectMeasuredSamplesAreExact(CurveSampler sampler) {
    CurveSampler measured = sampler;
    measureSampler(measured);
    const double parameters[] = {-0.5, 0.0,  1e-12,       0.1, 0.25, 0.333,
                                 0.5,  0.75, 0.999999999, 1.0, 1.7,  std::numeric_limits<double>::quiet_NaN()};
    for (double t : parameters) {
        const CurveSample a = sample(sampler, t), b = sample(measured, t);
        SCOPED_TRACE(t);
        // Bit for bit: NaN compares equal to itself here.
        const auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
        EXPECT_TRUE(same(a.x, b.x) && same(a.y, b.y) && same(a.twist, b.twist)) << a.x << " " << b.x;
        EXPECT_TRUE(same(a.tangentX, b.tangentX) && same(a.tangentY, b.tangentY));
    }
}

TEST(CurveSampler, MeasuringOnceSamplesEveryCurveExactlyAsBefore) {
    const std::vector<BendControlPoint> wave{point(0.0, 0.0), point(0.33, 0.6), point(0.67, -0.6, 20.0),
                                             point(1.0, 0.1)};
    const std::vector<BendControlPoint> flat{point(0.0, 0.0), point(1.0, 0.0)};
    const std::vector<BendControlPoint> single{point(0.3, 0.2, 5.0)};
    const std::vector<BendControlPoint> none;
    const std::vector<BendControlPoint> closedDuplicate{point(0.0, 0.0), point(1.0, 0.5), point(0.0, 0.0)};
    std::vector<BendControlPoint> square{point(0.2, -0.3), point(0.8, -0.3), point(0.8, 0.3), point(0.2, 0.3)};

    CurveSampler open;
    open.points = &wave;
    open.motion = 130.0;
    expectMeasuredSamplesAreExact(open);
    open.slideMode = true;
    open.motion = 40.0;
    expectMeasuredSamplesAreExact(open);
    open.slideMode = false;
    open.shiftMode = true;
    open.motionDirection = 2;
    expectMeasuredSamplesAreExact(open);

    CurveSampler loop;
    loop.points = &wave;
    loop.closedLoop = true;
    loop.motion = 120.0;
    expectMeasuredSamplesAreExact(loop);
    loop.points = &closedDuplicate;
    expectMeasuredSamplesAreExact(loop);

    CurveSampler aspect;
    aspect.points = &square;
    aspect.closedLoop = true;
    aspect.aspectMode = true;
    aspect.aspectYScale = 30.0 / 101.0;
    expectMeasuredSamplesAreExact(aspect);

    CurveSampler straight;
    straight.points = &flat;
    straight.straight = true;
    expectMeasuredSamplesAreExact(straight);
    straight.straight = false;  // flat but not declared straight: the curve's own fast path
    expectMeasuredSamplesAreExact(straight);

    CurveSampler degenerate;
    degenerate.points = &single;
    expectMeasuredSamplesAreExact(degenerate);
    degenerate.points = &none;
    expectMeasuredSamplesAreExact(degenerate);
    degenerate.points = nullptr;
    expectMeasuredSamplesAreExact(degenerate);

    CurveSampler ellipse;
    ellipse.points = &square;
    ellipse.closedLoop = true;
    ellipse.ellipse.valid = true;
    ellipse.ellipse.radiusX = 0.3;
    ellipse.ellipse.radiusY = 0.2;
    expectMeasuredSamplesAreExact(ellipse);
}

}  // namespace
}  // namespace zephrin
