// Effect parameter streams as the host keeps them, and the suites that answer from them, against an
// instance built in code (no plug-in loaded).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/animated_value.h"
#include "host/effect_instance.h"
#include "host/suites/effect_stream_suite.h"
#include "host/suites/host_state.h"
#include "host/suites/keyframe_suite.h"
#include "host/suites/pf_suites.h"
#include "host/suites/stream_suite.h"

namespace zephrin::host {
namespace {

AEGP_StreamVal one(double v) {
    AEGP_StreamVal value{};
    value.one_d = v;
    return value;
}

PF_ParamDef floatSlider(double dephault) {
    PF_ParamDef def{};
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.u.fs_d.dephault = static_cast<PF_FpShort>(dephault);
    def.u.fs_d.value = dephault;
    return def;
}

TEST(EffectStream, KeyframesAreLinearForNumbersAndHeldForChoices) {
    EffectStream slider = streamForParam(floatSlider(0), false);
    slider.keyframes = {{1.0, one(10)}, {3.0, one(30)}};
    EXPECT_EQ(streamValueAt(slider, 0.0).one_d, 10) << "held before the first key";
    EXPECT_EQ(streamValueAt(slider, 2.5).one_d, 25);
    EXPECT_EQ(streamValueAt(slider, 9.0).one_d, 30) << "held after the last key";

    PF_ParamDef popupDef{};
    popupDef.param_type = PF_Param_POPUP;
    EffectStream popup = streamForParam(popupDef, false);
    popup.keyframes = {{0.0, one(1)}, {1.0, one(3)}};
    EXPECT_EQ(streamValueAt(popup, 0.9).one_d, 1) << "a choice never lands between two choices";

    PF_ParamDef pointDef{};
    pointDef.param_type = PF_Param_POINT_3D;
    EffectStream point = streamForParam(pointDef, false);
    AEGP_StreamVal a{}, b{};
    a.three_d = {0, 0, 0};
    b.three_d = {10, -20, 4};
    point.keyframes = {{0.0, a}, {2.0, b}};
    AEGP_ThreeDVal mid = streamValueAt(point, 1.0).three_d;
    EXPECT_EQ(mid.x, 5);
    EXPECT_EQ(mid.y, -10);
    EXPECT_EQ(mid.z, 2);
}

TEST(EffectStream, KeyframesInterpolateAsTheLayerPropertiesOfTheHostDo) {
    // A 3D point follows the same smooth path through its keys as a layer's position, and a slider the
    // same eased curve as a layer's opacity: the effect and the renderer see one interpolation.
    PF_ParamDef pointDef{};
    pointDef.param_type = PF_Param_POINT_3D;
    EffectStream point = streamForParam(pointDef, false);
    AnimatedVec3 position;
    position.spatial = true;
    const std::vector<Vec3d> places{{0, 0, 0}, {100, 80, 0}, {250, -40, 30}};
    for (size_t i = 0; i < places.size(); ++i) {
        AEGP_StreamVal v{};
        v.three_d = {places[i][0], places[i][1], places[i][2]};
        point.keyframes.push_back({static_cast<double>(i), v});
        position.keyframes.push_back({static_cast<double>(i), places[i]});
    }
    KeyframeShape eased;
    eased.out = KeyInterpolation::Bezier;
    eased.easeOut = {0.0, 60.0};
    EffectStream slider = streamForParam(floatSlider(0), false);
    slider.keyframes = {{0.0, one(0), eased}, {2.0, one(90)}};
    const AnimatedNumber opacity{0.0, {{0.0, 0.0, eased}, {2.0, 90.0}}};
    for (double t : {0.25, 0.8, 1.3, 1.75}) {
        const AEGP_ThreeDVal p = streamValueAt(point, t).three_d;
        const Vec3d expected = valueAt(position, t);
        EXPECT_DOUBLE_EQ(p.x, expected[0]) << t;
        EXPECT_DOUBLE_EQ(p.y, expected[1]) << t;
        EXPECT_DOUBLE_EQ(p.z, expected[2]) << t;
        EXPECT_DOUBLE_EQ(streamValueAt(slider, t).one_d, valueAt(opacity, t)) << t;
    }
    EXPECT_GT(std::abs(streamValueAt(point, 0.5).three_d.y - 40.0), 1.0) << "the path bends; it is not the chord";
}

TEST(EffectStream, WritingAKeyedStreamReplacesTheKeyAtThatTimeOrInsertsOne) {
    EffectStream stream = streamForParam(floatSlider(5), false);
    EXPECT_EQ(setStreamValueAt(stream, 1.0, one(7)), -1) << "no keys: the plain value";
    EXPECT_EQ(stream.value.one_d, 7);
    stream.keyframes = {{0.0, one(0)}, {2.0, one(20)}};
    EXPECT_EQ(setStreamValueAt(stream, 2.0, one(40)), 1);
    EXPECT_EQ(stream.keyframes.size(), 2u);
    EXPECT_EQ(setStreamValueAt(stream, 1.0, one(3)), 1);
    EXPECT_EQ(stream.keyframes.size(), 3u);
    EXPECT_EQ(stream.keyframes[2].value.one_d, 40);
    EXPECT_EQ(setStreamValueAt(stream, -1.0, one(-5)), 0) << "before the first key";
}

TEST(EffectStream, ParamValuesConvertBetweenHostUnitsAndTheEffectsFields) {
    PF_ParamDef angle{};
    angle.param_type = PF_Param_ANGLE;
    angle.u.ad.dephault = 90 * 65536;
    EffectStream angleStream = streamForParam(angle, false);
    EXPECT_EQ(angleStream.value.one_d, 90) << "streams hold degrees";
    angleStream.value.one_d = 45.5;
    EXPECT_EQ(paramAt(angle, angleStream, 0.0).u.ad.value, 45 * 65536 + 32768);

    PF_ParamDef box{};
    box.param_type = PF_Param_CHECKBOX;
    box.u.bd.dephault = 1;
    box.u.bd.value = 0;
    box.flags = PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS;
    EXPECT_EQ(streamForParam(box, false).value.one_d, 1);
    EXPECT_EQ(streamForParam(box, true).value.one_d, 0) << "a project older than the parameter takes its value";

    PF_ParamDef colour{};
    colour.param_type = PF_Param_COLOR;
    colour.u.cd.dephault = PF_Pixel{255, 194, 164, 105};
    EffectStream colourStream = streamForParam(colour, false);
    PF_Pixel back = paramAt(colour, colourStream, 0.0).u.cd.value;
    EXPECT_EQ(back.red, 194);
    EXPECT_EQ(back.green, 164);
    EXPECT_EQ(back.blue, 105);

    PF_ParamDef group{};
    group.param_type = PF_Param_GROUP_START;
    EXPECT_EQ(streamForParam(group, false).type, AEGP_StreamType_NO_DATA);
    EXPECT_FALSE(streamForParam(group, false).canVary);
}

// One instance with a slider (1), a frozen checkbox (2) and a hidden point (3), reachable through lent handles.
struct EffectSuites : ::testing::Test {
    HostState state;
    Composition comp;
    EffectInstance* instance = nullptr;
    AEGP_StreamRefH slider = nullptr, frozen = nullptr, hidden = nullptr;
    static constexpr AEGP_PluginID kWriter = 9;

    void SetUp() override {
        state.echoMessages = false;
        ASSERT_TRUE(activateHostState(state));
        state.effectPluginId = kWriter;
        auto made = std::make_unique<EffectInstance>();
        made->comp = &comp;
        made->effectRef = newHandle(state);
        made->streams.resize(4);
        made->ui.resize(4);
        made->streams[1] = streamForParam(floatSlider(50), false);
        PF_ParamDef box{};
        box.param_type = PF_Param_CHECKBOX;
        box.flags = PF_ParamFlag_CANNOT_TIME_VARY;
        made->streams[2] = streamForParam(box, false);
        PF_ParamDef point{};
        point.param_type = PF_Param_POINT_3D;
        made->streams[3] = streamForParam(point, false);
        made->streams[3].dynamicFlags = AEGP_DynStreamFlag_HIDDEN;
        instance = made.get();
        state.effects.push_back(std::move(made));
        slider = toHandle<AEGP_StreamRefH>(lendEffectStream(state, *instance, 1));
        frozen = toHandle<AEGP_StreamRefH>(lendEffectStream(state, *instance, 2));
        hidden = toHandle<AEGP_StreamRefH>(lendEffectStream(state, *instance, 3));
    }
    void TearDown() override { deactivateHostState(state); }
};

TEST_F(EffectSuites, WritesFollowTheHostsRules) {
    AEGP_StreamValue2 value{slider, one(75)};
    EXPECT_EQ(setStreamValue(kWriter, slider, &value), A_Err_NONE);
    EXPECT_EQ(instance->streams[1].value.one_d, 75);
    EXPECT_NE(setStreamValue(0, slider, &value), A_Err_NONE) << "no AEGP id, no write";
    EXPECT_NE(setStreamValue(kWriter, hidden, &value), A_Err_NONE) << "a hidden stream takes no value";

    const AEGP_DynamicStreamSuite4& dynamic = dynamicStreamSuite4();
    EXPECT_NE(dynamic.AEGP_SetDynamicStreamFlag(hidden, AEGP_DynStreamFlag_HIDDEN | AEGP_DynStreamFlag_DISABLED,
                                                false, false),
              A_Err_NONE)
        << "one flag per call";
    EXPECT_EQ(dynamic.AEGP_SetDynamicStreamFlag(hidden, AEGP_DynStreamFlag_HIDDEN, false, false), A_Err_NONE);
    EXPECT_EQ(setStreamValue(kWriter, hidden, &value), A_Err_NONE);

    const AEGP_KeyframeSuite4& keys = keyframeSuite4();
    const A_Time half{15, 30};
    AEGP_KeyframeIndex index = -1;
    EXPECT_NE(keys.AEGP_InsertKeyframe(frozen, AEGP_LTimeMode_CompTime, &half, &index), A_Err_NONE)
        << "a parameter that cannot vary over time takes no keyframe";
    ASSERT_EQ(keys.AEGP_InsertKeyframe(slider, AEGP_LTimeMode_CompTime, &half, &index), A_Err_NONE);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(instance->streams[1].keyframes.at(0).value.one_d, 75) << "a new key keeps the value it finds";
    EXPECT_NE(setStreamValue(kWriter, slider, &value), A_Err_NONE) << "a keyed stream takes keyframes only";
    AEGP_StreamValue2 keyed{slider, one(80)};
    EXPECT_EQ(keys.AEGP_SetKeyframeValue(slider, 0, &keyed), A_Err_NONE);
    EXPECT_NE(keys.AEGP_SetKeyframeValue(slider, 1, &keyed), A_Err_NONE);
    A_long count = 0;
    EXPECT_EQ(keys.AEGP_GetStreamNumKFs(slider, &count), A_Err_NONE);
    EXPECT_EQ(count, 1);

    const char16_t text[] = u"time * 2";
    EXPECT_EQ(setExpression(kWriter, slider, reinterpret_cast<const A_UTF16Char*>(text)), A_Err_NONE);
    EXPECT_EQ(setExpressionState(kWriter, slider, true), A_Err_NONE);
    EXPECT_EQ(instance->streams[1].expression, u"time * 2");
    EXPECT_TRUE(instance->streams[1].expressionOn);
}

TEST_F(EffectSuites, InsertedKeyframesTakeTheHostsDefaultsAndKeepTheirValueAtThatTime) {
    KeyframeShape eased;
    eased.out = KeyInterpolation::Bezier;
    eased.easeOut = {120.0, 75.0};
    instance->streams[1].keyframes = {{0.0, one(0), eased}, {2.0, one(100)}};
    const double before = streamValueAt(instance->streams[1], 1.0).one_d;
    const AEGP_KeyframeSuite4& keys = keyframeSuite4();
    const A_Time one_second{30, 30};
    AEGP_KeyframeIndex index = -1;
    ASSERT_EQ(keys.AEGP_InsertKeyframe(slider, AEGP_LTimeMode_CompTime, &one_second, &index), A_Err_NONE);
    ASSERT_EQ(index, 1);
    const auto& inserted = instance->streams[1].keyframes.at(1);
    EXPECT_DOUBLE_EQ(inserted.value.one_d, before);
    EXPECT_TRUE(isDefaultShape(inserted.shape)) << "linear, as the host makes a new key";
    EXPECT_EQ(instance->streams[1].keyframes.at(0).shape.easeOut.influence, 75.0) << "its neighbour keeps its ease";

    AEGP_StreamValue2 keyed{slider, one(80)};
    ASSERT_EQ(keys.AEGP_SetKeyframeValue(slider, 0, &keyed), A_Err_NONE);
    EXPECT_EQ(instance->streams[1].keyframes.at(0).shape.out, KeyInterpolation::Bezier) << "a new value keeps the ease";
}

TEST_F(EffectSuites, ValuesAndStreamsAreCountedAndStrangersAreBadHandles) {
    const A_Time zero{0, 30};
    AEGP_StreamValue2 value{};
    ASSERT_EQ(getNewStreamValue(kWriter, slider, AEGP_LTimeMode_CompTime, &zero, false, &value), A_Err_NONE);
    EXPECT_EQ(value.val.one_d, 50);
    EXPECT_EQ(disposeStream(slider), A_Err_NONE);
    EXPECT_EQ(disposeStreamValue(&value), A_Err_NONE) << "a value may come back after its stream";
    EXPECT_NE(disposeStreamValue(&value), A_Err_NONE);
    EXPECT_NE(disposeStream(slider), A_Err_NONE);
    AEGP_StreamType type = AEGP_StreamType_OneD;
    EXPECT_NE(getStreamType(slider, &type), A_Err_NONE);
    EXPECT_EQ(state.accounting.streamValuesLent, 1);
    EXPECT_EQ(state.accounting.streamValuesReturned, 1);
    EXPECT_EQ(state.accounting.streamsReturned, 1);
    EXPECT_EQ(state.accounting.badHandles, 3);
}

TEST_F(EffectSuites, ParamUiUpdatesAreRecordedPerParameter) {
    PF_ParamDef def{};
    def.param_type = PF_Param_POPUP;
    def.ui_flags = PF_PUI_DISABLED;
    def.ui_width = 116;
    std::snprintf(def.name, sizeof def.name, "%s", "Mode");
    def.u.pd.u.namesptr = "A|B";
    auto ref = toHandle<PF_ProgPtr>(instance->effectRef);
    const PF_ParamUtilsSuite3& utils = pfParamUtilsSuite3();
    ASSERT_EQ(utils.PF_UpdateParamUI(ref, 2, &def), PF_Err_NONE);
    EXPECT_TRUE(instance->ui[2].updated);
    EXPECT_EQ(instance->ui[2].label, "Mode");
    EXPECT_EQ(instance->ui[2].choices, "A|B");
    EXPECT_EQ(instance->ui[2].uiFlags, PF_PUI_DISABLED);
    EXPECT_EQ(instance->ui[2].uiWidth, 116);
    EXPECT_EQ(utils.PF_UpdateParamUI(ref, 4, &def), PF_Err_INVALID_INDEX);
    EXPECT_NE(utils.PF_UpdateParamUI(toHandle<PF_ProgPtr>(uintptr_t{0x999}), 1, &def), PF_Err_NONE);
}

TEST_F(EffectSuites, HandleSuiteLendsRelocatableBlocksAndCountsThem) {
    const PF_HandleSuite2& handles = pfHandleSuite2();
    PF_Handle empty = handles.host_new_handle(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(handles.host_lock_handle(empty), nullptr) << "a zero-size handle still locks";
    PF_Handle block = handles.host_new_handle(16);
    EXPECT_EQ(handles.host_get_handle_size(block), 16u);
    auto* bytes = static_cast<unsigned char*>(handles.host_lock_handle(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[15], 0) << "cleared";
    handles.host_unlock_handle(block);
    handles.host_dispose_handle(block);
    handles.host_dispose_handle(empty);
    EXPECT_EQ(handles.host_lock_handle(block), nullptr);
    EXPECT_EQ(state.accounting.memHandlesLent, 2);
    EXPECT_EQ(state.accounting.memHandlesFreed, 2);
    EXPECT_EQ(state.accounting.badHandles, 1);

    A_char tag[PF_APP_LANG_TAG_SIZE] = {'x', 'x', 'x', 'x', 'x', 'x'};
    state.languageTag = "zh_CN_long";
    EXPECT_EQ(pfAppSuite1().PF_AppGetLanguage(tag), PF_Err_NONE);
    EXPECT_STREQ(tag, "zh_CN") << "cut to the tag size, always terminated";
}

}  // namespace
}  // namespace zephrin::host
