#include "effect/editor/drawbot_canvas.h"

#include <algorithm>
#include <cmath>

namespace zephrin {
namespace {

// The editor's labels stay readable and fit the 20-pixel controls within these sizes.
constexpr float kMinFontSize = 9.0f;
constexpr float kMaxFontSize = 12.0f;
constexpr float kFallbackFontSize = 11.0f;
// Labels start this far inside their box.
constexpr double kLabelInset = 6.0;

DRAWBOT_ColorRGBA colorOf(const DrawColor& c) { return DRAWBOT_ColorRGBA{c.red, c.green, c.blue, c.alpha}; }

DRAWBOT_RectF32 rectOf(const EditorBox& box) {
    return DRAWBOT_RectF32{float(box.x), float(box.y), float(box.w), float(box.h)};
}

void fail(DrawbotCanvas& canvas, SPErr err) {
    if (err != 0 && canvas.err == PF_Err_NONE) canvas.err = static_cast<PF_Err>(err);
}

// A supplier object given back when its step ends.
struct HeldObject {
    explicit HeldObject(const DrawbotCanvas& canvasIn) : canvas(canvasIn) {}
    ~HeldObject() {
        if (ref != nullptr) canvas.supplier->ReleaseObject(ref);
    }
    HeldObject(const HeldObject&) = delete;
    HeldObject& operator=(const HeldObject&) = delete;

    const DrawbotCanvas& canvas;
    DRAWBOT_ObjectRef ref = nullptr;
};

bool newPath(DrawbotCanvas& canvas, HeldObject& path) {
    fail(canvas, canvas.supplier->NewPath(canvas.supplierRef, &path.ref));
    return canvas.ok();
}

bool tracePath(DrawbotCanvas& canvas, HeldObject& path, const std::vector<ScreenPoint>& points, bool segments) {
    for (std::size_t i = 0; i < points.size() && canvas.ok(); ++i) {
        const bool move = segments ? i % 2 == 0 : i == 0;
        const float x = float(points[i].x), y = float(points[i].y);
        fail(canvas, move ? canvas.path->MoveTo(path.ref, x, y) : canvas.path->LineTo(path.ref, x, y));
    }
    return canvas.ok();
}

void stroke(DrawbotCanvas& canvas, const DrawColor& color, float width, const std::vector<ScreenPoint>& points,
            bool segments) {
    if (!canvas.ok() || points.size() < 2) return;
    HeldObject pen(canvas), path(canvas);
    const DRAWBOT_ColorRGBA c = colorOf(color);
    fail(canvas, canvas.supplier->NewPen(canvas.supplierRef, &c, width, &pen.ref));
    if (!canvas.ok() || !newPath(canvas, path) || !tracePath(canvas, path, points, segments)) return;
    fail(canvas, canvas.surface->StrokePath(canvas.surfaceRef, pen.ref, path.ref));
}

}  // namespace

DrawbotCanvas openCanvas(HostSuites& suites, PF_ContextH context) {
    DrawbotCanvas canvas;
    const auto& customUi =
        suites.acquire<PF_EffectCustomUISuite1>(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1);
    const auto& draw = suites.acquire<DRAWBOT_DrawbotSuite1>(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
    canvas.supplier = &suites.acquire<DRAWBOT_SupplierSuite1>(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1);
    canvas.surface = &suites.acquire<DRAWBOT_SurfaceSuite1>(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1);
    canvas.path = &suites.acquire<DRAWBOT_PathSuite1>(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1);
    DRAWBOT_DrawRef drawRef = nullptr;
    fail(canvas, customUi.PF_GetDrawingReference(context, &drawRef));
    if (canvas.ok() && drawRef == nullptr) canvas.err = PF_Err_BAD_CALLBACK_PARAM;
    if (!canvas.ok()) return canvas;
    fail(canvas, draw.GetSupplier(drawRef, &canvas.supplierRef));
    if (canvas.ok()) fail(canvas, draw.GetSurface(drawRef, &canvas.surfaceRef));
    if (!canvas.ok()) return canvas;
    DRAWBOT_Boolean supportsText = false;
    canvas.text = canvas.supplier->SupportsText(canvas.supplierRef, &supportsText) == 0 && supportsText;
    float size = 0;
    canvas.fontSize = canvas.supplier->GetDefaultFontSize(canvas.supplierRef, &size) == 0 && std::isfinite(size)
                          ? std::clamp(size, kMinFontSize, kMaxFontSize)
                          : kFallbackFontSize;
    return canvas;
}

void paintRect(DrawbotCanvas& canvas, const DrawColor& color, const EditorBox& box) {
    if (!canvas.ok()) return;
    const DRAWBOT_ColorRGBA c = colorOf(color);
    const DRAWBOT_RectF32 r = rectOf(box);
    fail(canvas, canvas.surface->PaintRect(canvas.surfaceRef, &c, &r));
}

void strokeRect(DrawbotCanvas& canvas, const DrawColor& color, float width, const EditorBox& box) {
    const double l = box.x, t = box.y, r = box.x + box.w, b = box.y + box.h;
    strokePolyline(canvas, color, width, {{l, t}, {r, t}, {r, b}, {l, b}, {l, t}});
}

void strokeSegments(DrawbotCanvas& canvas, const DrawColor& color, float width, const std::vector<ScreenPoint>& ends) {
    stroke(canvas, color, width, ends, true);
}

void strokePolyline(DrawbotCanvas& canvas, const DrawColor& color, float width,
                    const std::vector<ScreenPoint>& points) {
    stroke(canvas, color, width, points, false);
}

void fillPolygon(DrawbotCanvas& canvas, const DrawColor& color, const std::vector<ScreenPoint>& points) {
    if (!canvas.ok() || points.size() < 3) return;
    HeldObject brush(canvas), path(canvas);
    const DRAWBOT_ColorRGBA c = colorOf(color);
    fail(canvas, canvas.supplier->NewBrush(canvas.supplierRef, &c, &brush.ref));
    if (!canvas.ok() || !newPath(canvas, path) || !tracePath(canvas, path, points, false)) return;
    fail(canvas, canvas.path->Close(path.ref));
    if (canvas.ok()) {
        fail(canvas, canvas.surface->FillPath(canvas.surfaceRef, brush.ref, path.ref, kDRAWBOT_FillType_Default));
    }
}

void drawText(DrawbotCanvas& canvas, const DrawColor& color, const std::u16string& text, double x, double y) {
    if (!canvas.ok() || !canvas.text || text.empty()) return;
    HeldObject brush(canvas), font(canvas);
    const DRAWBOT_ColorRGBA c = colorOf(color);
    fail(canvas, canvas.supplier->NewBrush(canvas.supplierRef, &c, &brush.ref));
    if (canvas.ok()) fail(canvas, canvas.supplier->NewDefaultFont(canvas.supplierRef, canvas.fontSize, &font.ref));
    if (!canvas.ok()) return;
    const DRAWBOT_PointF32 origin{float(x), float(y)};
    fail(canvas, canvas.surface->DrawString(canvas.surfaceRef, brush.ref, font.ref,
                                            reinterpret_cast<const DRAWBOT_UTF16Char*>(text.c_str()), &origin,
                                            kDRAWBOT_TextAlignment_Left, kDRAWBOT_TextTruncation_None, 0.0f));
}

void pushClip(DrawbotCanvas& canvas, const EditorBox& box) {
    if (!canvas.ok()) return;
    fail(canvas, canvas.surface->PushStateStack(canvas.surfaceRef));
    if (!canvas.ok()) return;
    const DRAWBOT_Rect32 r{static_cast<A_long>(std::floor(box.x)), static_cast<A_long>(std::floor(box.y)),
                           static_cast<A_long>(std::ceil(box.w)), static_cast<A_long>(std::ceil(box.h))};
    fail(canvas, canvas.surface->Clip(canvas.surfaceRef, canvas.supplierRef, &r));
}

void popState(DrawbotCanvas& canvas) {
    if (!canvas.ok()) return;
    fail(canvas, canvas.surface->PopStateStack(canvas.surfaceRef));
}

void drawLabelledBox(DrawbotCanvas& canvas, const DrawColor& fill, const DrawColor& textColor, const EditorBox& box,
                     const std::u16string& label) {
    paintRect(canvas, fill, box);
    // The baseline a third of the font size below the box's middle centres capitals and CJK alike.
    drawText(canvas, textColor, label, box.x + kLabelInset, box.y + box.h / 2 + canvas.fontSize / 3.0);
}

}  // namespace zephrin
