// Writing parameter values back through host streams: the keyframe-or-value decision, hidden streams,
// wrong stream types, the missing plug-in id, expressions, and giving every host object back.
#include "effect/stream_writing.h"

#include <gtest/gtest.h>

#include <utility>

#include "fake_effect_host.h"

namespace zephrin::test {
namespace {

struct StreamWriting : ::testing::Test {
    void SetUp() override {
        host.applyEffect();
        host.in.current_time = 60;  // two seconds at 30 per second
        host.in.time_scale = 30;
    }
    void TearDown() override {
        EXPECT_EQ(host.openEffects, 0);
        EXPECT_EQ(host.openStreams, 0);
        EXPECT_EQ(host.openValues, 0);
    }
    EffectCall call() { return EffectCall{&host.in, &host.out, host.params.data(), suites}; }

    FakeEffectHost host;
    HostSuites suites{&host.basic};
    EffectLogCapture log;
};

TEST_F(StreamWriting, StreamWithoutKeyframesTakesAPlainValue) {
    EffectCall c = call();
    EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 12.5, "test-reason"));
    ASSERT_EQ(host.writes.size(), 1u);
    EXPECT_FALSE(host.writes[0].keyframe);
    EXPECT_EQ(oneD(host.stream(param::kLoopMoveSpeed)), 12.5);
    EXPECT_TRUE(host.stream(param::kLoopMoveSpeed).keyframes.empty());
    EXPECT_TRUE(log.contains("CurveUI: writeStream set ok"));
}

TEST_F(StreamWriting, AnimatedStreamGetsAKeyframeAtTheCurrentTime) {
    FakeStream& speed = host.stream(param::kLoopMoveSpeed);
    speed.keyframes[0.0].one_d = 5;
    EffectCall c = call();
    EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, -40, "test-reason"));
    ASSERT_EQ(speed.keyframes.size(), 2u);
    EXPECT_EQ(speed.keyframes.at(2.0).one_d, -40);
    EXPECT_EQ(speed.keyframes.at(0.0).one_d, 5);
    EXPECT_TRUE(host.writes.back().keyframe);
    EXPECT_TRUE(log.contains("CurveUI: writeStream keyframe ok"));

    // A second write at the same time replaces that keyframe instead of adding one.
    EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 7, "test-reason"));
    EXPECT_EQ(speed.keyframes.size(), 2u);
    EXPECT_EQ(speed.keyframes.at(2.0).one_d, 7);
}

TEST_F(StreamWriting, ZeroTimeScaleCountsAsOne) {
    host.stream(param::kLoopMoveSpeed).keyframes[0.0].one_d = 5;
    host.in.current_time = 3;
    host.in.time_scale = 0;
    EffectCall c = call();
    EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 1, "test-reason"));
    EXPECT_EQ(host.stream(param::kLoopMoveSpeed).keyframes.count(3.0), 1u);
}

TEST_F(StreamWriting, WrongStreamTypeWritesNothingAndSaysWhichType) {
    EffectCall c = call();
    EXPECT_FALSE(writeOneD(c, param::pointPosition(0), 1, "test-reason"));
    EXPECT_TRUE(log.contains("CurveUI: writeOneD wrong stream type=1 index=18"));
    EXPECT_FALSE(writePoint(c, param::kLoopMoveSpeed, A_FloatPoint3{1, 2, 3}, "test-reason"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint wrong stream type=5 index=17"));
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(StreamWriting, HiddenPointStreamIsWrittenAndStaysHidden) {
    FakeStream& point = host.stream(param::pointPosition(2));
    ASSERT_TRUE(point.dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    EffectCall c = call();
    EXPECT_TRUE(writePoint(c, param::pointPosition(2), A_FloatPoint3{-120.5, 33, 0}, "point-drag"));
    EXPECT_EQ(point.value.three_d.x, -120.5);
    EXPECT_EQ(point.value.three_d.y, 33);
    EXPECT_TRUE(point.dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    EXPECT_TRUE(log.contains("CurveUI: writePoint begin index=20 type=1 target=(-120.5,33,0)"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint unhide index=20 err=0 flags=2 reason=point-drag"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint readback index=20 wrote=1 value=(-120.5,33,0)"));
}

TEST_F(StreamWriting, VisibleStreamIsNotHiddenByAWrite) {
    FakeStream& rotation = host.stream(param::rotationPosition(0));
    rotation.dynamicFlags = 0;
    EffectCall c = call();
    EXPECT_TRUE(writePoint(c, param::rotationPosition(0), A_FloatPoint3{60, 0, 0}, "handle-drag"));
    EXPECT_EQ(rotation.dynamicFlags, 0);
    EXPECT_TRUE(host.dynamicFlagChanges.empty());
}

TEST_F(StreamWriting, RefusedKeyframeFallsBackToAValueAndBothFailuresAreLogged) {
    host.stream(param::kLoopMoveSpeed).keyframes[0.0].one_d = 5;
    host.refuseValues = true;
    EffectCall c = call();
    EXPECT_FALSE(writeOneD(c, param::kLoopMoveSpeed, 3, "test-reason"));
    EXPECT_TRUE(log.contains("CurveUI: writeStream keyframe set err=1 reason=test-reason"));
    EXPECT_TRUE(log.contains("CurveUI: writeStream set err=1 kf_err=0 num_kfs=1 reason=test-reason"));
}

TEST_F(StreamWriting, FailedPointWriteKeepsTheArrayChangeAndTheHiddenFlag) {
    host.refuseValues = true;
    PF_ParamDef& def = host.param(param::pointPosition(1));
    def.u.point3d_d.x_value = 99;
    EffectCall c = call();
    EXPECT_FALSE(writePointParam(c, param::pointPosition(1), "delete-shift", true));
    EXPECT_TRUE(def.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(def.u.point3d_d.x_value, 99);
    EXPECT_TRUE(host.stream(param::pointPosition(1)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    EXPECT_TRUE(log.contains("CurveUI: writePoint readback index=19 wrote=0 value=(33,50,0)"));
    EXPECT_TRUE(log.contains("CurveUI: point stream write fallback index=19 reason=delete-shift"));
}

TEST_F(StreamWriting, WithoutAPluginIdNothingIsWritten) {
    // No global data means no plug-in id, as in Premiere Pro.
    const PF_Handle globalData = std::exchange(host.in.global_data, nullptr);
    EffectCall c = call();
    PF_ParamDef& def = host.param(param::pointPosition(0));
    def.u.point3d_d.x_value = 42;
    EXPECT_FALSE(writePointParam(c, param::pointPosition(0), "point-drag", true));
    EXPECT_FALSE(writeOneD(c, param::kPointCount, 4, "point-count"));
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(def.u.point3d_d.x_value, 42);
    EXPECT_TRUE(log.contains("CurveUI: writePoint skipped missing plugin id"));
    EXPECT_TRUE(log.contains("CurveUI: point stream write fallback index=18 reason=point-drag"));
    host.in.global_data = globalData;
}

TEST_F(StreamWriting, ClearingExpressionsTouchesOnlyTheFirstSlotsThatCanVary) {
    host.stream(param::rotationPosition(1)).canVary = false;
    EffectCall c = call();
    EXPECT_EQ(clearPointExpressions(c, 3), PF_Err_NONE);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(host.stream(param::pointPosition(slot)).expression.empty()) << slot;
        EXPECT_FALSE(host.stream(param::pointPosition(slot)).expressionOn) << slot;
    }
    EXPECT_TRUE(host.stream(param::rotationPosition(1)).expressionOn);
    EXPECT_FALSE(host.stream(param::rotationPosition(2)).expressionOn);
    EXPECT_TRUE(host.stream(param::pointPosition(3)).expressionOn);

    // Counts beyond the slots are clamped; Premiere Pro leaves expressions alone.
    EXPECT_EQ(clearPointExpressions(c, 40), PF_Err_NONE);
    EXPECT_FALSE(host.stream(param::rotationPosition(11)).expressionOn);
    host.stream(param::pointPosition(0)).expressionOn = true;
    host.in.appl_id = PF_APPL_ID_PREMIERE;
    EXPECT_EQ(clearPointExpressions(c, 12), PF_Err_NONE);
    EXPECT_TRUE(host.stream(param::pointPosition(0)).expressionOn);
}

}  // namespace
}  // namespace zephrin::test
