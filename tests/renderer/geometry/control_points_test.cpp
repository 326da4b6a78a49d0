#include "renderer/geometry/control_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render_log_capture.h"

namespace zephrin {
namespace {

using test::LogCapture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

StoredControlPoints storedOf(const std::vector<Vec3>& points, const std::vector<Vec3>& rotations = {}) {
    StoredControlPoints stored;
    stored.count = static_cast<int32_t>(points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        stored.points.push_back(
            StoredPoint{points[i], i < rotations.size() ? rotations[i] : Vec3{}, static_cast<int32_t>(i)});
    }
    stored.handles.assign(points.size(), Vec3{0.06, 0.06, 0.0});
    return stored;
}

TEST(ControlPoints, PercentPointsAreLegacy) {
    LogCapture log;
    BendControls controls;
    const auto points = buildControlPoints(
        storedOf({{0, 50, 0}, {33, 50, 0}, {67, 50, 0}, {100, 50, 0}}, {{0, 1, 0}, {}, {}, {}}), controls, 1920, 1080);
    ASSERT_EQ(points.size(), 4u);
    const double xs[4] = {0.0, 0.33, 0.67, 1.0};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(points[i].x, xs[i], 1e-12);
        EXPECT_NEAR(points[i].y, 0.0, 1e-12);
    }
    const auto lines = log.renderLines("RendererV2Mesh: control point=");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1],
              "RendererV2Mesh: control point=1 raw=(33,50,0) mode=legacy nx=0.33 yCentered=0 cpY=0 slope=0 h+=0.06 "
              "h-=0.06 hs+=0 hs-=0");
    const auto summary = log.renderLines("RendererV2Mesh: controls count=");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0],
              "RendererV2Mesh: controls count=4 legacy=4 layerDefault=0 closeEndpoints=0 shapePreset=1 quickPreview=0 "
              "endpointSync=0 allLegacy=1 allLayerDefault=0 curveAmount=100 rawCurveMax=50 yMin=0 yMax=0 firstX=0 "
              "lastX=1 layer=1920x1080");
    // Twist mixes the rotation's z and y, scaled by "Twist Amount".
    EXPECT_NEAR(points[0].twist, 0.65, 1e-12);
}

TEST(ControlPoints, LayerPixelPointsAreLayerDefault) {
    BendControls controls;
    controls.curveAmount = 50.0;
    const double W = 800, H = 400;
    const auto points = buildControlPoints(storedOf({{0, 200, 200}, {400, 200, 0}, {800, 300, 200}}), controls, W, H);
    // The third point is off its default height, so not every point is layer-default: all are centre points.
    EXPECT_NEAR(points[0].x, 0.5, 1e-12);
    EXPECT_NEAR(points[2].y, 0.5 * 300.0 / 200.0, 1e-12);

    const auto fitting = buildControlPoints(storedOf({{0, 200, 200}, {400, 201, 0}, {800, 200, 200}}), controls, W, H);
    EXPECT_NEAR(fitting[0].x, 0.0, 1e-12);
    EXPECT_NEAR(fitting[1].x, 0.5, 1e-12);
    EXPECT_NEAR(fitting[1].y, 0.5 * 2.0 * (201.0 / 400.0 - 0.5), 1e-12);
    EXPECT_NEAR(fitting[2].x, 1.0, 1e-12);
}

TEST(ControlPoints, CentredPixelPointsAndTheirRotations) {
    BendControls controls;
    controls.twistAmount = 100.0;
    const auto points = buildControlPoints(
        storedOf({{-500, 0, 0}, {0, -270, 0}, {500, 540, 0}}, {{60, 10, 20}, {-1e9, 0, 0}, {kNaN, kNaN, 5}}), controls,
        1000, 1080);
    EXPECT_NEAR(points[0].x, 0.0, 1e-12);
    EXPECT_NEAR(points[1].y, -0.5, 1e-12);
    EXPECT_NEAR(points[2].y, 1.0, 1e-12);
    EXPECT_NEAR(points[0].slope, 1.0, 1e-12);
    EXPECT_NEAR(points[0].twist, 20 * 0.35 + 10, 1e-12);
    EXPECT_EQ(points[1].slope, -4096.0);
    EXPECT_EQ(points[2].slope, 0.0);
    EXPECT_NEAR(points[2].twist, 5 * 0.35, 1e-12);
}

TEST(ControlPoints, UnwrittenPointsRestoreTheStartupDefaults) {
    LogCapture log;
    BendControls controls;
    StoredControlPoints stored = storedOf({{}, {}, {}, {}});
    const auto points = buildControlPoints(stored, controls, 1000, 500);
    ASSERT_EQ(points.size(), 4u);
    EXPECT_NEAR(points[1].x, 0.33, 1e-12);
    EXPECT_NEAR(points[3].x, 1.0, 1e-12);
    for (const auto& p : points) EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(log.renderLines("RendererV2Mesh: startup default controls restored").size(), 1u);
}

TEST(ControlPoints, HandlesGiveLengthsAndTheExplicitZeroSlope) {
    BendControls controls;
    StoredControlPoints stored =
        storedOf({{-500, 0, 0}, {0, 0, 0}, {500, 0, 0}}, {{120, 0, 0}, {120, 0, 0}, {120, 0, 0}});
    stored.handles[0] = Vec3{0.2, 0.1, 1e-7};
    stored.handles[1] = Vec3{kNaN, std::numeric_limits<double>::infinity(), -60.0};
    stored.handles[2] = Vec3{0.1, 0.1, kNaN};
    const auto points = buildControlPoints(stored, controls, 1000, 1000);
    EXPECT_EQ(points[0].outLength, 0.2);
    EXPECT_EQ(points[0].inLength, 0.1);
    EXPECT_EQ(points[0].inSlope, 0.0);
    EXPECT_EQ(points[0].outSlope, 2.0);
    EXPECT_EQ(points[1].outLength, 0.06);
    EXPECT_EQ(points[1].inLength, 0.06);
    EXPECT_EQ(points[1].inSlope, -1.0);
    EXPECT_EQ(points[2].inSlope, 2.0);
}

TEST(ControlPoints, ClosedLoopEndsWhereItStarts) {
    LogCapture log;
    BendControls controls;
    controls.closeEndpoints = true;
    const auto points =
        buildControlPoints(storedOf({{-500, 0, 0}, {0, 100, 0}, {300, -100, 0}, {450, 50, 0}}), controls, 1000, 1000);
    EXPECT_EQ(points.back().x, points.front().x);
    EXPECT_EQ(points.back().y, points.front().y);
    const auto summary = log.renderLines("RendererV2Mesh: controls count=");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_NE(summary[0].find(" endpointSync=1 "), std::string::npos);
}

TEST(ControlPoints, NothingReadGivesEvenlySpreadFlatPoints) {
    BendControls controls;
    StoredControlPoints stored;
    stored.count = 3;
    const auto points = buildControlPoints(stored, controls, 100, 100);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1].x, 0.5);
    const auto huge = buildControlPoints(storedOf({{1e300, kNaN, 0}, {-1e300, 1e300, 0}}), controls, 100, 100);
    for (const auto& p : huge) {
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
        EXPECT_LE(std::fabs(p.x), kMaxCurveCoordinate);
    }
    EXPECT_EQ(huge[0].y, 0.0);
}

}  // namespace
}  // namespace zephrin
