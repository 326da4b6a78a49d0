// Parameter change handling driven as the host drives it (PF_Cmd_USER_CHANGED_PARAM, then
// PF_Cmd_UPDATE_PARAMS_UI): mirroring, closed-curve rules, point layout, shape clearing, visibility,
// Quick Preview, and the streams each leaves in the host.
#include "effect/param_changes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effect/editor/top_view_editor.h"
#include "effect/ui_visibility.h"
#include "effect_host_fixture.h"

namespace zephrin::test {
namespace {

using namespace param;

constexpr PF_OutFlags kRerender = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;
constexpr PF_ParamUIFlags kHidden = PF_PUI_INVISIBLE | PF_PUI_DISABLED;
constexpr PF_ParamUIFlags kCustom = PF_PUI_CONTROL | PF_PUI_DONT_ERASE_CONTROL;

// A freshly applied instance: four points on the flat line of a 1000 pixel wide layer.
struct ParamChanges : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(host.applyEffect(), PF_Err_NONE);
        host.clearRecords();
    }
    void TearDown() override {
        topViewEditor().quickPreview = QuickPreviewRecord{};
        const host::HandleAccounting counts = host.test.accounting();
        EXPECT_EQ(counts.effectsLent, counts.effectsReturned);
        EXPECT_EQ(counts.streamsLent, counts.streamsReturned);
        EXPECT_EQ(counts.streamValuesLent, counts.streamValuesReturned);
    }
    void setPoint(int slot, double x, double y) { host.setPoint(pointPosition(slot), x, y); }
    A_FloatPoint3 pointAt(int slot) { return host.point(pointPosition(slot)); }
    const EffectCommand& changed() const { return host.last(PF_Cmd_USER_CHANGED_PARAM); }
    const EffectCommand& refreshed() const { return host.last(PF_Cmd_UPDATE_PARAMS_UI); }
    AEGP_DownsampleFactor factor(const host::Composition& comp) {
        auto it = host.state.compDownsample.find(&comp);
        return it != host.state.compDownsample.end() ? it->second : AEGP_DownsampleFactor{1, 1};
    }

    EffectTestHost host;
    EffectLog log;
};

// ---- Mirroring ----

TEST_F(ParamChanges, CommonControlChangeIsCopiedToEveryMemberOfItsSet) {
    host.set(kAnimation, 150);
    ASSERT_EQ(host.userChanged(kAnimation), PF_Err_NONE);
    EXPECT_EQ(changed().param(kFreeMotion).u.fs_d.value, 150);
    EXPECT_EQ(changed().param(kPathMotion).u.fs_d.value, 150);
    EXPECT_TRUE(changed().param(kPathMotion).uu.change_flags & PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(host.value(kFreeMotion), 150);
    EXPECT_EQ(host.value(kPathMotion), 150);
    EXPECT_TRUE(host.writesAt(kAnimation).empty()) << "the changed member is not written again";
    EXPECT_EQ(changed().out.out_flags, kRerender);

    host.set(kBendDirection, 45.5);
    host.userChanged(kBendDirection);
    EXPECT_EQ(changed().param(kFreeBendDirection).u.ad.value, 45 * 65536 + 32768);
    EXPECT_EQ(changed().param(kPathBendDirection).u.ad.value, 45 * 65536 + 32768);
    EXPECT_EQ(host.value(kPathBendDirection), 45.5);

    host.set(kTileCount, 4);
    host.set(kTileMirror, 1);
    host.userChanged(kTileCount);
    EXPECT_EQ(changed().param(kFreeTileCount).u.pd.value, 4);
    host.userChanged(kTileMirror);
    EXPECT_EQ(changed().param(kFreeTileMirror).u.bd.value, 1);
    EXPECT_EQ(host.value(kFreeTileCount), 4);
    EXPECT_EQ(host.value(kFreeTileMirror), 1);
}

TEST_F(ParamChanges, WithCommonSyncOffTheHiddenFreeModeMotionUpdatesTheVisibleAnimation) {
    host.set(kCommonSyncState, 0);
    host.set(kFreeMotion, 30);
    host.userChanged(kFreeMotion);
    EXPECT_EQ(changed().param(kAnimation).u.fs_d.value, 30);
    ASSERT_NE(host.lastUi(kAnimation), nullptr);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.value, 30);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.valid_max, 200);
    EXPECT_EQ(host.lastUi(kAnimation)->def.u.fs_d.slider_max, 200);
}

TEST_F(ParamChanges, WithCommonSyncOffThePerModeMembersLeadTheRefresh) {
    host.set(kCommonSyncState, 0);
    // Values as a project saved before the common controls existed could hold them.
    host.set(kFreeTileOffset, 25);
    host.set(kFreeBendDirection, 10);
    host.set(kPathBendDirection, 20);
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kTileOffset)->def.u.fs_d.value, 25);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 10 * 65536);
    EXPECT_EQ(refreshed().param(kTileOffset).u.fs_d.value, 0) << "the refresh changes only what is shown";
    EXPECT_EQ(host.value(kTileOffset), 0);

    host.set(kMode, kModePathSelect);
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 20 * 65536);

    host.set(kCommonSyncState, 1);
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.lastUi(kBendDirection)->def.u.ad.value, 0);
}

TEST_F(ParamChanges, TileMirrorAndOffsetNeedAtLeastOneTile) {
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_TRUE(host.ui(kTileMirror).uiFlags & PF_PUI_DISABLED);
    EXPECT_TRUE(host.ui(kTileOffset).uiFlags & PF_PUI_DISABLED);
    host.set(kTileCount, 2);  // one tile
    host.userChanged(kTileCount);
    EXPECT_EQ(host.ui(kTileMirror).uiFlags, 0);
    EXPECT_EQ(host.ui(kTileOffset).uiFlags, 0);
}

// ---- Closed curve ----

TEST_F(ParamChanges, ClosingATwoPointCurveRaisesItToFourPointsWithEqualEnds) {
    host.set(kPointCount, 1);  // two points
    setPoint(0, -300, 40);
    host.set(kCloseEndpoints, 1);
    ASSERT_EQ(host.userChanged(kCloseEndpoints), PF_Err_NONE);
    EXPECT_EQ(changed().param(kPointCount).u.pd.value, 3);
    EXPECT_EQ(host.value(kPointCount), 3);
    EXPECT_EQ(changed().param(pointPosition(3)).u.point3d_d.x_value, -300);
    EXPECT_EQ(changed().param(pointPosition(3)).u.point3d_d.y_value, 40);
    EXPECT_EQ(pointAt(3).x, -300);
    EXPECT_EQ(pointAt(3).y, 40);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints raised point count to 4"));
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=toggle-close"));
    EXPECT_EQ(changed().out.out_flags, kRerender);
}

TEST_F(ParamChanges, DraggingTheLastPointOfAClosedCurveMovesTheFirst) {
    host.set(kCloseEndpoints, 1);
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
    host.set(kPointCount, 0);  // unset: four points
    host.userChanged(kPointCount);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        const bool hidden = host.stream(rotationPosition(slot)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN;
        EXPECT_EQ(hidden, slot >= 4) << slot;
    }
    EXPECT_TRUE(log.contains("CurveUI: point stream visibility index=34 active=4 err=0"));
    EXPECT_TRUE(log.contains("CurveUI: point stream visibility index=35 active=4 hide=1 err=0"));

    host.set(kPointCount, 11);  // twelve points
    host.userChanged(kPointCount);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        EXPECT_FALSE(host.stream(rotationPosition(slot)).dynamicFlags & AEGP_DynStreamFlag_HIDDEN) << slot;
    }
}

// ---- Shape preset clearing and application ----

TEST_F(ParamChanges, HandEditsEndAnAppliedShapePreset) {
    host.set(kShape, kShapeCircle);
    host.set(kGeneratedState, 1);
    host.userChanged(handlePosition(2));
    EXPECT_EQ(changed().param(kShape).u.pd.value, kShapeNone);
    EXPECT_EQ(host.value(kShape), kShapeNone);
    EXPECT_EQ(host.ui(kShape).uiFlags & kHidden, kHidden);
    EXPECT_EQ(changed().param(kGeneratedState).u.bd.value, 0);
    EXPECT_EQ(host.value(kGeneratedState), 0);

    host.set(kShape, kShapeSquare);
    host.set(kPointCount, 5);
    host.userChanged(kPointCount);
    EXPECT_EQ(changed().param(kShape).u.pd.value, kShapeNone);
    EXPECT_EQ(host.value(kShape), kShapeNone);
}

TEST_F(ParamChanges, ShapeParameterAppliesThePresetToAClosedCurve) {
    host.set(kCloseEndpoints, 1);
    host.set(kShape, kShapeCircle);
    ASSERT_EQ(host.userChanged(kShape), PF_Err_NONE);
    EXPECT_EQ(changed().param(kPointCount).u.pd.value, 11);
    EXPECT_EQ(host.value(kPointCount), 11);
    EXPECT_EQ(host.value(kShape), kShapeCircle);
    EXPECT_NEAR(pointAt(11).x, pointAt(0).x, 1e-9);
    EXPECT_NEAR(pointAt(11).y, pointAt(0).y, 1e-9);
    EXPECT_NEAR(changed().param(pointPosition(11)).u.point3d_d.x_value, pointAt(0).x, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: shape preset applied preset=4 count=12"));
}

TEST_F(ParamChanges, ShapeParameterOnAnOpenCurveOnlyStoresTheChoice) {
    host.set(kShape, 9);  // out of range
    host.userChanged(kShape);
    EXPECT_EQ(changed().param(kShape).u.pd.value, kShapeCircle);
    EXPECT_EQ(host.value(kShape), kShapeCircle);
    EXPECT_EQ(host.value(kPointCount), 3);
    EXPECT_TRUE(host.writesAt(pointPosition(0)).empty());
}

// ---- Point layout buttons ----

TEST_F(ParamChanges, GenerateLaysOutTheChosenCountAndResetFourPoints) {
    host.set(kPointCount, 5);  // six points
    host.set(kGeneratedState, 1);
    host.userChanged(kGeneratePoints);
    EXPECT_EQ(host.value(kPointCount), 5);
    EXPECT_NEAR(pointAt(1).x, -300, 1e-9);  // t = 1/5 across a 1000 pixel layer
    EXPECT_EQ(pointAt(5).x, 500);
    EXPECT_EQ(changed().param(kGeneratedState).u.bd.value, 0);
    EXPECT_EQ(host.value(kGeneratedState), 0);
    EXPECT_TRUE(log.contains("CurveUI: inline generate button"));

    host.userChanged(kResetPoints);
    EXPECT_EQ(host.value(kPointCount), 3);
    EXPECT_NEAR(pointAt(1).x, -500.0 / 3, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: inline reset button"));
}

TEST_F(ParamChanges, GenerateOutsideFreeModeKeepsThePoints) {
    host.set(kMode, kModeScroll);
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
    host.set(kMode, kModeScroll);
    ASSERT_EQ(host.userChanged(kMode), PF_Err_NONE);
    ASSERT_NE(host.lastUi(kScrollModeGroup), nullptr);
    EXPECT_EQ(host.lastUi(kScrollModeGroup)->def.ui_flags, 0);
    EXPECT_EQ(host.ui(kScrollModeGroup).label, "Scroll Mode");
    EXPECT_EQ(host.lastUi(kTileCount)->def.ui_flags, kHidden);
    EXPECT_EQ(host.lastUi(kCurveAmount)->def.ui_flags, PF_PUI_DISABLED);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        ASSERT_NE(host.lastUi(pointPosition(slot)), nullptr) << slot;
        EXPECT_EQ(host.lastUi(pointPosition(slot))->def.ui_flags, kHidden);
        EXPECT_EQ(host.lastUi(rotationPosition(slot))->def.ui_flags, 0);
    }
    EXPECT_EQ(host.ui(kTopView).uiWidth, 420);
    EXPECT_EQ(host.ui(kTopView).uiHeight, 170);
    EXPECT_EQ(changed().out.out_flags, kRerender);
}

TEST_F(ParamChanges, UpdateParamsUiLaysThePanelOutOnlyWhenItsLayoutChanged) {
    forgetLayoutSignature();
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_NE(host.lastUi(kScrollModeGroup), nullptr);
    host.uiUpdates.clear();
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(host.uiUpdates.size(), 6u) << "only the common controls are refreshed";
    EXPECT_EQ(refreshed().out.out_flags, 0);

    host.set(kLanguage, kLanguageChinese);
    host.uiUpdates.clear();
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    ASSERT_NE(host.lastUi(kScrollModeGroup), nullptr);
    EXPECT_EQ(host.ui(kScrollModeGroup).label, "卷轴模式");
}

TEST_F(ParamChanges, UpdateParamsUiClosesTheCurveAndAsksForARerender) {
    host.set(kCloseEndpoints, 1);
    setPoint(3, 1, 1);
    host.send(PF_Cmd_UPDATE_PARAMS_UI);
    EXPECT_EQ(pointAt(3).x, pointAt(0).x);
    EXPECT_EQ(refreshed().out.out_flags, kRerender);
    EXPECT_TRUE(log.contains("CurveUI: close endpoints sync source=0 target=3 changed=1 reason=update-ui-close-sync"));
}

TEST_F(ParamChanges, RefusedUiUpdatesAreLoggedAndDoNotFailTheCommand) {
    host.updateParamUiErr = PF_Err_INVALID_INDEX;
    EXPECT_EQ(host.userChanged(kMode), PF_Err_NONE);
    EXPECT_TRUE(log.contains("PF_UpdateParamUI ignored err=513 index=3"));
}

TEST_F(ParamChanges, ChangesThatAreNotHandledReturnNoFlags) {
    EXPECT_EQ(host.userChanged(kFreeModeGroup), PF_Err_NONE);
    EXPECT_EQ(changed().out.out_flags, 0);
    EXPECT_EQ(host.userChanged(kGpuAcceleration), PF_Err_NONE);
    EXPECT_EQ(changed().out.out_flags, kRerender);
    EXPECT_EQ(host.userChanged(kCount), PF_Err_NONE);
}

// ---- Language ----

TEST_F(ParamChanges, SwitchingLanguageRelabelsWithoutChangingAnyValue) {
    host.set(kLanguage, kLanguageChinese);
    const std::vector<host::EffectStream> before = host.instance->streams;
    ASSERT_EQ(host.userChanged(kLanguage), PF_Err_NONE);
    EXPECT_EQ(host.ui(kCurveAmount).label, "起伏强度");
    EXPECT_EQ(host.ui(kShadowMode).choices, "自动|快速贴图|光线追踪|混合");
    EXPECT_EQ(host.ui(kResetPoints).uiFlags & kHidden, kHidden);
    EXPECT_EQ(host.ui(kObjSourceLayer).uiFlags & kHidden, kHidden);
    EXPECT_EQ(changed().out.out_flags, PF_OutFlag_REFRESH_UI);
    EXPECT_TRUE(host.writes.empty());
    for (int position = 2; position < kCount; ++position) {
        const auto p = static_cast<size_t>(position);
        const PF_ParamDef given = host::paramAt(host.effect.params[p], before[p], 0.0);
        EXPECT_EQ(std::memcmp(&changed().param(position).u, &given.u, sizeof(PF_ParamDefUnion)), 0) << position;
        EXPECT_EQ(std::memcmp(&host.stream(position).value, &before[p].value, sizeof(AEGP_StreamVal)), 0)
            << position;
    }
}

// ---- Quick Preview ----

TEST_F(ParamChanges, QuickPreviewHoldsTheCompositionAtQuarterResolutionUntilSwitchedOff) {
    host.state.compDownsample[&host.comp] = {2, 2};
    const int64_t touches = host.state.activeItemTouches;
    host.userChanged(kCurveAmount);
    EXPECT_EQ(factor(host.comp).xS, 4);
    EXPECT_EQ(factor(host.comp).yS, 4);
    EXPECT_EQ(host.state.activeItemTouches, touches + 1);
    host.userChanged(kTwistAmount);
    EXPECT_EQ(factor(host.comp).xS, 4);

    // An edit in another composition gives the first one its factor back.
    host::EffectInstance& other = host.addInstance(host.otherComp);
    host.userChanged(kCurveAmount, &other);
    EXPECT_EQ(factor(host.comp).xS, 2);
    EXPECT_EQ(factor(host.otherComp).xS, 4);

    host.stream(kQuickPreview, &other).value.one_d = 0;
    const int64_t touchesBefore = host.state.activeItemTouches;
    host.userChanged(kQuickPreview, &other);
    EXPECT_EQ(factor(host.otherComp).xS, 1);
    EXPECT_EQ(host.state.activeItemTouches, touchesBefore + 1);
    host.userChanged(kCurveAmount, &other);
    EXPECT_EQ(factor(host.otherComp).xS, 1);
}

TEST_F(ParamChanges, GlobalSetdownEndsQuickPreviewWithoutTouchingTheActiveItem) {
    host.userChanged(kThickness);
    ASSERT_EQ(factor(host.comp).xS, 4);
    const int64_t touches = host.state.activeItemTouches;
    host.setDownGlobals();
    EXPECT_EQ(factor(host.comp).xS, 1);
    EXPECT_EQ(host.state.activeItemTouches, touches);
}

TEST(PremiereParamChanges, TheArrayChangesButNoStreamIsWritten) {
    EffectLog log;
    EffectTestHost premiere;
    premiere.state.applId = PF_APPL_ID_PREMIERE;
    ASSERT_EQ(premiere.applyEffect(), PF_Err_NONE);
    EXPECT_TRUE(premiere.registeredAegpName.empty());
    premiere.clearRecords();
    premiere.set(kCloseEndpoints, 1);
    premiere.setPoint(pointPosition(0), 250, 0);
    premiere.userChanged(pointPosition(0));
    EXPECT_EQ(premiere.last(PF_Cmd_USER_CHANGED_PARAM).param(pointPosition(3)).u.point3d_d.x_value, 250);
    EXPECT_TRUE(premiere.writes.empty());
    EXPECT_EQ(premiere.dynamicFlagChanges, 0);
    EXPECT_EQ(premiere.state.activeItemTouches, 0) << "no Quick Preview in Premiere Pro";
    EXPECT_TRUE(log.contains("CurveUI: writePoint skipped missing plugin id"));
}

}  // namespace
}  // namespace zephrin::test
