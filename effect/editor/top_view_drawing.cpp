#include "effect/editor/top_view_drawing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "effect/control_points.h"
#include "effect/editor/drawbot_canvas.h"
#include "effect/editor/editor_input.h"
#include "effect/editor/editor_palette.h"
#include "effect/editor/editor_points.h"
#include "effect/editor/editor_texts.h"
#include "effect/editor/window_hooks.h"

namespace zephrin {
namespace {

using namespace palette;

// Grid lines every tenth of the unit square; edges within this of a line count as on it.
constexpr double kGridStep = 0.1;
constexpr double kGridTolerance = 1e-9;
// However far the view is panned or zoomed out, a grid never needs more lines than this.
constexpr long kMaxGridLines = 4000;
constexpr double kPointSize = 6.0;
constexpr double kSelectedPointSize = 10.0;
constexpr double kSelectedPointCore = 4.0;
constexpr double kHandleSize = 5.0;
constexpr double kIconInset = 5.0;
constexpr double kLabelAfterIcon = 8.0;

EditorBox centredSquare(const ScreenPoint& at, double size) {
    return EditorBox{at.x - size / 2, at.y - size / 2, size, size};
}

ScreenPoint bezier(const ScreenPoint& p0, const ScreenPoint& p1, const ScreenPoint& p2, const ScreenPoint& p3,
                   double t) {
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

void drawToolbar(DrawbotCanvas& canvas, const EffectCall& call, const EditorLayout& layout) {
    const TopViewEditor& editor = topViewEditor();
    const bool chinese = chineseSelected(call);
    const bool closed = closedCurve(call);
    paintRect(canvas, kToolbar, layout.toolbar);
    paintRect(canvas, closed ? kCloseOn : kCloseOff, layout.closeToggle);
    paintRect(canvas, closed ? kButton : kButtonDisabled, layout.shapeButton);
    paintRect(canvas, kSpeedArea, layout.speedArea);
    paintRect(canvas, closed ? kSpeedField : kSpeedFieldDisabled, layout.speedField);

    // The close toggle's icon: a loop, closed or open at its right end.
    const EditorBox& toggle = layout.closeToggle;
    const double iconSize = toggle.h - 2 * kIconInset;
    const double ix = toggle.x + kIconInset, iy = toggle.y + kIconInset;
    std::vector<ScreenPoint> loop{{ix + iconSize, iy + iconSize * 0.2}, {ix + iconSize * 0.5, iy},
                                  {ix, iy + iconSize * 0.5}, {ix + iconSize * 0.5, iy + iconSize},
                                  {ix + iconSize, iy + iconSize * 0.8}};
    if (closed) loop.push_back(loop.front());
    strokePolyline(canvas, kText, kCloseIconPen, loop);
    // The shape button's icon: a square outline.
    const EditorBox& shape = layout.shapeButton;
    const DrawColor& shapeText = closed ? kText : kTextDisabled;
    strokeRect(canvas, shapeText, kShapeIconPen,
               EditorBox{shape.x + kIconInset, shape.y + kIconInset, iconSize, iconSize});

    const double labelX = kIconInset + iconSize + kLabelAfterIcon;
    const double baseline = toggle.y + toggle.h / 2 + canvas.fontSize / 3.0;
    drawText(canvas, kText, editorText(closed ? EditorText::CloseOn : EditorText::CloseOff, chinese),
             toggle.x + labelX, baseline);
    drawText(canvas, shapeText, shapeLabel(popupValue(call, param::kShape), chinese), shape.x + labelX, baseline);
    drawText(canvas, closed ? kText : kTextDisabled, editorText(EditorText::Speed, chinese),
             layout.speedArea.x + kIconInset, baseline);
    const std::u16string speed =
        editor.inlineEditActive ? editor.inlineText : formatSpeed(floatValue(call, param::kLoopMoveSpeed));
    const DrawColor& speedColor = editor.inlineEditActive ? kAccent : (closed ? kText : kTextDisabled);
    drawText(canvas, speedColor, speed, layout.speedField.x + kIconInset, baseline);
    if (layout.copyButton.w > 0) {
        drawLabelledBox(canvas, kButton, kText, layout.copyButton, editorText(EditorText::Copy, chinese));
        drawLabelledBox(canvas, kButton, editor.clipboardFilled ? kText : kTextDisabled, layout.pasteButton,
                        editorText(EditorText::Paste, chinese));
    }
}

// Grid lines at every multiple of a tenth over the visible canvas, so the grid runs on beyond the
// unit square.
void drawGrid(DrawbotCanvas& canvas, const EditorBox& area, const ContentBox& box) {
    const ScreenPoint topLeft = toNormalized(box, area.x, area.y);
    const ScreenPoint bottomRight = toNormalized(box, area.x + area.w, area.y + area.h);
    const auto lineRange = [](double a, double b, long& first, long& last) {
        first = static_cast<long>(std::floor(std::min(a, b) / kGridStep + kGridTolerance));
        last = static_cast<long>(std::ceil(std::max(a, b) / kGridStep - kGridTolerance));
        return last - first <= kMaxGridLines;
    };
    std::vector<ScreenPoint> lines;
    long first = 0, last = 0;
    if (lineRange(topLeft.x, bottomRight.x, first, last)) {
        for (long i = first; i <= last; ++i) {
            const double x = toScreen(box, double(i) * kGridStep, 0).x;
            lines.push_back({x, area.y});
            lines.push_back({x, area.y + area.h});
        }
    }
    if (lineRange(bottomRight.y, topLeft.y, first, last)) {
        for (long i = first; i <= last; ++i) {
            const double y = toScreen(box, 0, double(i) * kGridStep).y;
            lines.push_back({area.x, y});
            lines.push_back({area.x + area.w, y});
        }
    }
    strokeSegments(canvas, kGrid, kGridPen, lines);
    const double flat = toScreen(box, 0, 0.5).y;
    strokeSegments(canvas, kFlatLine, kFlatLinePen, {{area.x, flat}, {area.x + area.w, flat}});
}

void drawCurve(DrawbotCanvas& canvas, const std::vector<EditorPoint>& points, bool closed, const ContentBox& box) {
    const int n = static_cast<int>(points.size());
    std::vector<ScreenPoint> samples;
    const auto span = [&](const EditorPoint& a, const EditorPoint& b) {
        const ScreenPoint p0 = toScreen(box, a.x, a.y);
        const ScreenPoint out = outHandleOf(a), in = inHandleOf(b);
        const ScreenPoint p1 = toScreen(box, out.x, out.y), p2 = toScreen(box, in.x, in.y);
        const ScreenPoint p3 = toScreen(box, b.x, b.y);
        for (int s = samples.empty() ? 0 : 1; s < kCurveSamplesPerSpan; ++s) {
            samples.push_back(bezier(p0, p1, p2, p3, double(s) / (kCurveSamplesPerSpan - 1)));
        }
    };
    for (int i = 0; i + 1 < n; ++i) span(points[i], points[i + 1]);
    if (closed && n >= 3) span(points[n - 1], points[0]);
    strokePolyline(canvas, kCurve, kCurvePen, samples);
}

void drawPoints(DrawbotCanvas& canvas, const std::vector<EditorPoint>& points, bool closed, const ContentBox& box) {
    const TopViewEditor& editor = topViewEditor();
    const int n = static_cast<int>(points.size());
    for (const EditorPoint& p : points) {
        if (isSeamCopy(p.index, n, closed)) continue;
        const ScreenPoint at = toScreen(box, p.x, p.y);
        if (editor.selected[p.index]) {
            paintRect(canvas, kAccent, centredSquare(at, kSelectedPointSize));
            paintRect(canvas, kCurve, centredSquare(at, kSelectedPointCore));
        } else {
            paintRect(canvas, kCurve, centredSquare(at, kPointSize));
        }
        for (const ScreenPoint& end : {outHandleOf(p), inHandleOf(p)}) {
            const ScreenPoint handle = toScreen(box, end.x, end.y);
            strokeSegments(canvas, kHandleLine, kThinPen, {at, handle});
            paintRect(canvas, kCurve, centredSquare(handle, kHandleSize));
        }
    }
}

void drawGrip(DrawbotCanvas& canvas, const EditorBox& grip) {
    std::vector<ScreenPoint> lines;
    for (double k : {2.0, 6.0, 10.0}) {
        lines.push_back({grip.x + grip.w, grip.y + k});
        lines.push_back({grip.x + k, grip.y + grip.h});
    }
    strokeSegments(canvas, kGrip, kThinPen, lines);
}

}  // namespace

PF_Err drawTopView(EffectCall& call, const PF_EventExtra& event) {
    DrawbotCanvas canvas = openCanvas(call.suites, event.contextH);
    const EditorLayout layout = layoutTopView(frameBox(event.effect_win.current_frame));
    paintRect(canvas, kPanel, layout.frame);
    if (!canvas.ok()) return canvas.err;

    TopViewEditor& editor = topViewEditor();
    const EditorBox& f = layout.frame;
    editor.frameRect = EditorRect{f.x, f.y, f.x + f.w, f.y + f.h};
    const EditorBox& c = layout.canvas;
    editor.canvasRect = EditorRect{c.x, c.y, c.x + c.w, c.y + c.h};
    editor.drawn = true;
    installMouseHook(editor);

    if (layout.hasToolbar) drawToolbar(canvas, call, layout);
    const ContentBox box = contentBox(layout, editor);
    const std::vector<EditorPoint> points = buildEditorPoints(call);
    const bool closed = closedCurve(call);
    pushClip(canvas, layout.canvas);
    drawGrid(canvas, layout.canvas, box);
    drawCurve(canvas, points, closed, box);
    if (editor.boxSelecting) {
        const EditorRect& r = editor.box;
        const EditorBox selection{std::min(r.left, r.right), std::min(r.top, r.bottom), std::abs(r.right - r.left),
                                  std::abs(r.bottom - r.top)};
        paintRect(canvas, kSelectionFill, selection);
        strokeRect(canvas, kSelectionOutline, kThinPen, selection);
    }
    drawPoints(canvas, points, closed, box);
    popState(canvas);
    drawGrip(canvas, layout.grip);
    return canvas.err;
}

PF_Err drawGeneratePoints(EffectCall& call, const PF_EventExtra& event) {
    DrawbotCanvas canvas = openCanvas(call.suites, event.contextH);
    const GenerateButtons buttons = generateButtons(frameBox(event.effect_win.current_frame));
    const bool chinese = chineseSelected(call);
    drawLabelledBox(canvas, kButton, kText, buttons.generate, editorText(EditorText::Generate, chinese));
    drawLabelledBox(canvas, kButton, kText, buttons.reset, editorText(EditorText::Reset, chinese));
    return canvas.err;
}

PF_Err drawPopupControl(EffectCall& call, const PF_EventExtra& event, const std::u16string& shown) {
    DrawbotCanvas canvas = openCanvas(call.suites, event.contextH);
    const EditorBox frame = frameBox(event.effect_win.current_frame);
    drawLabelledBox(canvas, kButton, kText, frame, shown);
    // The popup's arrow at the right end.
    constexpr double kArrowWidth = 8.0, kArrowInset = 8.0;
    const double right = frame.x + frame.w - kArrowInset, middle = frame.y + frame.h / 2;
    fillPolygon(canvas, kText,
                {{right - kArrowWidth, middle - kArrowWidth / 4}, {right, middle - kArrowWidth / 4},
                 {right - kArrowWidth / 2, middle + kArrowWidth / 4}});
    return canvas.err;
}

}  // namespace zephrin
