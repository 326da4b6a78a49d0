#include "effect/editor/top_view_gestures.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/stored_points.h"
#include "effect/control_points.h"
#include "effect/editor/curve_clipboard.h"
#include "effect/editor/editor_input.h"
#include "effect/editor/editor_points.h"
#include "effect/editor/gesture_tag.h"
#include "effect/editor/popup_menu.h"
#include "effect/editor/shape_presets.h"
#include "effect/editor/top_view_editor.h"
#include "effect/editor/window_hooks.h"
#include "effect/localized_texts.h"
#include "effect/param_changes.h"
#include "effect/param_table.h"
#include "effect/quick_preview.h"
#include "effect/stream_writing.h"
#include "effect/ui_visibility.h"

namespace zephrin {
namespace {

using namespace param;

constexpr PF_OutFlags kRerender = PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI;

// Toolbar items narrower than these are too small to click.
constexpr double kMinClipboardButtonWidth = 44.0;
constexpr double kMinShapeButtonWidth = 58.0;
constexpr double kMinSpeedAreaWidth = 86.0;
// The speed field's click area reaches this far left of and above the drawn field.
constexpr double kSpeedFieldGrow = 4.0;
constexpr double kSpeedFieldHitWidth = 72.0;
constexpr double kSpeedFieldHitHeight = 20.0;
// Pixels of horizontal drag per unit of loop speed: a quarter unit per pixel.
constexpr double kLoopSpeedPerPixel = 0.25;
constexpr double kMinLoopSpeedDrag = 1.0;
// A handle dragged nearly vertical keeps this much horizontal length, so that its slope stays finite.
constexpr double kMinHandleDx = 0.01;
constexpr double kSlopeDxEpsilon = 1e-6;
constexpr double kSlopeDyEpsilon = 1e-6;

std::string number(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

void log(const std::string& line) {
    if (effectLogEnabled()) logEffect(line);
}

struct Mouse {
    double x = 0, y = 0;
};

Mouse mouseOf(const PF_EventExtra& event) {
    return Mouse{double(event.u.do_click.screen_point.h), double(event.u.do_click.screen_point.v)};
}

// The view of one event: its layout and the curve's unit square on screen.
struct View {
    EditorLayout layout;
    ContentBox box;
};

View viewOf(const PF_EventExtra& event) {
    View view;
    view.layout = layoutTopView(frameBox(event.effect_win.current_frame));
    view.box = contentBox(view.layout, topViewEditor());
    return view;
}

A_FloatPoint3 pointValue(const EffectCall& call, int position) {
    const PF_Point3DDef& p = paramAt(call, position).u.point3d_d;
    return A_FloatPoint3{p.x_value, p.y_value, p.z_value};
}

// Moves a point to a normalized position, keeping its z, and writes it.
void movePoint(EffectCall& call, int slot, double nx, double ny, const char* reason) {
    const A_FloatPoint stored = storedOfNormalized(nx, ny, layerSizeOf(call));
    const double z = paramAt(call, pointPosition(slot)).u.point3d_d.z_value;
    storePointParam(call, pointPosition(slot), A_FloatPoint3{stored.x, stored.y, z}, reason);
}

void generatedOff(EffectCall& call, const char* reason) {
    clearGeneratedState(call);
    writeOneD(call, kGeneratedState, 0, reason);
}

void rewriteActivePoints(EffectCall& call, int count, const char* reason) {
    for (int slot = 0; slot < count; ++slot) writePointParam(call, pointPosition(slot), reason, false);
}

// Points still stored in percent or layer-default form move to the centred form (inside the unit
// square), so that every later edit writes one convention.
void normalizeStoredPoints(EffectCall& call, int count) {
    const LayerSize size = layerSizeOf(call);
    std::vector<Vec3> stored;
    std::vector<int32_t> indices;
    for (int i = 0; i < count; ++i) {
        const A_FloatPoint3 p = pointValue(call, pointPosition(i));
        stored.push_back(Vec3{p.x, p.y, p.z});
        indices.push_back(i);
    }
    const ListConventions conventions = listConventions(stored, indices, count, size.width, size.height);
    bool converted = false;
    for (int i = 0; i < count; ++i) {
        const PointConvention convention = classifyPoint(stored[i], i, count, i == 0, i == count - 1,
                                                         conventions.allLegacy, conventions.allLayerDefault,
                                                         size.width, size.height);
        if (convention == PointConvention::center) continue;
        const NormalisedPosition position = normalisePosition(stored[i], convention, size.width, size.height);
        const double nx = std::clamp(std::isfinite(position.nx) ? position.nx : 0.5, 0.0, 1.0);
        const double ny = std::clamp(std::isfinite(position.yCentered) ? position.yCentered / 2 + 0.5 : 0.5, 0.0, 1.0);
        const A_FloatPoint centred = storedOfNormalized(nx, ny, size);
        PF_ParamDef& def = paramAt(call, pointPosition(i));
        def.u.point3d_d.x_value = centred.x;
        def.u.point3d_d.y_value = centred.y;
        markChanged(def);
        converted = true;
    }
    if (converted) rewriteActivePoints(call, count, "click-normalize");
}

PF_Err refreshVisibility(EffectCall& call) {
    applyModeVisibility(call);
    return refreshPoints(call);
}

// ---- Toolbar ----

PF_Err toggleClose(EffectCall& call) {
    const bool on = !closedCurve(call);
    const char* reason = on ? "top-view-close-on" : "top-view-close-off";
    storeOneD(call, kCloseEndpoints, on ? 1 : 0, reason);
    generatedOff(call, reason);
    if (on) {
        raiseToFourPoints(call, "top-view-close-min");
        syncClosedEnds(call, activePointCount(call), -1, "top-view-close-sync");
    }
    const PF_Err err = refreshVisibility(call);
    logEffect(on ? "CurveUI: top view close endpoints on" : "CurveUI: top view close endpoints off");
    call.out_data->out_flags |= kRerender;
    return err;
}

PF_Err shapePopup(EffectCall& call) {
    const std::vector<PopupMenuItem> items = choiceItems(wideText(TextId::ShapeChoices, chineseSelected(call)));
    const UINT last = static_cast<UINT>(items.size());
    const int current = popupValue(call, kShape);
    const UINT_PTR chosen = trackPopupMenuAtCursor(items, 1, last, static_cast<UINT>(current));
    if (chosen < 1 || chosen > last) return PF_Err_NONE;
    const int preset = static_cast<int>(chosen);
    storeOneD(call, kShape, preset, "top-view-shape-preset");
    if (preset != kShapeNone) applyShapePreset(call, preset, "top-view-shape-preset");
    const PF_Err err = refreshPoints(call);
    logEffect("CurveUI: shape preset popup applied");
    call.out_data->out_flags |= kRerender;
    return err;
}

void startSpeedEdit(EffectCall& call, PF_EventExtra& event, const Mouse& mouse) {
    const double speed = floatValue(call, kLoopMoveSpeed);
    openInlineEdit(topViewEditor(), speed);
    installMessageHook(topViewEditor());
    beginGesture(event.u.do_click, GestureTag{GestureKind::LoopSpeed, 0}, mouse.x, mouse.y, speed, 0);
    logEffect("CurveUI: loop speed inline edit start");
}

// True when the click fell in the toolbar row (handled or not).
bool toolbarClick(EffectCall& call, PF_EventExtra& event, const EditorLayout& layout, const Mouse& mouse,
                  PF_Err& err) {
    if (!layout.hasToolbar || !insideBox(layout.toolbar, mouse.x, mouse.y)) return false;
    const bool closed = closedCurve(call);
    if (layout.copyButton.w >= kMinClipboardButtonWidth && insideBox(layout.copyButton, mouse.x, mouse.y)) {
        copyCurveShape(call);
        call.out_data->out_flags |= PF_OutFlag_REFRESH_UI;
    } else if (layout.pasteButton.w >= kMinClipboardButtonWidth && insideBox(layout.pasteButton, mouse.x, mouse.y)) {
        if (pasteCurveShape(call)) call.out_data->out_flags |= kRerender;
    } else if (layout.shapeButton.w >= kMinShapeButtonWidth && insideBox(layout.shapeButton, mouse.x, mouse.y)) {
        if (closed) err = shapePopup(call);
    } else if (layout.speedArea.w >= kMinSpeedAreaWidth &&
               insideBox(EditorBox{layout.speedField.x - kSpeedFieldGrow, layout.speedField.y - kSpeedFieldGrow,
                                   kSpeedFieldHitWidth + kSpeedFieldGrow, kSpeedFieldHitHeight + kSpeedFieldGrow},
                         mouse.x, mouse.y)) {
        if (closed) startSpeedEdit(call, event, mouse);
    } else if (insideBox(layout.closeToggle, mouse.x, mouse.y)) {
        err = toggleClose(call);
    }
    return true;
}

// ---- Canvas: delete, add, drags ----

// Moves the point, rotation and handle of slot `from` into slot `to`.
void moveSlot(EffectCall& call, int from, int to, const char* reason) {
    storePointParam(call, pointPosition(to), pointValue(call, pointPosition(from)), reason);
    storePointParam(call, rotationPosition(to), pointValue(call, rotationPosition(from)), reason);
    storePointParam(call, handlePosition(to), pointValue(call, handlePosition(from)), reason);
}

void deletePoint(EffectCall& call, int index, int count) {
    clearPointExpressions(call, count);
    for (int slot = index; slot + 1 < count; ++slot) moveSlot(call, slot + 1, slot, "delete-shift");
    storeOneD(call, kPointCount, count - 2, "delete-point");
    syncClosedEnds(call, count - 1, -1, "delete-point-close");
    clearShapePreset(call, "delete-point-clear-shape");
    generatedOff(call, "delete-point");
    logEffect("CurveUI: delete point");
    call.out_data->out_flags |= kRerender;
}

void addPoint(EffectCall& call, const ContentBox& box, const Mouse& mouse, int count) {
    TopViewEditor& editor = topViewEditor();
    clearPointExpressions(call, count + 1);
    clearGeneratedState(call);
    clearShapePreset(call, "top-view-add-clear-shape");
    editor.selected.fill(false);
    int slot = count;
    if (closedCurve(call) && count >= 3) {
        moveSlot(call, count - 1, count, "top-view-add-shift");
        slot = count - 1;
    }
    const ScreenPoint at = toNormalized(box, mouse.x, mouse.y);
    const A_FloatPoint stored = storedOfNormalized(at.x, at.y, layerSizeOf(call));
    storePointParam(call, pointPosition(slot), A_FloatPoint3{stored.x, stored.y, 0}, "top-view-double-click-add");
    storePointParam(call, rotationPosition(slot), A_FloatPoint3{0, 0, 0}, "top-view-double-click-add");
    storePointParam(call, handlePosition(slot), A_FloatPoint3{kDefaultHandleLength, kDefaultHandleLength, 0},
                    "top-view-double-click-add");
    storeOneD(call, kPointCount, count, "top-view-double-click-add");
    syncClosedEnds(call, count + 1, -1, "top-view-add-close");
    writeOneD(call, kGeneratedState, 0, "top-view-double-click-add");
    logEffect("CurveUI: top view double-click add point");
    call.out_data->out_flags |= kRerender;
}

void beginPointDrag(EffectCall& call, PF_EventExtra& event, const std::vector<EditorPoint>& points,
                    const EditorHit& hit, const Mouse& mouse) {
    TopViewEditor& editor = topViewEditor();
    const int count = static_cast<int>(points.size());
    const bool closed = closedCurve(call);
    rewriteActivePoints(call, count, "begin-point-drag-normalize");
    const int selectedCount = static_cast<int>(std::count(editor.selected.begin(), editor.selected.end(), true));
    const bool multi = editor.selected[hit.point] && selectedCount > 1;
    if (multi) {
        for (int slot = 0; slot < kPointSlots; ++slot) {
            if (slot >= count || isSeamCopy(slot, count, closed)) editor.selected[slot] = false;
            if (!editor.selected[slot]) continue;
            editor.multiDragX[slot] = points[slot].x;
            editor.multiDragY[slot] = points[slot].y;
        }
        beginGesture(event.u.do_click, GestureTag{GestureKind::MultiPoint, hit.point}, mouse.x, mouse.y, 0, 0);
    } else {
        editor.selected.fill(false);
        editor.selected[hit.point] = true;
        const EditorPoint& p = points[hit.point];
        beginGesture(event.u.do_click, GestureTag{GestureKind::Point, hit.point}, mouse.x, mouse.y, p.x, p.y);
    }
    startQuickPreview(call);
    log("CurveUI: begin point drag point=" + std::to_string(hit.point) + " mode=" + (multi ? "multi" : "single") +
        " d2=" + number(hit.pointD2));
}

void beginHandleDrag(EffectCall& call, PF_EventExtra& event, int count, const EditorHit& hit, const Mouse& mouse) {
    clearPointExpressions(call, count);
    rewriteActivePoints(call, count, "begin-handle-drag-normalize");
    const GestureKind kind = hit.handleSide > 0 ? GestureKind::OutHandle : GestureKind::InHandle;
    beginGesture(event.u.do_click, GestureTag{kind, hit.handlePoint}, mouse.x, mouse.y, 0, 0);
    startQuickPreview(call);
    logEffect("CurveUI: begin handle drag");
}

bool deleteModeClick(const PF_EventExtra& event) {
    const bool rightButton = GetKeyState(VK_RBUTTON) < 0;
    return rightButton || (event.u.do_click.modifiers & (PF_Mod_CMD_CTRL_KEY | PF_Mod_OPT_ALT_KEY)) != 0;
}

PF_Err canvasClick(EffectCall& call, PF_EventExtra& event, const View& view, const Mouse& mouse) {
    normalizeStoredPoints(call, std::clamp(activePointCount(call), 2, kPointSlots));
    const std::vector<EditorPoint> points = buildEditorPoints(call);
    const int count = static_cast<int>(points.size());
    const bool closed = closedCurve(call);
    const EditorHit hit = hitTest(points, view.box, closed, mouse.x, mouse.y);
    log("CurveUI: click index=" + std::to_string(event.effect_win.index) + " x=" + number(mouse.x) +
        " y=" + number(mouse.y) + " active=" + std::to_string(count));

    if (deleteModeClick(event)) {
        if (hit.pointHit() && hit.point > 0 && hit.point < count - 1) deletePoint(call, hit.point, count);
        return PF_Err_NONE;
    }
    if (event.u.do_click.num_clicks == 2) {
        if (count < kPointSlots) addPoint(call, view.box, mouse, count);
        return PF_Err_NONE;
    }
    if (hit.handleHit()) {
        beginHandleDrag(call, event, count, hit, mouse);
        return PF_Err_NONE;
    }
    if (hit.pointHit()) {
        beginPointDrag(call, event, points, hit, mouse);
        return PF_Err_NONE;
    }
    if (insideBox(view.layout.canvas, mouse.x, mouse.y)) {
        TopViewEditor& editor = topViewEditor();
        editor.boxSelecting = true;
        editor.box = EditorRect{mouse.x, mouse.y, mouse.x, mouse.y};
        beginGesture(event.u.do_click, GestureTag{GestureKind::BoxSelect, 0}, mouse.x, mouse.y, 0, 0);
        logEffect("CurveUI: begin box select");
    }
    return PF_Err_NONE;
}

// ---- Drags ----

void dragPan(const GestureStart& start, const Mouse& mouse) {
    TopViewEditor& editor = topViewEditor();
    setPan(editor, start.startA + (mouse.x - start.clickX), start.startB + (mouse.y - start.clickY));
    log("CurveUI: pan top view x=" + number(editor.panX) + " y=" + number(editor.panY));
}

void dragResize(EffectCall& call, const GestureStart& start, const Mouse& mouse) {
    TopViewEditor& editor = topViewEditor();
    const double width = std::round(start.startA + (mouse.x - start.clickX));
    const double height = std::round(start.startB + (mouse.y - start.clickY));
    if (!std::isfinite(width) || !std::isfinite(height)) return;
    setEditorViewSize(editor, static_cast<int>(std::clamp(width, double(kTopViewMinWidth), double(kTopViewMaxWidth))),
                      static_cast<int>(std::clamp(height, double(kTopViewMinHeight), double(kTopViewMaxHeight))));
    sendParamUI(call, kTopView, uiFlagsFor(kTopView, visibilityStateOf(call)));
    log("CurveUI: resize top view w=" + std::to_string(editor.viewWidth) + " h=" + std::to_string(editor.viewHeight));
}

void dragLoopSpeed(EffectCall& call, const GestureStart& start, const Mouse& mouse) {
    if (!closedCurve(call)) return;
    const double dx = mouse.x - start.clickX;
    if (!(std::abs(dx) >= kMinLoopSpeedDrag)) return;
    double speed = std::clamp(start.startA + kLoopSpeedPerPixel * dx, -kLoopSpeedLimit, kLoopSpeedLimit);
    if (!std::isfinite(speed)) speed = 0;
    storeOneD(call, kLoopMoveSpeed, speed, "top-view-loop-speed");
    TopViewEditor& editor = topViewEditor();
    if (editor.inlineEditActive) editor.inlineText = formatSpeed(speed);
    log("CurveUI: loop speed drag speed=" + number(speed));
    call.out_data->out_flags |= kRerender;
}

void dragPoint(EffectCall& call, const GestureStart& start, int slot, const ContentBox& box, const Mouse& mouse) {
    const double nx = start.startA + (mouse.x - start.clickX) / box.width;
    const double ny = start.startB - (mouse.y - start.clickY) / box.height;
    clearShapePreset(call, "point-drag-clear-shape");
    generatedOff(call, "point-drag");
    movePoint(call, slot, nx, ny, "point-drag");
    syncClosedEnds(call, activePointCount(call), slot, "point-drag-close");
    const PF_Point3DDef& p = paramAt(call, pointPosition(slot)).u.point3d_d;
    log("CurveUI: point drag point=" + std::to_string(slot) + " nx=" + number(nx) + " ny=" + number(ny) +
        " x=" + number(p.x_value) + " y=" + number(p.y_value));
    call.out_data->out_flags |= kRerender;
}

void dragHandle(EffectCall& call, const GestureTag& tag, const EditorPoint& point, const ContentBox& box,
                const Mouse& mouse) {
    const bool out = tag.kind == GestureKind::OutHandle;
    const ScreenPoint at = toNormalized(box, mouse.x, mouse.y);
    double dx = out ? at.x - point.x : point.x - at.x;
    const double dy = out ? at.y - point.y : point.y - at.y;
    if (std::abs(dx) < kMinHandleDx && std::abs(dy) > kSlopeDyEpsilon) dx = dx < 0 ? -kMinHandleDx : kMinHandleDx;
    const double slope = std::abs(dx) >= kSlopeDxEpsilon ? dy / dx : (out ? point.slope : point.inSlope);
    clearShapePreset(call, "handle-drag-clear-shape");
    const int slot = tag.index;
    A_FloatPoint3 handle = pointValue(call, handlePosition(slot));
    if (out) {
        A_FloatPoint3 rotation = pointValue(call, rotationPosition(slot));
        const double stored = slope * kStoredSlopeScale;
        rotation.x = std::isfinite(stored) ? stored : 0;
        handle.x = dx;
        storePointParam(call, rotationPosition(slot), rotation, "handle-drag");
    } else {
        const double stored = slope * kStoredSlopeScale;
        handle.z = (!std::isfinite(stored) || std::abs(stored) < kUnsetSlopeMagnitude) ? kExplicitZeroSlope : stored;
        handle.y = std::isfinite(dx) ? dx : kDefaultHandleLength;
    }
    storePointParam(call, handlePosition(slot), handle, "handle-drag");
    generatedOff(call, "handle-drag");
    log("CurveUI: handle drag point=" + std::to_string(slot) + " mode=" + (out ? "out" : "in") + " handle=(" +
        number(at.x) + "," + number(at.y) + ") stored_dx=" + number(dx) + " slope=" + number(slope));
    call.out_data->out_flags |= PF_OutFlag_FORCE_RERENDER;
}

void dragBox(const std::vector<EditorPoint>& points, bool closed, const GestureStart& start, const ContentBox& box,
             const Mouse& mouse) {
    TopViewEditor& editor = topViewEditor();
    const double left = std::min(start.clickX, mouse.x), right = std::max(start.clickX, mouse.x);
    const double top = std::min(start.clickY, mouse.y), bottom = std::max(start.clickY, mouse.y);
    editor.boxSelecting = true;
    editor.box = EditorRect{start.clickX, start.clickY, mouse.x, mouse.y};
    editor.selected.fill(false);
    int selected = 0;
    const int count = static_cast<int>(points.size());
    for (const EditorPoint& p : points) {
        if (isSeamCopy(p.index, count, closed)) continue;
        const ScreenPoint s = toScreen(box, p.x, p.y);
        if (s.x >= left && s.x <= right && s.y >= top && s.y <= bottom) {
            editor.selected[p.index] = true;
            ++selected;
        }
    }
    log("CurveUI: box select count=" + std::to_string(selected) + " rect=(" + number(left) + "," + number(top) + "," +
        number(right) + "," + number(bottom) + ")");
}

void dragMultiPoint(EffectCall& call, const GestureStart& start, const ContentBox& box, const Mouse& mouse) {
    const double dx = (mouse.x - start.clickX) / box.width;
    const double dy = -(mouse.y - start.clickY) / box.height;
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    TopViewEditor& editor = topViewEditor();
    const int count = activePointCount(call);
    clearShapePreset(call, "multi-point-drag-clear-shape");
    int moved = 0;
    for (int slot = 0; slot < std::min(count, kPointSlots); ++slot) {
        if (!editor.selected[slot]) continue;
        movePoint(call, slot, editor.multiDragX[slot] + dx, editor.multiDragY[slot] + dy, "multi-point-drag");
        ++moved;
    }
    generatedOff(call, "multi-point-drag");
    syncClosedEnds(call, count, -1, "multi-point-drag-close");
    log("CurveUI: multi point drag selected=" + std::to_string(moved) + " dx=" + number(dx) + " dy=" + number(dy));
    call.out_data->out_flags |= kRerender;
}

const char* endLine(GestureKind kind) {
    switch (kind) {
        case GestureKind::Resize:
            return "CurveUI: resize end";
        case GestureKind::Pan:
            return "CurveUI: pan end";
        case GestureKind::LoopSpeed:
            return "CurveUI: loop speed drag end";
        case GestureKind::BoxSelect:
            return "CurveUI: box select end";
        case GestureKind::MultiPoint:
            return "CurveUI: multi point drag end";
        default:
            return "CurveUI: drag end";
    }
}

bool isPointGesture(GestureKind kind) {
    return kind == GestureKind::Point || kind == GestureKind::OutHandle || kind == GestureKind::InHandle;
}

}  // namespace

PF_Err onTopViewClick(EffectCall& call, PF_EventExtra& event) {
    const View view = viewOf(event);
    const Mouse mouse = mouseOf(event);
    TopViewEditor& editor = topViewEditor();
    event.evt_out_flags = kHandledRepaint;
    if (editor.panning && insideBox(view.layout.frame, mouse.x, mouse.y)) {
        beginGesture(event.u.do_click, GestureTag{GestureKind::Pan, 0}, mouse.x, mouse.y, editor.panX, editor.panY);
        logEffect("CurveUI: begin pan top view");
        return PF_Err_NONE;
    }
    if (insideBox(view.layout.grip, mouse.x, mouse.y)) {
        beginGesture(event.u.do_click, GestureTag{GestureKind::Resize, 0}, mouse.x, mouse.y, editor.viewWidth,
                     editor.viewHeight);
        logEffect("CurveUI: begin resize top view");
        return PF_Err_NONE;
    }
    PF_Err err = PF_Err_NONE;
    if (toolbarClick(call, event, view.layout, mouse, err)) return err;
    return canvasClick(call, event, view, mouse);
}

PF_Err onTopViewDrag(EffectCall& call, PF_EventExtra& event) {
    PF_DoClickEventInfo& click = event.u.do_click;
    GestureStart start = readGesture(click);
    const View view = viewOf(event);
    const Mouse mouse = mouseOf(event);
    event.evt_out_flags = kHandledRepaint;
    if (start.tag.kind == GestureKind::None) {
        logEffect("CurveUI: drag ignored no state/no hit");
        endGesture(click);
        return PF_Err_NONE;
    }
    std::vector<EditorPoint> points;
    if (isPointGesture(start.tag.kind) || start.tag.kind == GestureKind::BoxSelect) points = buildEditorPoints(call);
    const int count = static_cast<int>(points.size());
    if (isPointGesture(start.tag.kind) && (start.tag.index < 0 || start.tag.index >= count)) {
        // The curve lost points since the click (an undo, another edit): take whatever is under the click.
        const EditorHit hit = hitTest(points, view.box, closedCurve(call), start.clickX, start.clickY);
        if (!hit.pointHit()) {
            logEffect("CurveUI: drag ignored invalid state point");
            endGesture(click);
            return PF_Err_NONE;
        }
        start.tag = GestureTag{GestureKind::Point, hit.point};
        start.startA = points[hit.point].x;
        start.startB = points[hit.point].y;
        beginGesture(click, start.tag, start.clickX, start.clickY, start.startA, start.startB);
        log("CurveUI: drag recovered point=" + std::to_string(hit.point) + " d2=" + number(hit.pointD2));
    }
    switch (start.tag.kind) {
        case GestureKind::Pan:
            dragPan(start, mouse);
            break;
        case GestureKind::Resize:
            dragResize(call, start, mouse);
            break;
        case GestureKind::LoopSpeed:
            dragLoopSpeed(call, start, mouse);
            break;
        case GestureKind::Point:
            dragPoint(call, start, start.tag.index, view.box, mouse);
            break;
        case GestureKind::OutHandle:
        case GestureKind::InHandle:
            dragHandle(call, start.tag, points[start.tag.index], view.box, mouse);
            event.evt_out_flags = kHandledHandleDrag;
            break;
        case GestureKind::BoxSelect:
            dragBox(points, closedCurve(call), start, view.box, mouse);
            break;
        case GestureKind::MultiPoint:
            dragMultiPoint(call, start, view.box, mouse);
            break;
        case GestureKind::None:
            break;
    }
    if (click.last_time) {
        logEffect(endLine(start.tag.kind));
        if (start.tag.kind == GestureKind::BoxSelect) topViewEditor().boxSelecting = false;
        endGesture(click);
    }
    return PF_Err_NONE;
}

PF_Err onGeneratePointsClick(EffectCall& call, PF_EventExtra& event) {
    const GenerateButtons buttons = generateButtons(frameBox(event.effect_win.current_frame));
    const Mouse mouse = mouseOf(event);
    const bool generate = insideBox(buttons.generate, mouse.x, mouse.y);
    if (!generate && !insideBox(buttons.reset, mouse.x, mouse.y)) return PF_Err_NONE;
    event.evt_out_flags = kHandledRepaint;
    return generatePoints(call, !generate);
}

}  // namespace zephrin
