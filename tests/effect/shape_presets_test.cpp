// Preset outlines: closed, counter-clockwise, square on screen, with sharp or smooth tangents.
#include "effect/editor/shape_presets.h"

#include <gtest/gtest.h>

#include <cmath>

#include "effect_host_fixture.h"

namespace zephrin::test {
namespace {

constexpr double kStretch = 404.0 / 120.0;

double signedArea(const std::vector<PresetSlot>& slots) {
    double area = 0;
    for (std::size_t i = 0; i + 1 < slots.size(); ++i) {
        area += slots[i].nx * slots[i + 1].ny - slots[i + 1].nx * slots[i].ny;
    }
    return 0.5 * area;
}

TEST(ShapePresets, EveryOutlineIsClosedAndCounterClockwise) {
    const struct {
        int preset;
        std::size_t count;
    } presets[] = {{param::kShapeSquare, 5}, {param::kShapeRoundSquare, 9}, {param::kShapeCircle, 12}};
    for (const auto& p : presets) {
        const std::vector<PresetSlot> slots = shapePresetSlots(p.preset);
        ASSERT_EQ(slots.size(), p.count) << p.preset;
        EXPECT_EQ(slots.front().nx, slots.back().nx);
        EXPECT_EQ(slots.front().ny, slots.back().ny);
        EXPECT_EQ(slots.front().handle.x, slots.back().handle.x);
        EXPECT_GT(signedArea(slots), 0) << p.preset;
    }
    EXPECT_TRUE(shapePresetSlots(param::kShapeNone).empty());
    EXPECT_TRUE(shapePresetSlots(7).empty());
}

TEST(ShapePresets, SquareCornersStaySharpWithTheExplicitZeroMarker) {
    const std::vector<PresetSlot> square = shapePresetSlots(param::kShapeSquare);
    // The first corner stays first; the rest run the other way round to make the outline counter-clockwise.
    EXPECT_EQ(square[0].nx, 0.25);
    EXPECT_DOUBLE_EQ(square[0].ny, 0.5 + 0.25 * kStretch);
    EXPECT_EQ(square[1].nx, 0.25);
    EXPECT_DOUBLE_EQ(square[1].ny, 0.5 - 0.25 * kStretch);
    for (const PresetSlot& slot : square) {
        EXPECT_EQ(slot.rotation.x, 0);
        EXPECT_EQ(slot.handle.x, 0);
        EXPECT_EQ(slot.handle.y, 0);
        EXPECT_EQ(slot.handle.z, 1e-7);
    }
}

TEST(ShapePresets, CircleTangentsFollowTheCircleOnScreen) {
    const std::vector<PresetSlot> circle = shapePresetSlots(param::kShapeCircle);
    const double factor = 2 * std::tan(M_PI / 22) / (3 * std::sin(2 * M_PI / 11));
    for (std::size_t i = 0; i + 1 < circle.size(); ++i) {
        // Back in screen proportions every sample lies on the circle of radius 0.3.
        const double dx = circle[i].nx - 0.5;
        const double dy = (circle[i].ny - 0.5) / kStretch;
        EXPECT_NEAR(std::hypot(dx, dy), 0.3, 1e-12) << i;
        // Handle lengths are the x extent of the neighbour chord times the smoothing factor.
        const PresetSlot& prev = circle[(i + 10) % 11];
        const PresetSlot& next = circle[(i + 1) % 11];
        EXPECT_NEAR(circle[i].handle.x, (next.nx - prev.nx) * factor, 1e-12) << i;
        EXPECT_EQ(circle[i].handle.x, circle[i].handle.y);
    }
    // At the top of the circle the tangent is level: slope 0 is stored as the explicit-zero marker.
    EXPECT_EQ(circle[0].rotation.x, 0);
    EXPECT_EQ(circle[0].handle.z, 1e-7);
}

struct ApplyingPresets : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(host.applyEffect(), PF_Err_NONE);
        host.writes.clear();
    }
    EffectTestHost host;
};

TEST_F(ApplyingPresets, OpenCurveIsLeftAlone) {
    host.runInCommand(
        [](EffectCall& c) { EXPECT_FALSE(applyShapePreset(c, param::kShapeSquare, "top-view-shape-preset")); });
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(host.value(param::kPointCount), 3);
}

TEST_F(ApplyingPresets, CircleWritesTwelvePointsInCentredLayerPixels) {
    host.set(param::kCloseEndpoints, 1);
    host.set(param::kGeneratedState, 1);
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        host.stream(param::pointPosition(slot)).expression = u"wiggle(1, 1)";
        host.stream(param::pointPosition(slot)).expressionOn = true;
    }
    host.runInCommand(
        [](EffectCall& c) { ASSERT_TRUE(applyShapePreset(c, param::kShapeCircle, "param-shape-preset")); });
    const EffectCommand& command = host.last(PF_Cmd_EVENT);
    EXPECT_EQ(command.param(param::kPointCount).u.pd.value, 11);
    EXPECT_EQ(host.value(param::kPointCount), 11);
    EXPECT_EQ(command.param(param::kGeneratedState).u.bd.value, 0);
    EXPECT_EQ(host.value(param::kGeneratedState), 0);
    const std::vector<PresetSlot> circle = shapePresetSlots(param::kShapeCircle);
    for (int slot = 0; slot < 12; ++slot) {
        const A_FloatPoint3 stored = host.point(param::pointPosition(slot));
        EXPECT_NEAR(stored.x, (circle[slot].nx - 0.5) * 1000, 1e-9) << slot;
        EXPECT_NEAR(stored.y, (circle[slot].ny - 0.5) * 500, 1e-9) << slot;
        EXPECT_EQ(stored.z, 0);
        EXPECT_EQ(host.point(param::handlePosition(slot)).x, circle[slot].handle.x);
        // The write cleared the point's expression first, so the value takes effect.
        EXPECT_FALSE(host.stream(param::pointPosition(slot)).expressionOn);
    }
}

}  // namespace
}  // namespace zephrin::test
