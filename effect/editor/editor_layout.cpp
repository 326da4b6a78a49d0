#include "effect/editor/editor_layout.h"

#include <algorithm>
#include <cmath>

namespace zephrin {
namespace {

// The toolbar and canvas stand this far inside the frame; items sit 2 pixels below the toolbar's top.
constexpr double kInset = 8.0;
constexpr double kItemTop = 10.0;
constexpr double kItemGap = 10.0;
constexpr double kMaxToolbarHeight = 28.0;
constexpr double kMinItemHeight = 18.0;
constexpr double kMinInnerWidth = 20.0;
constexpr double kMinCanvasSize = 20.0;
// Space between the toolbar and the canvas.
constexpr double kToolbarGap = 6.0;
constexpr double kClipboardButtonWidth = 74.0;
// The Copy button's left edge stands this far left of the Paste button's.
constexpr double kCopyOffset = 84.0;
constexpr double kSpeedLabelWidth = 42.0;
constexpr double kSpeedFieldWidth = 72.0;
constexpr double kGripSize = 14.0;
constexpr double kGripInset = 22.0;
// Zoom steps closer than this leave the view as it is.
constexpr double kZoomEpsilon = 1e-6;

constexpr double kGenerateMinWidth = 132.0;
constexpr double kGenerateButtonGap = 8.0;
constexpr double kGenerateMinButtonWidth = 44.0;
constexpr double kGenerateMinButtonHeight = 16.0;

double clampPan(double value) { return std::clamp(value, -kEditorPanLimit, kEditorPanLimit); }

}  // namespace

EditorBox frameBox(const PF_Rect& rect) {
    return EditorBox{double(rect.left), double(rect.top), double(rect.right - rect.left),
                     double(rect.bottom - rect.top)};
}

EditorLayout layoutTopView(const EditorBox& frame) {
    EditorLayout l;
    l.frame = frame;
    const double x = frame.x, y = frame.y, w = frame.w, h = frame.h;
    const double inner = std::max(w - 2 * kInset, kMinInnerWidth);
    const double toolbarHeight = std::min(std::max(h - 2 * kInset, 0.0), kMaxToolbarHeight);
    const double itemHeight = std::max(toolbarHeight - 4, kMinItemHeight);
    const double itemY = y + kItemTop;
    l.grip = EditorBox{x + w - kGripInset, y + h - kGripInset, kGripSize, kGripSize};
    if (h < kToolbarMinFrameHeight) {
        l.canvas = EditorBox{x + kInset, y + kInset, inner, std::max(h - 2 * kInset, kMinCanvasSize)};
        return l;
    }
    l.hasToolbar = true;
    l.toolbar = EditorBox{x + kInset, y + kInset, inner, toolbarHeight};
    l.closeToggle = EditorBox{x + kInset, itemY, std::clamp(0.22 * inner, 78.0, 132.0), itemHeight};
    l.shapeButton = EditorBox{l.closeToggle.x + l.closeToggle.w + kItemGap, itemY,
                              std::clamp(0.2 * inner, 74.0, 116.0), itemHeight};
    const double speedX = l.shapeButton.x + l.shapeButton.w + kItemGap;
    double right = x + kInset + inner;
    if (inner >= kClipboardButtonsMinWidth) {
        l.pasteButton = EditorBox{x + kInset + inner - kClipboardButtonWidth, itemY, kClipboardButtonWidth, itemHeight};
        l.copyButton = EditorBox{l.pasteButton.x - kCopyOffset, itemY, kClipboardButtonWidth, itemHeight};
        right = l.copyButton.x - kItemGap;
    }
    l.speedArea = EditorBox{speedX, itemY, std::max(right - speedX, 0.0), itemHeight};
    l.speedField = EditorBox{speedX + kSpeedLabelWidth, itemY, kSpeedFieldWidth, itemHeight};
    l.canvas = EditorBox{x + kInset, y + kInset + toolbarHeight + kToolbarGap, inner,
                         std::max(h - toolbarHeight - 22, kMinCanvasSize)};
    return l;
}

double effectiveZoom(const TopViewEditor& editor) {
    if (!std::isfinite(editor.zoom)) return kEditorDefaultZoom;
    return std::clamp(editor.zoom, kEditorMinZoom, kEditorMaxZoom);
}

ContentBox contentBox(const EditorLayout& layout, const TopViewEditor& editor) {
    const double z = effectiveZoom(editor);
    const double canvasW = std::max(layout.canvas.w, 1.0);
    const double canvasH = std::max(layout.canvas.h, 1.0);
    ContentBox box;
    box.width = kContentWidth * z;
    box.height = kContentHeight * z;
    box.left = layout.canvas.x + (canvasW - box.width) / 2 + editor.panX;
    box.top = layout.canvas.y + (canvasH - box.height) / 2 + editor.panY;
    return box;
}

bool zoomAt(TopViewEditor& editor, const EditorLayout& layout, double mx, double my, double factor) {
    if (!std::isfinite(factor)) factor = 1.0;
    const ContentBox box = contentBox(layout, editor);
    const double u = (mx - box.left) / std::max(box.width, 1.0);
    const double v = 1.0 - (my - box.top) / std::max(box.height, 1.0);
    const double z = effectiveZoom(editor);
    const double next = std::clamp(z * factor, kEditorMinZoom, kEditorMaxZoom);
    if (std::abs(next - z) <= kZoomEpsilon) return false;
    const double width = kContentWidth * next;
    const double height = kContentHeight * next;
    editor.zoom = next;
    setPan(editor, mx - width * u - ((layout.canvas.w - width) / 2 + layout.canvas.x),
           my - (1.0 - v) * height - ((layout.canvas.h - height) / 2 + layout.canvas.y));
    return true;
}

void setPan(TopViewEditor& editor, double x, double y) {
    if (std::isfinite(x)) editor.panX = clampPan(x);
    if (std::isfinite(y)) editor.panY = clampPan(y);
}

GenerateButtons generateButtons(const EditorBox& frame) {
    const double bw = std::max((std::max(frame.w - 4, kGenerateMinWidth) - kGenerateButtonGap) / 2,
                               kGenerateMinButtonWidth);
    const double bh = std::max(frame.h - 4, kGenerateMinButtonHeight);
    GenerateButtons buttons;
    buttons.generate = EditorBox{frame.x + 2, frame.y + 2, bw, bh};
    const double resetX = frame.x + 2 + bw + kGenerateButtonGap;
    buttons.reset = EditorBox{resetX, frame.y + 2, std::max(frame.x + frame.w - 2 - resetX, kGenerateMinButtonWidth), bh};
    return buttons;
}

}  // namespace zephrin
