// The Effect Controls panel driving the real effect plug-in: controls laid out at the sizes the effect
// registered, drawn through the Cairo surface, and mouse, wheel and key gestures delivered as the host
// delivers them (events with the click record handed back, the button state, the effect's window hooks).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/effect_contract.h"
#include "host/custom_ui/control_events.h"
#include "host/custom_ui/controls_panel.h"
#include "host/custom_ui/custom_ui_suites.h"
#include "host/host_session.h"
#include "host/scene_file.h"
#include "host/win32/win32_control.h"

namespace zephrin::host {
namespace {

namespace fs = std::filesystem;
using namespace zephrin::param;

// The bundled banner: four points, "Point 2" at (-85, -120) on a 512-pixel-wide card.
const fs::path kBanner = fs::path(ZEPHRIN_SOURCE_DIR) / "examples" / "bent_banner.json";
constexpr size_t kBannerLayer = 2;
// Where "Point 2" shows in the Top View at its registered 420 x 170 with the default view.
constexpr PF_Point kPoint2{143, 147};

// A gesture's record is valid when its tag carries the editor's marker bits.
constexpr A_intptr_t kTagMask = 0x3e000000;
constexpr A_intptr_t kTagMarker = 0x2a000000;

PF_ContextH toContext(const ControlsPanel& panel) { return reinterpret_cast<PF_ContextH>(panel.context); }

class ControlEvents : public ::testing::Test {
protected:
    void SetUp() override {
        win32::resetPlatform();
        comp = loadSceneFile(kBanner);
        host = openPluginHost(ZEPHRIN_PLUGIN_DIR);
        ASSERT_NE(loadedEffect(*host), nullptr);
        prepareSceneEffects(*host, comp);
        instance = effectInstances(*host, comp, kBannerLayer).front();
        panel = openControlsPanel(*host, *instance);
        drawing = drawControlsPanel(*host, panel);
    }
    void TearDown() override {
        closeControlsPanel(*host, panel);
        host.reset();
        win32::resetPlatform();
    }
    PF_Point inTopView(PF_Point local) const {
        const ControlSlot* slot = findControl(panel, kTopView);
        return PF_Point{slot->frame.left + local.h, slot->frame.top + local.v};
    }
    AEGP_StreamVal value(int32_t position) { return effectStreamValue(*host, *instance, position); }

    Composition comp;
    PluginHostPtr host;
    EffectInstance* instance = nullptr;
    ControlsPanel panel;
    PanelDrawing drawing;
};

TEST_F(ControlEvents, CustomControlsStandAtTheirRegisteredSizes) {
    struct Expected {
        int32_t position, width, height;
    };
    for (const Expected& e : {Expected{kLanguage, 116, 20}, Expected{kMode, 116, 20},
                              Expected{kGeneratePoints, 260, 20}, Expected{kTopView, 420, 170}}) {
        const ControlSlot* slot = findControl(panel, e.position);
        ASSERT_NE(slot, nullptr) << e.position;
        EXPECT_EQ(slot->frame.right - slot->frame.left, e.width) << slot->label;
        EXPECT_EQ(slot->frame.bottom - slot->frame.top, e.height) << slot->label;
    }
    // Rows never overlap, top to bottom in parameter order.
    for (size_t i = 1; i < panel.controls.size(); ++i) {
        EXPECT_GE(panel.controls[i].frame.top, panel.controls[i - 1].frame.bottom);
        EXPECT_GT(panel.controls[i].position, panel.controls[i - 1].position);
    }
}

TEST_F(ControlEvents, DrawingReleasesEverythingTheEffectMade) {
    EXPECT_EQ(drawing.err, PF_Err_NONE);
    EXPECT_GT(drawing.accounting.objectsMade, 0);
    EXPECT_EQ(drawing.accounting.liveObjects, 0);
    EXPECT_EQ(drawing.accounting.stackDepth, 0);
    EXPECT_EQ(drawing.accounting.unbalancedPops, 0);
    bool closeLabel = false;
    for (const DrawnString& s : drawing.strings) closeLabel = closeLabel || s.utf8 == "Close Ends OFF";
    EXPECT_TRUE(closeLabel);

    DrawbotOptions noText;
    noText.supportsText = false;
    const PanelDrawing plain = drawControlsPanel(*host, panel, noText);
    EXPECT_EQ(plain.err, PF_Err_NONE);
    EXPECT_TRUE(plain.strings.empty());
    EXPECT_EQ(plain.accounting.liveObjects, 0);
    EXPECT_GT(plain.accounting.objectsMade, 0);  // the curve, points and grid are still drawn
}

TEST_F(ControlEvents, DrawingReferenceExistsOnlyDuringADraw) {
    DRAWBOT_DrawRef ref = reinterpret_cast<DRAWBOT_DrawRef>(0x1);
    EXPECT_NE(pfEffectCustomUiSuite1().PF_GetDrawingReference(toContext(panel), &ref), PF_Err_NONE);
    EXPECT_EQ(ref, nullptr);
}

TEST_F(ControlEvents, DraggingAPointRoundTripsTheClickRecordAndMovesItsStream) {
    const AEGP_StreamVal before = value(kFirstPoint + 1);
    ControlEvent click;
    click.position = kTopView;
    click.point = inTopView(kPoint2);
    const ControlEventResult pressed = sendControlEvent(*host, panel, click);
    ASSERT_EQ(pressed.err, PF_Err_NONE);
    EXPECT_TRUE(pressed.sendDrag);
    EXPECT_EQ(pressed.refcon[0] & kTagMask, kTagMarker);
    EXPECT_EQ(pressed.eventOutFlags, PF_EO_HANDLED_EVENT | PF_EO_ALWAYS_UPDATE | PF_EO_UPDATE_NOW);
    EXPECT_GE(pressed.invalidations, 1u);

    ControlEvent drag = click;
    drag.type = PF_Event_DRAG;
    drag.point = inTopView(PF_Point{kPoint2.h, kPoint2.v - 27});
    drag.refcon = pressed.refcon;
    const ControlEventResult moved = sendControlEvent(*host, panel, drag);
    ASSERT_EQ(moved.err, PF_Err_NONE);
    EXPECT_EQ(moved.refcon, pressed.refcon);  // the gesture continues on the record the host handed back
    drag.lastTime = true;
    drag.refcon = moved.refcon;
    const ControlEventResult released = sendControlEvent(*host, panel, drag);
    EXPECT_EQ(released.err, PF_Err_NONE);
    EXPECT_EQ(released.refcon[0], 0);  // the last drag ends the gesture

    const AEGP_StreamVal after = value(kFirstPoint + 1);
    EXPECT_NEAR(after.three_d.x, before.three_d.x, 0.5);
    EXPECT_LT(after.three_d.y, before.three_d.y + 200);
    EXPECT_GT(after.three_d.y, before.three_d.y + 20);  // 27 pixels up the view is y up, toward the top
}

TEST_F(ControlEvents, RightButtonComesThroughTheButtonStateAndDeletes) {
    const double countBefore = value(kPointCount).one_d;
    const ControlEventResult result =
        pressAndDrag(*host, panel, kTopView, {inTopView(kPoint2)}, MouseButton::Right);
    EXPECT_EQ(result.err, PF_Err_NONE);
    EXPECT_EQ(value(kPointCount).one_d, countBefore - 1);
    EXPECT_EQ(GetKeyState(VK_RBUTTON), 0);  // let go after the gesture
}

TEST_F(ControlEvents, WheelAndMiddleButtonReachTheEffectOnlyOverTheTopView) {
    EXPECT_TRUE(turnWheel(*host, panel, inTopView(PF_Point{200, 100}), 1));
    const ControlSlot* language = findControl(panel, kLanguage);
    EXPECT_FALSE(turnWheel(*host, panel, PF_Point{language->frame.left + 5, language->frame.top + 5}, 1));

    const size_t redrawsBefore = win32::invalidationCount(panel.window);
    EXPECT_TRUE(middleDrag(*host, panel, {inTopView(PF_Point{200, 100}), inTopView(PF_Point{230, 110})}));
    EXPECT_GT(win32::invalidationCount(panel.window), redrawsBefore);
    EXPECT_EQ(win32::captureWindow(), nullptr);  // the pan let go of the mouse at the button's release
}

TEST_F(ControlEvents, TypedSpeedReachesTheFieldOnceAndCommitsOnEnter) {
    // Close the curve (the speed field only opens on a closed one), then open the field.
    ASSERT_EQ(pressAndDrag(*host, panel, kTopView, {inTopView(PF_Point{40, 22})}).err, PF_Err_NONE);
    ASSERT_EQ(value(kCloseEndpoints).one_d, 1.0);
    drawControlsPanel(*host, panel);
    ASSERT_EQ(pressAndDrag(*host, panel, kTopView, {inTopView(PF_Point{270, 22})}).err, PF_Err_NONE);
    // Each key goes through the message hook or as a key event, never both: "-" twice keeps one sign,
    // and doubled digits would make 2255.
    EXPECT_EQ(typeText(*host, panel, u"--25").err, PF_Err_NONE);
    EXPECT_EQ(typeKey(*host, panel, VK_RETURN, 0, PF_ControlCode_Return).err, PF_Err_NONE);
    EXPECT_EQ(value(kLoopMoveSpeed).one_d, -25.0);
}

TEST_F(ControlEvents, ResizingTheTopViewGivesItANewFrameInThePanel) {
    const ControlSlot* topView = findControl(panel, kTopView);
    const PF_Point grip{topView->frame.right - 15, topView->frame.bottom - 15};
    ASSERT_NE(findControl(panel, kPathLayerPicker), nullptr);
    const int32_t pathLayerTop = findControl(panel, kPathLayerPicker)->frame.top;
    ASSERT_EQ(pressAndDrag(*host, panel, kTopView, {grip, PF_Point{grip.h + 40, grip.v + 30}}).err, PF_Err_NONE);
    // The size the effect sent with PF_UpdateParamUI is the control's frame from now on.
    topView = findControl(panel, kTopView);
    EXPECT_EQ(topView->frame.right - topView->frame.left, 460);
    EXPECT_EQ(topView->frame.bottom - topView->frame.top, 200);
    // The control below moves down by the growth.
    EXPECT_EQ(findControl(panel, kPathLayerPicker)->frame.top, pathLayerTop + 30);
}

TEST_F(ControlEvents, CursorOverTheResizeGripIsTheDiagonalScale) {
    const ControlSlot* topView = findControl(panel, kTopView);
    const PF_Point grip{topView->frame.right - 15, topView->frame.bottom - 15};
    EXPECT_EQ(hoverControl(*host, panel, grip).cursor, PF_Cursor_SCALE_DIAG_LR);
    // Between the controls there is nothing to ask.
    EXPECT_EQ(hoverControl(*host, panel, PF_Point{2, 2}).cursor, PF_Cursor_NONE);
}

}  // namespace
}  // namespace zephrin::host
