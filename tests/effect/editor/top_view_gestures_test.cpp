// Gestures in the Top View driven through the host's events: what each one writes, with which reasons
// and in which order, and the edge cases that guard the curve (seam, first and last point, twelve
// points, limits).
#include "effect/editor/top_view_gestures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

#include "effect/editor/gesture_tag.h"
#include "effect/editor/top_view_editor.h"
#include "effect/editor/editor_fixture.h"
#include "host/suites/host_state.h"
#include "host/win32/win32_control.h"

namespace zephrin::test {
namespace {

using namespace param;

std::string at(int position, const char* reason) { return std::to_string(position) + " " + reason; }

std::vector<std::string> rewrite(int count, const char* reason) {
    std::vector<std::string> lines;
    for (int slot = 0; slot < count; ++slot) lines.push_back(at(pointPosition(slot), reason));
    return lines;
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

using TopViewGestures = EditorTest;

TEST_F(TopViewGestures, PointDragWritesItsReasonsInOrderAndKeepsTheGrabOffset) {
    const ScreenPoint start = screenOf(1);
    const std::vector<std::string> trace =
        writeTrace([&] { drag({{start.x + 3, start.y + 2}, {start.x + 23, start.y - 4}, {start.x + 43, start.y - 10}}); });
    EXPECT_EQ(trace, joined({rewrite(4, "begin-point-drag-normalize"),
                             {at(kGeneratedState, "point-drag"), at(pointPosition(1), "point-drag")},
                             {at(kGeneratedState, "point-drag"), at(pointPosition(1), "point-drag")}}));

    // 40 pixels right and 12 up on a 404 x 120 unit square, on a 1000 x 500 layer; the start point
    // travels in the click record to 1e-5 of the unit square.
    const A_FloatPoint3 moved = host.point(pointPosition(1));
    EXPECT_NEAR(moved.x, (1.0 / 3 - 0.5) * 1000 + 40.0 / 404 * 1000, 1e-5 * 1000);
    EXPECT_NEAR(moved.y, 12.0 / 120 * 500, 1e-5 * 500);
    EXPECT_TRUE(log.contains("CurveUI: drag end"));
    EXPECT_TRUE(topViewEditor().selected[1]);
}

TEST_F(TopViewGestures, ClickRecordCarriesTheTagAndTheStartPoint) {
    const ScreenPoint p = screenOf(2);
    const PF_EventExtra answered = click(p.x, p.y);
    const PF_DoClickEventInfo& record = answered.u.do_click;
    EXPECT_EQ(record.send_drag, 1);
    EXPECT_EQ(static_cast<uint32_t>(record.continue_refcon[0]), 0x2a000002u);
    EXPECT_EQ(record.continue_refcon[1], std::lround(p.x));
    EXPECT_EQ(record.continue_refcon[2], std::lround(p.y));
    double nx = 0, ny = 0;
    unpackFixedPair(record.continue_refcon[3], nx, ny);
    EXPECT_NEAR(nx, 2.0 / 3, 1e-5);
    EXPECT_NEAR(ny, 0.5, 1e-5);
    EXPECT_EQ(answered.evt_out_flags, kHandledRepaint);
}

TEST_F(TopViewGestures, OnAClosedCurveTheSeamIsPointOneNeverTheLast) {
    setCount(5);
    closeCurve();
    // The seam copy keeps a long out handle of its own; neither it nor its handles answer clicks.
    host.setPoint(handlePosition(4), 0.2, 0.06, 0);
    const ScreenPoint seam = screenOf(0);
    const PF_EventExtra onSeam = click(seam.x, seam.y);
    EXPECT_EQ(decodeGestureTag(static_cast<uint32_t>(onSeam.u.do_click.continue_refcon[0])).index, 0);
    const PF_EventExtra onCopysHandle = click(seam.x + 0.2 * 404, seam.y);
    EXPECT_EQ(decodeGestureTag(static_cast<uint32_t>(onCopysHandle.u.do_click.continue_refcon[0])).kind,
              GestureKind::BoxSelect);
}

TEST_F(TopViewGestures, AHandleWinsOnlyWhenStrictlyNearerThanThePoint) {
    // Point 2's out handle reaches exactly onto point 3: a tie goes to the point.
    const double gap = 1.0 / 3;
    host.setPoint(handlePosition(1), gap, 0.06, 0);
    const ScreenPoint p = screenOf(2);
    EXPECT_EQ(decodeGestureTag(static_cast<uint32_t>(click(p.x, p.y).u.do_click.continue_refcon[0])).kind,
              GestureKind::Point);
    // Two pixels beyond a default handle's end the handle is nearer than its point.
    const ScreenPoint q = screenOf(0);
    const double handleX = q.x + 0.06 * 404;
    EXPECT_EQ(decodeGestureTag(static_cast<uint32_t>(click(handleX + 2, q.y).u.do_click.continue_refcon[0])).kind,
              GestureKind::OutHandle);
}

TEST_F(TopViewGestures, DraggingAnInHandleLevelStoresTheExplicitZeroMarker) {
    const ScreenPoint p = screenOf(2);
    const double inEnd = p.x - 0.06 * 404;
    const PF_EventExtra last = drag({{inEnd, p.y}, {inEnd - 20, p.y}});
    EXPECT_EQ(last.evt_out_flags, kHandledHandleDrag);
    const A_FloatPoint3 handle = host.point(handlePosition(2));
    EXPECT_EQ(handle.z, 1e-7);
    EXPECT_NEAR(handle.y, 0.06 + 20.0 / 404, 1.0 / 404) << "within the pixel the mouse was rounded to";
    EXPECT_EQ(host.last(PF_Cmd_EVENT).out.out_flags, PF_OutFlag_FORCE_RERENDER);
}

TEST_F(TopViewGestures, DeleteIsRefusedForTheEndsAndShiftsTheRestDown) {
    const ScreenPoint first = screenOf(0), last = screenOf(3);
    EXPECT_TRUE(writeTrace([&] {
                    click(first.x, first.y, PF_Mod_CMD_CTRL_KEY);
                    click(last.x, last.y, PF_Mod_OPT_ALT_KEY);
                }).empty());
    EXPECT_EQ(host.value(kPointCount), 3);

    host.setPoint(pointPosition(2), 100, 30);
    const ScreenPoint second = screenOf(1);
    const std::vector<std::string> trace = writeTrace([&] { click(second.x, second.y, PF_Mod_CMD_CTRL_KEY); });
    EXPECT_EQ(trace, (std::vector<std::string>{
                         at(pointPosition(1), "delete-shift"), at(rotationPosition(1), "delete-shift"),
                         at(handlePosition(1), "delete-shift"), at(pointPosition(2), "delete-shift"),
                         at(rotationPosition(2), "delete-shift"), at(handlePosition(2), "delete-shift"),
                         at(kPointCount, "delete-point"), at(kGeneratedState, "delete-point")}));
    EXPECT_EQ(host.value(kPointCount), 2);
    EXPECT_EQ(host.point(pointPosition(1)).x, 100);
    EXPECT_TRUE(log.contains("CurveUI: delete point"));
}

TEST_F(TopViewGestures, DoubleClickAppendsAPointAndIsRefusedAtTwelve) {
    const EditorLayout l = layout();
    const double x = l.canvas.x + 20, y = l.canvas.y + 10;
    click(x, y, PF_Mod_NONE, 2);
    EXPECT_EQ(host.value(kPointCount), 4);
    const A_FloatPoint3 added = host.point(pointPosition(4));
    const ContentBox box = contentBox(l, topViewEditor());
    EXPECT_NEAR(added.x, ((x - box.left) / box.width - 0.5) * 1000, 1e-9);
    EXPECT_NEAR(added.y, (0.5 - (y - box.top) / box.height) * 500, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: top view double-click add point"));

    setCount(12);
    log.clear();
    click(x, y, PF_Mod_NONE, 2);
    EXPECT_EQ(host.value(kPointCount), 11);
    EXPECT_FALSE(log.contains("CurveUI: top view double-click add point"));
}

TEST_F(TopViewGestures, AddingToAClosedCurveMovesTheSeamCopyToTheEnd) {
    closeCurve();
    host.setPoint(pointPosition(0), -300, 40);
    host.setPoint(pointPosition(3), -300, 40);
    const EditorLayout l = layout();
    const std::vector<std::string> trace = writeTrace([&] { click(l.canvas.x + 30, l.canvas.y + 5, PF_Mod_NONE, 2); });
    EXPECT_EQ(trace.front(), at(pointPosition(4), "top-view-add-shift"));
    EXPECT_EQ(host.value(kPointCount), 4);
    EXPECT_EQ(host.point(pointPosition(4)).x, -300);
    EXPECT_NE(host.point(pointPosition(3)).x, -300);
}

TEST_F(TopViewGestures, ResizeStopsAtTheControlLimitsAndIsSentToTheHost) {
    const EditorBox grip = layout().grip;
    drag({{grip.x + 5, grip.y + 5}, {grip.x - 600, grip.y - 600}});
    EXPECT_EQ(topViewEditor().viewWidth, 280);
    EXPECT_EQ(topViewEditor().viewHeight, 130);
    ASSERT_NE(host.lastUi(kTopView), nullptr);
    EXPECT_EQ(host.lastUi(kTopView)->def.ui_width, 280);
    EXPECT_EQ(host.lastUi(kTopView)->def.ui_height, 130);
    drag({{grip.x + 5, grip.y + 5}, {grip.x + 3000, grip.y + 3000}});
    EXPECT_EQ(topViewEditor().viewWidth, 1400);
    EXPECT_EQ(topViewEditor().viewHeight, 900);
    EXPECT_TRUE(log.contains("CurveUI: resize end"));
}

TEST_F(TopViewGestures, LoopSpeedDragNeedsAWholePixelAndAClosedCurve) {
    const EditorBox field = layout().speedField;
    const ScreenPoint inField{field.x + 10, field.y + 5};
    drag({inField, {inField.x + 40, inField.y}});
    EXPECT_EQ(host.value(kLoopMoveSpeed), 0) << "open curves have no loop speed";

    closeCurve();
    EXPECT_TRUE(writeTrace([&] { drag({inField, {inField.x, inField.y + 3}}); }).empty());
    EXPECT_TRUE(topViewEditor().inlineEditActive);
    drag({inField, {inField.x + 40, inField.y}});
    EXPECT_EQ(host.value(kLoopMoveSpeed), 10);
    drag({inField, {inField.x + 4000, inField.y}});
    EXPECT_EQ(host.value(kLoopMoveSpeed), 100);
    EXPECT_TRUE(log.contains("CurveUI: loop speed drag end"));
}

TEST_F(TopViewGestures, BoxSelectionThenDraggingOneSelectedPointMovesThemAll) {
    const EditorLayout l = layout();
    const ScreenPoint p1 = screenOf(1), p2 = screenOf(2);
    drag({{p1.x - 10, l.canvas.y + 2}, {p2.x + 10, l.canvas.y + l.canvas.h - 2}});
    EXPECT_TRUE(log.contains("CurveUI: box select end"));
    EXPECT_FALSE(topViewEditor().selected[0]);
    EXPECT_TRUE(topViewEditor().selected[1]);
    EXPECT_TRUE(topViewEditor().selected[2]);

    const A_FloatPoint3 before0 = host.point(pointPosition(0)), before1 = host.point(pointPosition(1));
    const A_FloatPoint3 before2 = host.point(pointPosition(2));
    drag({p2, {p2.x + 0, p2.y - 24}});
    EXPECT_EQ(host.point(pointPosition(0)).y, before0.y);
    EXPECT_NEAR(host.point(pointPosition(1)).y, before1.y + 100, 1e-9);
    EXPECT_NEAR(host.point(pointPosition(2)).y, before2.y + 100, 1e-9);
    EXPECT_TRUE(log.contains("CurveUI: multi point drag end"));
}

TEST_F(TopViewGestures, CloseToggleRaisesTheCountAndMatchesTheEnds) {
    setCount(3);
    const EditorBox toggle = layout().closeToggle;
    const std::vector<std::string> trace = writeTrace([&] { click(toggle.x + 5, toggle.y + 5); });
    EXPECT_EQ(trace.front(), at(kCloseEndpoints, "top-view-close-on"));
    EXPECT_EQ(host.value(kCloseEndpoints), 1);
    EXPECT_EQ(host.value(kPointCount), 3);
    EXPECT_EQ(host.point(pointPosition(3)).x, host.point(pointPosition(0)).x);
    EXPECT_TRUE(log.contains("CurveUI: top view close endpoints on"));
    EXPECT_TRUE(host.last(PF_Cmd_EVENT).out.out_flags & PF_OutFlag_FORCE_RERENDER);
}

TEST_F(TopViewGestures, AClickOnTheToolbarRowOutsideItsControlsChangesNothing) {
    const EditorLayout l = layout();
    const std::vector<std::string> trace =
        writeTrace([&] { click(l.speedArea.x + l.speedArea.w - 2, l.toolbar.y + l.toolbar.h - 1); });
    EXPECT_TRUE(trace.empty());
    EXPECT_FALSE(topViewEditor().inlineEditActive);
}

TEST_F(TopViewGestures, ShapeMenuAppliesTheChosenPresetOnAClosedCurve) {
    const EditorBox shape = layout().shapeButton;
    win32::queuePopupChoice(param::kShapeCircle);
    click(shape.x + 5, shape.y + 5);
    EXPECT_EQ(win32::trackedMenus().size(), 0u) << "the shape menu needs a closed curve";

    closeCurve();
    win32::queuePopupChoice(param::kShapeCircle);
    click(shape.x + 5, shape.y + 5);
    ASSERT_EQ(win32::trackedMenus().size(), 1u);
    EXPECT_EQ(win32::trackedMenus()[0].items[3].text, u"Circle");
    EXPECT_EQ(host.value(kShape), param::kShapeCircle);
    EXPECT_EQ(host.value(kPointCount), 11);
    EXPECT_TRUE(log.contains("CurveUI: shape preset popup applied"));

    // Editing by hand ends the preset.
    const ScreenPoint p = screenOf(3);
    drag({p, {p.x + 5, p.y}});
    EXPECT_EQ(host.value(kShape), param::kShapeNone);
}

TEST_F(TopViewGestures, CopyAndPasteCarryTheCurveToAnotherInstance) {
    frame.right = frame.left + 480;  // wide enough for Copy and Paste
    closeCurve();
    host.setPoint(pointPosition(1), 120, -80);
    const EditorLayout l = layout();
    click(l.copyButton.x + 5, l.copyButton.y + 5);
    EXPECT_TRUE(log.contains("CurveUI: copy top view curve shape"));

    host::EffectInstance& other = host.addInstance(host.comp, 1);
    host::EffectInstance* first = host.instance;
    host.instance = &other;
    const std::vector<std::string> trace = writeTrace([&] { click(l.pasteButton.x + 5, l.pasteButton.y + 5); });
    host.instance = first;
    EXPECT_EQ(trace[0], at(kCloseEndpoints, "top-view-paste-close"));
    EXPECT_EQ(trace[1], at(kPointCount, "top-view-paste-count"));
    EXPECT_EQ(trace[2], at(pointPosition(0), "top-view-paste-point"));
    EXPECT_EQ(trace[3], at(rotationPosition(0), "top-view-paste-twist"));
    EXPECT_EQ(trace[4], at(handlePosition(0), "top-view-paste-handle"));
    EXPECT_EQ(trace.back(), at(kGeneratedState, "top-view-paste"));
    EXPECT_EQ(other.streams[pointPosition(1)].value.three_d.x, 120);
    EXPECT_EQ(other.streams[kCloseEndpoints].value.one_d, 1);
}

TEST_F(TopViewGestures, PasteBeforeCopyAndCopyOutsideFreeModeDoNothing) {
    frame.right = frame.left + 480;
    const EditorLayout l = layout();
    EXPECT_TRUE(writeTrace([&] { click(l.pasteButton.x + 5, l.pasteButton.y + 5); }).empty());
    host.set(kMode, kModePathSelect);
    click(l.copyButton.x + 5, l.copyButton.y + 5);
    EXPECT_FALSE(topViewEditor().clipboardFilled);
}

TEST_F(TopViewGestures, GeneratePointsButtonsLayOutTheFlatLine) {
    setCount(6);
    host.setPoint(pointPosition(2), 5, 77);
    click(generateFrame.left + 10, generateFrame.top + 5, PF_Mod_NONE, 1, kGeneratePoints);
    EXPECT_TRUE(log.contains("CurveUI: inline generate button"));
    EXPECT_EQ(host.value(kPointCount), 5);
    EXPECT_EQ(host.point(pointPosition(2)).y, 0);
    click(generateFrame.right - 10, generateFrame.top + 5, PF_Mod_NONE, 1, kGeneratePoints);
    EXPECT_TRUE(log.contains("CurveUI: inline reset button"));
    EXPECT_EQ(host.value(kPointCount), 3);
}

TEST_F(TopViewGestures, DragStartsQuickPreviewAtQuarterResolution) {
    const ScreenPoint p = screenOf(1);
    drag({p, {p.x + 10, p.y}});
    const auto factor = host.state.compDownsample.find(&host.comp);
    ASSERT_NE(factor, host.state.compDownsample.end());
    EXPECT_EQ(factor->second.xS, 4);
    EXPECT_EQ(factor->second.yS, 4);
    topViewEditor().quickPreview = QuickPreviewRecord{};
}

TEST_F(TopViewGestures, CursorsNameWhatAClickWouldDo) {
    frame.right = frame.left + 480;
    const EditorLayout l = layout();
    EXPECT_EQ(hover(l.grip.x + 7, l.grip.y + 7).u.adjust_cursor.set_cursor, PF_Cursor_SCALE_DIAG_LR);
    EXPECT_EQ(hover(l.copyButton.x + 7, l.copyButton.y + 7).u.adjust_cursor.set_cursor, PF_Cursor_FINGER_POINTER);
    EXPECT_EQ(hover(l.pasteButton.x + 7, l.pasteButton.y + 7).u.adjust_cursor.set_cursor, PF_Cursor_NONE);
    EXPECT_EQ(hover(l.canvas.x + 7, l.canvas.y + 7).u.adjust_cursor.set_cursor, PF_Cursor_NONE);
    EXPECT_EQ(hover(generateFrame.left + 10, generateFrame.top + 5, kGeneratePoints).u.adjust_cursor.set_cursor,
              PF_Cursor_FINGER_POINTER);
}

TEST_F(TopViewGestures, EveryHandledClickInvalidatesTheControlFrame) {
    const ScreenPoint p = screenOf(1);
    click(p.x, p.y);
    std::lock_guard<std::mutex> lock(host.state.mutex);
    const std::vector<PF_Rect>& invalidated = host.state.uiContexts[context].invalidated;
    ASSERT_EQ(invalidated.size(), 1u);
    EXPECT_EQ(invalidated[0].left, frame.left);
    EXPECT_EQ(invalidated[0].bottom, frame.bottom);
}

}  // namespace
}  // namespace zephrin::test
