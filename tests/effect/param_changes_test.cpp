// Parameter change handling driven as the host drives it (PF_Cmd_USER_CHANGED_PARAM, then
// PF_Cmd_UPDATE_PARAMS_UI): mirroring, closed-curve rules, point layout, shape clearing, visibility,
// Quick Preview, and the stream writes each leaves in the host.
#include "effect/param_changes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "effect/editor/top_view_editor.h"
#include "effect/ui_visibility.h"
#include "fake_effect_host.h"

namespace zephrin::test {
namespace {

using namespace param;

constexpr PF_OutFlags kRerender = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;
constexpr PF_ParamUIFlags kHidden = PF_PUI_INVISIBLE | PF_PUI_DISABLED;
constexpr PF_ParamUIFlags kCustom = PF_PUI_CONTROL | PF_PUI_DONT_ERASE_CONTROL;

struct ParamChanges : ::testing::Test {
    void SetUp() override {
        host.applyEffect();
        host.run(PF_Cmd_SEQUENCE_SETUP);
        host.writes.clear();
    }
    void TearDown() override {
        topViewEditor().quickPreview = QuickPreviewRecord{};
        EXPECT_EQ(host.openEffects, 0);
        EXPECT_EQ(host.openStreams, 0);
        EXPECT_EQ(host.openValues, 0);
    }
    void setPoint(int slot, double x, double y) {
        host.param(pointPosition(slot)).u.point3d_d.x_value = x;
        host.param(pointPosition(slot)).u.point3d_d.y_value = y;
    }
    A_FloatPoint3 pointAt(int slot) {
        const PF_Point3DDef& p = host.param(pointPosition(slot)).u.point3d_d;
        return {p.x_value, p.y_value, p.z_value};
    }

    FakeEffectHost host;
    EffectLogCapture log;
};

// ---- Mirroring ----

TEST_F(ParamChanges, CommonControlChangeIsCopiedToEveryMemberOfItsSet) {
    host.param(kAnimation).u.fs_d.value = 150;
    ASSERT_EQ(host.userChanged(kAnimation), PF_Err_NONE);
    EXPECT_EQ(host.param(kFreeMotion).u.fs_d.value, 150);
    EXPECT_EQ(host.param(kPathMotion).u.fs_d.value, 150);
    EXPECT_TRUE(host.param(kPathMotion).uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(oneD(host.stream(kFreeMotion)), 150);
    EXPECT_EQ(oneD(host.stream(kPathMotion)), 150);
    EXPECT_TRUE(host.writesAt(kAnimation).empty()) << "the changed member is not written again";
    EXPECT_EQ(host.out.out_flags, kRerender);

    host.param(kBendDirection).u.ad.value = 45 * 65536 + 32768;  // 45.5 degrees
    host.userChanged(kBendDirection);
    EXPECT_EQ(host.param(kFreeBendDirection).u.ad.value, 45 * 65536 + 32768);
    EXPECT_EQ(host.param(kPathBendDirection).u.ad.value, 45 * 65536 + 32768);
    EXPECT_EQ(oneD(host.stream(kPathBendDirection)), 45.5);

    host.param(kTileCount).u.pd.value = 4;
    host.param(kTileMirror).u.bd.value = 1;
    host.userChanged(kTileCount);
    host.userChanged(kTileMirror);
    EXPECT_EQ(host.param(kFreeTileCount).u.pd.value, 4);
    EXPECT_EQ(host.param(kFreeTileMirror).u.bd.value, 1);
    EXPECT_EQ(oneD(host.stream(kFreeTileCount)), 4);
}

TEST_F(ParamChanges, WithCommonSyncOffTheHiddenFreeModeMotionUpdatesTheVisibleAnimation) {
    host.param(kCommonSyncState).u.bd.value = 0;
    host.param(kFreeMotion).u.fs_d.value = 30;
    host.userChanged(kFreeMotion);
    EXPECT_EQ(host.param(kAnimation).u.fs_d.value, 30);
    ASSERT_NE(host.lastUi(kAnimation), nullptr);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.value, 30);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.valid_max, 200);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.slider_max, 200);
}

TEST_F(ParamChanges, WithCommonSyncOffThePerModeMembersLeadTheRefresh) {
    host.param(kCommonSyncState).u.bd.value = 0;
    // Values as a project saved before the common controls existed could hold them.
    host.param(kFreeTileOffset).u.fs_d.value = 25;
    host.param(kFreeBendDirection).u.ad.value = 10 * 65536;
    host.param(kPathBendDirection).u.ad.value = 20 * 65536;
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kTileOffset)->def.u.fs_d.value, 25);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 10 * 65536);
    EXPECT_EQ(host.param(kTileOffset).u.fs_d.value, 0) << "the refresh changes only what is shown";

    host.param(kMode).u.pd.value = kModePathSelect;
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 20 * 65536);

    host.param(kCommonSyncState).u.bd.value = 1;
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 0);
}

TEST_F(ParamChanges, TileMirrorAndOffsetNeedAtLeastOneTile) {
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_TRUE(host.lastUi(kTileMirror)->def.ui_flags & PF_PUI_DISABLED);
    EXPECT_TRUE(host.lastUi(kTileOffset)->def.ui_flags & PF_PUI_DISABLED);
    host.param(kTileCount).u.pd.value = 2;  // one tile
    host.userChanged(kTileCount);
    EXPECT_EQ(host.lastUi(kTileMirror)->def.ui_flags, 0);
    EXPECT_EQ(host.lastUi(kTileOffset)->def.ui_flags, 0);
}

// ---- Closed curve ----

TEST_F(ParamChanges, ClosingATwoPointCurveRaisesItToFourPointsWithEqualEnds) {
    host.param(kPointCount).u.pd.value = 1;  // two points
    setPoint(0, -300, 40);
    host.param(kCloseEndpoints).u.bd.value = 1;
    ASSERT_EQ(host.userChanged(kCloseEndpoints), PF_Err_NONE);
    EXPECT_EQ(host.param(kPointCount).u.pd.value, 3);
    EXPECT_EQ(oneD(host.stream(kPointCount)), 3);
    EXPECT_EQ(pointAt(3).x, -300);
    EXPECT_EQ(pointAt(3).y, 40);
    EXPECT_EQ(point(host.stream(pointPosition(3))).x, -300);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints raised point count to 4"));
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=toggle-close"));
    EXPECT_EQ(host.out.out_flags, kRerender);
}

TEST_F(ParamChanges, DraggingTheLastPointOfAClosedCurveMovesTheFirst) {
    host.param(kCloseEndpoints).u.bd.value = 1;
    host.userChanged(kCloseEndpoints);
    setPoint(3, 120, -60);
    host.userChanged(pointPosition(3));
    EXPECT_EQ(pointAt(0).x, 120);
    EXPECT_EQ(pointAt(0).y, -60);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=3 target=0 changed=1 reason=param-point-close"));

    // The first point leads every other edit; a middle point leaves both ends where they are.
    setPoint(0, 10, 10);
    host.userChanged(pointPosition(0));
    EXPECT_EQ(pointAt(3).x, 10);
    setPoint(1, 77, 77);
    host.userChanged(pointPosition(1));
    EXPECT_EQ(pointAt(0).x, 10);
    EXPECT_EQ(pointAt(3).x, 10);
}

TEST_F(ParamChanges, RotationStreamsAreShownExactlyForTheActivePoints) {
    host.param(kPointCount).u.pd.value = 0;  // unset: four points
    host.userChanged(kPointCount);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        const bool hidden = host.stream(rotationPosition(slot)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN;
        EXPECT_EQ(hidden, slot >= 4) << slot;
    }
    EXPECT_TRUE(log.contains("CurveUI: point stream visibility index=34 active=4 err=0"));
    EXPECT_TRUE(log.contains("CurveUI: point stream visibility index=35 active=4 hide=1 err=0"));

    host.param(kPointCount).u.pd.value = 11;  // twelve points
    host.userChanged(kPointCount);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        EXPECT_FALSE(host.stream(rotationPosition(slot)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN) << slot;
    }
}

// ---- Shape preset clearing and application ----

TEST_F(ParamChanges, HandEditsEndAnAppliedShapePreset) {
    host.param(kShape).u.pd.value = kShapeCircle;
    host.param(kGeneratedState).u.bd.value = 1;
    host.userChanged(handlePosition(2));
    EXPECT_EQ(host.param(kShape).u.pd.value, kShapeNone);
    EXPECT_EQ(oneD(host.stream(kShape)), kShapeNone);
    EXPECT_EQ(host.lastUi(kShape)->def.ui_flags & kHidden, kHidden);
    EXPECT_EQ(host.param(kGeneratedState).u.bd.value, 0);

    host.param(kShape).u.pd.value = kShapeSquare;
    host.param(kPointCount).u.pd.value = 5;
    host.userChanged(kPointCount);
    EXPECT_EQ(host.param(kShape).u.pd.value, kShapeNone);
}

TEST_F(ParamChanges, ShapeParameterAppliesThePresetToAClosedCurve) {
    host.param(kCloseEndpoints).u.bd.value = 1;
    host.param(kShape).u.pd.value = kShapeCircle;
    ASSERT_EQ(host.userChanged(kShape), PF_Err_NONE);
    EXPECT_EQ(host.param(kPointCount).u.pd.value, 11);
    EXPECT_EQ(oneD(host.stream(kPointCount)), 11);
    EXPECT_EQ(oneD(host.stream(kShape)), kShapeCircle);
    EXPECT_NEAR(pointAt(11).x, pointAt(0).x, 1e-9);
    EXPECT_NEAR(pointAt(11).y, pointAt(0).y, 1e-9);
    EXPECT_NEAR(point(host.stream(pointPosition(11))).x, pointAt(0).x, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: shape preset applied preset=4 count=12"));
}

TEST_F(ParamChanges, ShapeParameterOnAnOpenCurveOnlyStoresTheChoice) {
    host.param(kShape).u.pd.value = 9;  // out of range
    host.userChanged(kShape);
    EXPECT_EQ(host.param(kShape).u.pd.value, kShapeCircle);
    EXPECT_EQ(oneD(host.stream(kShape)), kShapeCircle);
    EXPECT_EQ(host.param(kPointCount).u.pd.value, 3);
    EXPECT_TRUE(host.writesAt(pointPosition(0)).empty());
}

// ---- Point layout buttons ----

TEST_F(ParamChanges, GenerateLaysOutTheChosenCountAndResetFourPoints) {
    host.param(kPointCount).u.pd.value = 5;  // six points
    host.param(kGeneratedState).u.bd.value = 1;
    host.userChanged(kGeneratePoints);
    EXPECT_EQ(host.param(kPointCount).u.pd.value, 5);
    EXPECT_NEAR(pointAt(1).x, -300, 1e-9);  // t = 1/5 across a 1000 pixel layer
    EXPECT_EQ(pointAt(5).x, 500);
    EXPECT_EQ(host.param(kGeneratedState).u.bd.value, 0);
    EXPECT_TRUE(log.contains("CurveUI: inline generate button"));

    host.userChanged(kResetPoints);
    EXPECT_EQ(host.param(kPointCount).u.pd.value, 3);
    EXPECT_NEAR(pointAt(1).x, -500.0 / 3, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: inline reset button"));
}

TEST_F(ParamChanges, GenerateOutsideFreeModeKeepsThePoints) {
    host.param(kMode).u.pd.value = kModeScroll;
    setPoint(1, 3, 4);
    host.userChanged(kGeneratePoints);
    EXPECT_EQ(pointAt(1).x, 3);
}

// ---- Visibility ----

TEST(UiVisibility, ModeRulesForEachMode) {
    VisibilityState free;
    EXPECT_EQ(uiFlagsFor(kCurveAmount, free), 0);
    EXPECT_EQ(uiFlagsFor(kTopView, free), kCustom);
    EXPECT_EQ(uiFlagsFor(kLoopMoveSpeed, free), kHidden);
    EXPECT_EQ(uiFlagsFor(kPathSelectGroup, free), PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kPathLayerPicker, free), kCustom | PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kScrollModeGroup, free), kHidden);
    EXPECT_EQ(uiFlagsFor(kTileCount, free), 0);
    EXPECT_EQ(uiFlagsFor(kFreeMotion, free), kHidden | PF_PUI_NO_ECW_UI);
    EXPECT_EQ(uiFlagsFor(kPathMotion, free), kHidden | PF_PUI_NO_ECW_UI);
    EXPECT_EQ(uiFlagsFor(kResetPoints, free), kHidden | PF_PUI_STD_CONTROL_ONLY);
    EXPECT_EQ(uiFlagsFor(kObjSourceLayer, free), kHidden);
    EXPECT_EQ(uiFlagsFor(pointPosition(4), free), kHidden);
    EXPECT_EQ(uiFlagsFor(rotationPosition(4), free), 0);
    EXPECT_EQ(uiFlagsFor(kSubdivisionX, free), 0) << "parameters without a rule keep their registered flags";
    EXPECT_EQ(uiFlagsFor(kCommonSyncState, free), kHidden);

    VisibilityState closed = free;
    closed.closed = true;
    EXPECT_EQ(uiFlagsFor(kLoopMoveSpeed, closed), 0);

    VisibilityState path = free;
    path.mode = kModePathSelect;
    path.closed = true;
    EXPECT_EQ(uiFlagsFor(kCurveAmount, path), PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kTopView, path), kCustom | PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kLoopMoveSpeed, path), kHidden);
    EXPECT_EQ(uiFlagsFor(kPathLayerPicker, path), kCustom);
    EXPECT_EQ(uiFlagsFor(kFitPathLength, path), 0);
    EXPECT_EQ(uiFlagsFor(kSyncLeftRight, path), kHidden);

    VisibilityState scroll = free;
    scroll.mode = kModeScroll;
    EXPECT_EQ(uiFlagsFor(kPathLayerPicker, scroll), kCustom);
    EXPECT_EQ(uiFlagsFor(kSyncLeftRight, scroll), 0);
    EXPECT_EQ(uiFlagsFor(kRightEnabled, scroll), 0);
    EXPECT_EQ(uiFlagsFor(kLeftDirection, scroll), kHidden);
    EXPECT_EQ(uiFlagsFor(kTileAnimationGroup, scroll), kHidden);
    EXPECT_EQ(uiFlagsFor(kAnimation, scroll), kHidden);
    scroll.syncLeftRight = true;
    EXPECT_EQ(uiFlagsFor(kRightEnabled, scroll), PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kRightRadiusChange, scroll), PF_PUI_DISABLED);
    EXPECT_EQ(uiFlagsFor(kSyncLeftRight, scroll), 0);
}

TEST_F(ParamChanges, ModeChangeResendsThePanelRelabelledWithPointRules) {
    host.param(kMode).u.pd.value = kModeScroll;
    ASSERT_EQ(host.userChanged(kMode), PF_Err_NONE);
    EXPECT_EQ(host.lastUi(kScrollModeGroup)->def.ui_flags, 0);
    EXPECT_STREQ(host.lastUi(kScrollModeGroup)->name.c_str(), "Scroll Mode");
    EXPECT_EQ(host.lastUi(kTileCount)->def.ui_flags, kHidden);
    EXPECT_EQ(host.lastUi(kCurveAmount)->def.ui_flags, PF_PUI_DISABLED);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        EXPECT_EQ(host.lastUi(pointPosition(slot))->def.ui_flags, kHidden);
        EXPECT_EQ(host.lastUi(rotationPosition(slot))->def.ui_flags, 0);
    }
    EXPECT_EQ(host.lastUi(kTopView)->def.ui_width, 420);
    EXPECT_EQ(host.lastUi(kTopView)->def.ui_height, 170);
    EXPECT_EQ(host.out.out_flags, kRerender);
}

TEST_F(ParamChanges, UpdateParamsUiLaysThePanelOutOnlyWhenItsLayoutChanged) {
    forgetLayoutSignature();
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_NE(host.lastUi(kScrollModeGroup), nullptr);
    host.uiUpdates.clear();
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.uiUpdates.size(), 6u) << "only the common controls are refreshed";
    EXPECT_EQ(host.out.out_flags, 0);

    host.param(kLanguage).u.pd.value = kLanguageChinese;
    host.uiUpdates.clear();
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    ASSERT_NE(host.lastUi(kScrollModeGroup), nullptr);
    EXPECT_EQ(host.lastUi(kScrollModeGroup)->name, "卷轴模式");
}

TEST_F(ParamChanges, UpdateParamsUiClosesTheCurveAndAsksForARerender) {
    host.param(kCloseEndpoints).u.bd.value = 1;
    setPoint(3, 1, 1);
    host.run(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(pointAt(3).x, pointAt(0).x);
    EXPECT_EQ(host.out.out_flags, kRerender);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=update-ui-close-sync"));
}

TEST_F(ParamChanges, RefusedUiUpdatesAreLoggedAndDoNotFailTheCommand) {
    host.updateParamUiErr = PF_Err_INVALID_INDEX;
    EXPECT_EQ(host.userChanged(kMode), PF_Err_NONE);
    EXPECT_TRUE(log.contains("PF_UpdateParamUI ignored err=513 index=3"));
}

TEST_F(ParamChanges, ChangesThatAreNotHandledReturnNoFlags) {
    EXPECT_EQ(host.userChanged(kFreeModeGroup), PF_Err_NONE);
    EXPECT_EQ(host.out.out_flags, 0);
    EXPECT_EQ(host.userChanged(kGpuAcceleration), PF_Err_NONE);
    EXPECT_EQ(host.out.out_flags, kRerender);
    EXPECT_EQ(host.userChanged(kCount), PF_Err_NONE);
}

// ---- Language ----

TEST_F(ParamChanges, SwitchingLanguageRelabelsWithoutChangingAnyValue) {
    const auto valuesBefore = host.values;
    host.param(kLanguage).u.pd.value = kLanguageChinese;
    ASSERT_EQ(host.userChanged(kLanguage), PF_Err_NONE);
    EXPECT_EQ(host.lastUi(kCurveAmount)->name, "起伏强度");
    EXPECT_EQ(host.lastUi(kShadowMode)->choices, "自动|快速贴图|光线追踪|混合");
    EXPECT_EQ(host.lastUi(kResetPoints)->def.ui_flags & kHidden, kHidden);
    EXPECT_EQ(host.lastUi(kObjSourceLayer)->def.ui_flags & kHidden, kHidden);
    EXPECT_EQ(host.out.out_flags, PF_OutFlag_REFRESH_UI);
    EXPECT_TRUE(host.writes.empty());
    for (int position = 2; position < kCount; ++position) {
        EXPECT_EQ(std::memcmp(&host.values[position].u, &valuesBefore[position].u, sizeof(PF_ParamDefUnion)), 0)
            << position;
    }
}

// ---- Quick Preview ----

TEST_F(ParamChanges, QuickPreviewHoldsTheCompositionAtQuarterResolutionUntilSwitchedOff) {
    host.compFactors[1] = {2, 2};
    host.userChanged(kCurveAmount);
    EXPECT_EQ(host.compFactors[1].xS, 4);
    EXPECT_EQ(host.compFactors[1].yS, 4);
    EXPECT_EQ(host.touches, 1);
    host.userChanged(kTwistAmount);
    EXPECT_EQ(host.compFactors[1].xS, 4);

    // An edit in another composition gives the first one its factor back.
    host.currentComp = 2;
    host.userChanged(kCurveAmount);
    EXPECT_EQ(host.compFactors[1].xS, 2);
    EXPECT_EQ(host.compFactors[2].xS, 4);

    host.param(kQuickPreview).u.bd.value = 0;
    const int touches = host.touches;
    host.userChanged(kQuickPreview);
    EXPECT_EQ(host.compFactors[2].xS, 1);
    EXPECT_EQ(host.touches, touches + 1);
    host.userChanged(kCurveAmount);
    EXPECT_EQ(host.compFactors[2].xS, 1);
}

TEST_F(ParamChanges, GlobalSetdownEndsQuickPreviewWithoutTouchingTheActiveItem) {
    host.userChanged(kThickness);
    ASSERT_EQ(host.compFactors[1].xS, 4);
    const int touches = host.touches;
    host.run(PF_Cmd_GLOBAL_SETDOWN);
    EXPECT_EQ(host.compFactors[1].xS, 1);
    EXPECT_EQ(host.touches, touches);
}

TEST_F(ParamChanges, PremiereHostChangesTheArrayButWritesNoStream) {
    FakeEffectHost premiere;
    premiere.in.appl_id = PF_APPL_ID_PREMIERE;
    premiere.applyEffect();
    EXPECT_TRUE(premiere.registeredAegpName.empty());
    premiere.param(kCloseEndpoints).u.bd.value = 1;
    premiere.param(pointPosition(0)).u.point3d_d.x_value = 250;
    premiere.userChanged(pointPosition(0));
    EXPECT_EQ(premiere.param(pointPosition(3)).u.point3d_d.x_value, 250);
    EXPECT_TRUE(premiere.writes.empty());
    EXPECT_TRUE(premiere.dynamicFlagChanges.empty());
    EXPECT_EQ(premiere.touches, 0) << "no Quick Preview in Premiere Pro";
    EXPECT_TRUE(log.contains("CurveUI: writePoint skipped missing plugin id"));
}

}  // namespace
}  // namespace zephrin::test
