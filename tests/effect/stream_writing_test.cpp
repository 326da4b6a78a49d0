// Writing parameter values back through host streams: the keyframe-or-value decision, hidden streams,
// wrong stream types, the missing plug-in id, expressions, and giving every host object back.
#include "effect/stream_writing.h"

#include <gtest/gtest.h>

#include <optional>

#include "effect_host_fixture.h"

namespace zephrin::test {
namespace {

// Two seconds into the composition: where the writes of these tests land.
constexpr double kNow = 2.0;

AEGP_StreamVal one(double v) {
    AEGP_StreamVal value{};
    value.one_d = v;
    return value;
}

std::optional<double> keyAt(const host::EffectStream& stream, double seconds) {
    for (const auto& key : stream.keyframes) {
        if (key.time == seconds) return key.value.one_d;
    }
    return std::nullopt;
}

// An instance with every stream at its registered default, as the host adds it before any command.
struct StreamWriting : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
        host.addInstance(host.comp);
    }
    void TearDown() override {
        const host::HandleAccounting counts = host.test.accounting();
        EXPECT_EQ(counts.effectsLent, counts.effectsReturned);
        EXPECT_EQ(counts.streamsLent, counts.streamsReturned);
        EXPECT_EQ(counts.streamValuesLent, counts.streamValuesReturned);
        EXPECT_EQ(counts.badHandles, 0);
    }
    void during(const std::function<void(EffectCall&)>& body, const std::function<void(PF_InData&)>& adjust = {}) {
        host.runInCommand(body, kNow, adjust);
    }

    EffectTestHost host;
    EffectLog log;
};

TEST_F(StreamWriting, StreamWithoutKeyframesTakesAPlainValue) {
    // Registered hidden; shown on the timeline as for a closed curve in Free Mode.
    host.stream(param::kLoopMoveSpeed).dynamicFlags = 0;
    during([](EffectCall& c) { EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 12.5, "test-reason")); });
    ASSERT_EQ(host.writes.size(), 1u);
    EXPECT_FALSE(host.writes[0].keyframe);
    EXPECT_EQ(host.value(param::kLoopMoveSpeed), 12.5);
    EXPECT_TRUE(host.stream(param::kLoopMoveSpeed).keyframes.empty());
    EXPECT_TRUE(log.contains("CurveUI: writeStream set ok"));
}

TEST_F(StreamWriting, AnimatedStreamGetsAKeyframeAtTheCurrentTime) {
    host::EffectStream& speed = host.stream(param::kLoopMoveSpeed);
    speed.keyframes = {{0.0, one(5)}};
    during([](EffectCall& c) { EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, -40, "test-reason")); });
    ASSERT_EQ(speed.keyframes.size(), 2u);
    EXPECT_EQ(keyAt(speed, kNow), -40);
    EXPECT_EQ(keyAt(speed, 0.0), 5);
    EXPECT_TRUE(host.writes.back().keyframe);
    EXPECT_TRUE(log.contains("CurveUI: writeStream keyframe ok"));

    // A second write at the same time replaces that keyframe instead of adding one.
    during([](EffectCall& c) { EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 7, "test-reason")); });
    EXPECT_EQ(speed.keyframes.size(), 2u);
    EXPECT_EQ(keyAt(speed, kNow), 7);
}

TEST_F(StreamWriting, ZeroTimeScaleCountsAsOne) {
    host.stream(param::kLoopMoveSpeed).keyframes = {{0.0, one(5)}};
    during([](EffectCall& c) { EXPECT_TRUE(writeOneD(c, param::kLoopMoveSpeed, 1, "test-reason")); },
           [](PF_InData& in) {
               in.current_time = 3;
               in.time_scale = 0;
           });
    EXPECT_EQ(keyAt(host.stream(param::kLoopMoveSpeed), 3.0), 1);
}

TEST_F(StreamWriting, WrongStreamTypeWritesNothingAndSaysWhichType) {
    during([](EffectCall& c) {
        EXPECT_FALSE(writeOneD(c, param::pointPosition(0), 1, "test-reason"));
        EXPECT_FALSE(writePoint(c, param::kLoopMoveSpeed, A_FloatPoint3{1, 2, 3}, "test-reason"));
    });
    EXPECT_TRUE(log.contains("CurveUI: writeOneD wrong stream type=1 index=18"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint wrong stream type=5 index=17"));
    EXPECT_TRUE(host.writes.empty());
}

TEST_F(StreamWriting, HiddenPointStreamIsWrittenAndStaysHidden) {
    host::EffectStream& point = host.stream(param::pointPosition(2));
    ASSERT_TRUE(point.dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    during([](EffectCall& c) {
        EXPECT_TRUE(writePoint(c, param::pointPosition(2), A_FloatPoint3{-120.5, 33, 0}, "point-drag"));
    });
    EXPECT_EQ(point.value.three_d.x, -120.5);
    EXPECT_EQ(point.value.three_d.y, 33);
    EXPECT_TRUE(point.dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    EXPECT_TRUE(log.contains("CurveUI: writePoint begin index=20 type=1 target=(-120.5,33,0)"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint unhide index=20 err=0 flags=2 reason=point-drag"));
    EXPECT_TRUE(log.contains("CurveUI: writePoint readback index=20 wrote=1 value=(-120.5,33,0)"));
}

TEST_F(StreamWriting, VisibleStreamIsNotHiddenByAWrite) {
    host::EffectStream& rotation = host.stream(param::rotationPosition(0));
    rotation.dynamicFlags = 0;
    during([](EffectCall& c) {
        EXPECT_TRUE(writePoint(c, param::rotationPosition(0), A_FloatPoint3{60, 0, 0}, "handle-drag"));
    });
    EXPECT_EQ(rotation.value.three_d.x, 60);
    EXPECT_EQ(rotation.dynamicFlags, 0);
    EXPECT_EQ(host.dynamicFlagChanges, 0);
}

TEST_F(StreamWriting, RefusedKeyframeFallsBackToAValueAndBothFailuresAreLogged) {
    host.stream(param::kLoopMoveSpeed).keyframes = {{0.0, one(5)}};
    host.refuseValues = true;
    during([](EffectCall& c) { EXPECT_FALSE(writeOneD(c, param::kLoopMoveSpeed, 3, "test-reason")); });
    EXPECT_TRUE(log.contains("CurveUI: writeStream keyframe set err=1 reason=test-reason"));
    EXPECT_TRUE(log.contains("CurveUI: writeStream set err=1 kf_err=0 num_kfs=1 reason=test-reason"));
}

TEST_F(StreamWriting, FailedPointWriteKeepsTheArrayChangeAndTheHiddenFlag) {
    host.refuseValues = true;
    during([](EffectCall& c) {
        c.params[param::pointPosition(1)]->u.point3d_d.x_value = 99;
        EXPECT_FALSE(writePointParam(c, param::pointPosition(1), "delete-shift", true));
    });
    const PF_ParamDef& def = host.last(PF_Cmd_EVENT).param(param::pointPosition(1));
    EXPECT_TRUE(def.uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(def.u.point3d_d.x_value, 99);
    EXPECT_EQ(host.point(param::pointPosition(1)).x, 99) << "the host takes the changed array value";
    EXPECT_TRUE(host.stream(param::pointPosition(1)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN);
    EXPECT_TRUE(log.contains("CurveUI: writePoint readback index=19 wrote=0 value=(33,50,0)"));
    EXPECT_TRUE(log.contains("CurveUI: point stream write fallback index=19 reason=delete-shift"));
}

TEST_F(StreamWriting, WithoutAPluginIdNothingIsWritten) {
    // No global data means no plug-in id, as in Premiere Pro.
    during(
        [](EffectCall& c) {
            c.params[param::pointPosition(0)]->u.point3d_d.x_value = 42;
            EXPECT_FALSE(writePointParam(c, param::pointPosition(0), "point-drag", true));
            EXPECT_FALSE(writeOneD(c, param::kPointCount, 4, "point-count"));
        },
        [](PF_InData& in) { in.global_data = nullptr; });
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(host.last(PF_Cmd_EVENT).param(param::pointPosition(0)).u.point3d_d.x_value, 42);
    EXPECT_TRUE(log.contains("CurveUI: writePoint skipped missing plugin id"));
    EXPECT_TRUE(log.contains("CurveUI: point stream write fallback index=18 reason=point-drag"));
}

TEST_F(StreamWriting, ClearingExpressionsTouchesOnlyTheFirstSlotsThatCanVary) {
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        for (const int position : {param::pointPosition(slot), param::rotationPosition(slot)}) {
            host.stream(position).expression = u"wiggle(1, 1)";
            host.stream(position).expressionOn = true;
        }
    }
    host.stream(param::rotationPosition(1)).canVary = false;
    during([](EffectCall& c) { EXPECT_EQ(clearPointExpressions(c, 3), PF_Err_NONE); });
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(host.stream(param::pointPosition(slot)).expression.empty()) << slot;
        EXPECT_FALSE(host.stream(param::pointPosition(slot)).expressionOn) << slot;
    }
    EXPECT_TRUE(host.stream(param::rotationPosition(1)).expressionOn);
    EXPECT_FALSE(host.stream(param::rotationPosition(2)).expressionOn);
    EXPECT_TRUE(host.stream(param::pointPosition(3)).expressionOn);

    // Counts beyond the slots are clamped; Premiere Pro leaves expressions alone.
    during([](EffectCall& c) { EXPECT_EQ(clearPointExpressions(c, 40), PF_Err_NONE); });
    EXPECT_FALSE(host.stream(param::rotationPosition(11)).expressionOn);
    host.stream(param::pointPosition(0)).expressionOn = true;
    during([](EffectCall& c) { EXPECT_EQ(clearPointExpressions(c, 12), PF_Err_NONE); },
           [](PF_InData& in) { in.appl_id = PF_APPL_ID_PREMIERE; });
    EXPECT_TRUE(host.stream(param::pointPosition(0)).expressionOn);
}

}  // namespace
}  // namespace zephrin::test
