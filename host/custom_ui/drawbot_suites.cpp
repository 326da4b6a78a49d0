#include "host/custom_ui/drawbot_suites.h"

#include <cmath>
#include <string>

#include "common/utf8.h"
#include "host/custom_ui/drawbot_registry.h"
#include "sdk/A.h"

namespace zephrin::host {
namespace {

constexpr SPErr kBadReference = A_Err_PARAMETER;

// The longest string DrawString reads; a missing terminator stops here.
constexpr size_t kMaxStringUnits = 4096;

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

// What a text too wide for its truncation width ends with.
constexpr const char* kEllipsis = "\u2026";

// Finds the canvas behind a draw, supplier or surface reference and counts the call; the injected failure
// answers before anything is drawn.
template <typename Body>
SPErr onCanvas(const void* ref, Body&& body) {
    DrawbotRegistry& registry = drawbotRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.canvases.find(reinterpret_cast<uintptr_t>(ref));
    if (found == registry.canvases.end()) return kBadReference;
    DrawbotCanvas& canvas = *found->second;
    ++canvas.accounting.calls;
    if (canvas.accounting.calls == canvas.options.failCallNumber) {
        ++canvas.accounting.failedCalls;
        return kDrawbotCallFailed;
    }
    return body(canvas);
}

DrawbotObject* objectOf(DrawbotCanvas& canvas, const void* ref, DrawbotObjectKind kind) {
    auto found = canvas.objects.find(reinterpret_cast<uintptr_t>(ref));
    if (found == canvas.objects.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

// Objects carry no canvas reference in the calls that take only them (path building, retain, release).
template <typename Body>
SPErr onObject(const void* ref, DrawbotObjectKind kind, Body&& body) {
    DrawbotRegistry& registry = drawbotRegistry();
    DrawbotCanvas* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.objectOwners.find(reinterpret_cast<uintptr_t>(ref));
        if (found == registry.objectOwners.end()) return kBadReference;
        owner = found->second;
    }
    return onCanvas(reinterpret_cast<const void*>(owner->drawRef), [&](DrawbotCanvas& canvas) -> SPErr {
        DrawbotObject* object = objectOf(canvas, ref, kind);
        return object != nullptr ? body(canvas, *object) : kBadReference;
    });
}

template <typename Ref>
SPErr makeObject(DrawbotCanvas& canvas, DrawbotObject object, Ref* out) {
    DrawbotRegistry& registry = drawbotRegistry();  // its mutex is held by onCanvas
    const uintptr_t ref = newDrawbotRef(registry);
    canvas.objects[ref] = std::move(object);
    registry.objectOwners[ref] = &canvas;
    ++canvas.accounting.objectsMade;
    ++canvas.accounting.liveObjects;
    *out = reinterpret_cast<Ref>(ref);
    return kSPNoError;
}

bool finite(float value) { return std::isfinite(value); }

bool validColor(const DRAWBOT_ColorRGBA* color) {
    return color != nullptr && finite(color->red) && finite(color->green) && finite(color->blue) &&
           finite(color->alpha);
}

void setColor(cairo_t* cr, const DRAWBOT_ColorRGBA& color) {
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
}

void replayPath(cairo_t* cr, const std::vector<DrawbotPathOp>& ops) {
    cairo_new_path(cr);
    for (const DrawbotPathOp& op : ops) {
        switch (op.kind) {
            case DrawbotPathOp::MoveTo:
                cairo_move_to(cr, op.x[0], op.y[0]);
                break;
            case DrawbotPathOp::LineTo:
                cairo_line_to(cr, op.x[0], op.y[0]);
                break;
            case DrawbotPathOp::CurveTo:
                cairo_curve_to(cr, op.x[0], op.y[0], op.x[1], op.y[1], op.x[2], op.y[2]);
                break;
            case DrawbotPathOp::Close:
                cairo_close_path(cr);
                break;
        }
    }
}

std::string utf8Of(const DRAWBOT_UTF16Char* text) {
    std::string out;
    for (size_t i = 0; i < kMaxStringUnits && text[i] != 0; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

// Drops whole UTF-8 sequences from the end until the text with an ellipsis fits.
std::string truncatedToWidth(cairo_t* cr, std::string text, double width) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    if (extents.x_advance <= width) return text;
    while (!text.empty()) {
        do {
            text.pop_back();
        } while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80);
        if (!text.empty()) text.pop_back();
        std::string candidate = text + kEllipsis;
        cairo_text_extents(cr, candidate.c_str(), &extents);
        if (extents.x_advance <= width) return candidate;
    }
    return kEllipsis;
}

// ---- Draw suite ----

SPErr getSupplier(DRAWBOT_DrawRef drawRef, DRAWBOT_SupplierRef* out) {
    if (out == nullptr) return kBadReference;
    return onCanvas(drawRef, [&](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.drawRef != reinterpret_cast<uintptr_t>(drawRef)) return kBadReference;
        *out = reinterpret_cast<DRAWBOT_SupplierRef>(canvas.supplierRef);
        return kSPNoError;
    });
}

SPErr getSurface(DRAWBOT_DrawRef drawRef, DRAWBOT_SurfaceRef* out) {
    if (out == nullptr) return kBadReference;
    return onCanvas(drawRef, [&](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.drawRef != reinterpret_cast<uintptr_t>(drawRef)) return kBadReference;
        *out = reinterpret_cast<DRAWBOT_SurfaceRef>(canvas.surfaceRef);
        return kSPNoError;
    });
}

// ---- Supplier suite ----

template <typename Body>
SPErr onSupplier(DRAWBOT_SupplierRef ref, Body&& body) {
    return onCanvas(ref, [&](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.supplierRef != reinterpret_cast<uintptr_t>(ref)) return kBadReference;
        return body(canvas);
    });
}

SPErr newPen(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* color, float size, DRAWBOT_PenRef* out) {
    if (out == nullptr || !validColor(color) || !finite(size) || size < 0) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) {
        DrawbotObject pen;
        pen.kind = DrawbotObjectKind::Pen;
        pen.color = *color;
        pen.size = size;
        return makeObject(canvas, std::move(pen), out);
    });
}

SPErr newBrush(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* color, DRAWBOT_BrushRef* out) {
    if (out == nullptr || !validColor(color)) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) {
        DrawbotObject brush;
        brush.kind = DrawbotObjectKind::Brush;
        brush.color = *color;
        return makeObject(canvas, std::move(brush), out);
    });
}

SPErr supportsText(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out) {
    if (out == nullptr) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) -> SPErr {
        *out = canvas.options.supportsText ? 1 : 0;
        return kSPNoError;
    });
}

SPErr getDefaultFontSize(DRAWBOT_SupplierRef supplier, float* out) {
    if (out == nullptr) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) -> SPErr {
        *out = canvas.options.defaultFontSize;
        return kSPNoError;
    });
}

SPErr newDefaultFont(DRAWBOT_SupplierRef supplier, float size, DRAWBOT_FontRef* out) {
    if (out == nullptr || !finite(size) || size <= 0) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) -> SPErr {
        if (!canvas.options.supportsText) return kDrawbotCallFailed;
        DrawbotObject font;
        font.kind = DrawbotObjectKind::Font;
        font.size = size;
        return makeObject(canvas, std::move(font), out);
    });
}

// Straight or premultiplied 32-bit layouts; the image is copied, so the caller's buffer may go.
SPErr newImageFromBuffer(DRAWBOT_SupplierRef supplier, int width, int height, int rowBytes,
                         DRAWBOT_PixelLayout layout, const void* data, DRAWBOT_ImageRef* out) {
    const bool bgra = layout == kDRAWBOT_PixelLayout_32BGRA_Straight || layout == kDRAWBOT_PixelLayout_32BGRA_Premul;
    const bool argb = layout == kDRAWBOT_PixelLayout_32ARGB_Straight || layout == kDRAWBOT_PixelLayout_32ARGB_Premul;
    if (out == nullptr || data == nullptr || width <= 0 || height <= 0 || rowBytes < width * 4 || !(bgra || argb)) {
        return kBadReference;
    }
    const bool premultiplied =
        layout == kDRAWBOT_PixelLayout_32BGRA_Premul || layout == kDRAWBOT_PixelLayout_32ARGB_Premul;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) -> SPErr {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(image);
            return kDrawbotCallFailed;
        }
        unsigned char* pixels = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int y = 0; y < height; ++y) {
            const auto* in = static_cast<const uint8_t*>(data) + static_cast<ptrdiff_t>(y) * rowBytes;
            auto* row = reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = in + 4 * x;
                uint32_t a = bgra ? p[3] : p[0], r = bgra ? p[2] : p[1], g = bgra ? p[1] : p[2], b = bgra ? p[0] : p[3];
                if (!premultiplied) {
                    r = (r * a + 127) / 255;
                    g = (g * a + 127) / 255;
                    b = (b * a + 127) / 255;
                }
                row[x] = (a << 24) | (r << 16) | (g << 8) | b;
            }
        }
        cairo_surface_mark_dirty(image);
        DrawbotObject object;
        object.kind = DrawbotObjectKind::Image;
        object.image = image;
        return makeObject(canvas, std::move(object), out);
    });
}

SPErr newPath(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* out) {
    if (out == nullptr) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas& canvas) {
        DrawbotObject path;
        path.kind = DrawbotObjectKind::Path;
        return makeObject(canvas, std::move(path), out);
    });
}

SPErr answerLayout(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out, DRAWBOT_Boolean answer) {
    if (out == nullptr) return kBadReference;
    return onSupplier(supplier, [&](DrawbotCanvas&) -> SPErr {
        *out = answer;
        return kSPNoError;
    });
}
SPErr supportsBgra(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out) { return answerLayout(supplier, out, 1); }
SPErr prefersBgra(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out) { return answerLayout(supplier, out, 1); }
SPErr supportsArgb(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out) { return answerLayout(supplier, out, 1); }
SPErr prefersArgb(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* out) { return answerLayout(supplier, out, 0); }

// Any kind of object: retain and release take whatever the supplier made.
template <typename Body>
SPErr onAnyObject(DRAWBOT_ObjectRef ref, Body&& body) {
    DrawbotRegistry& registry = drawbotRegistry();
    DrawbotCanvas* owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.objectOwners.find(reinterpret_cast<uintptr_t>(ref));
        if (found == registry.objectOwners.end()) return kBadReference;
        owner = found->second;
    }
    return onCanvas(reinterpret_cast<const void*>(owner->drawRef), [&](DrawbotCanvas& canvas) -> SPErr {
        auto object = canvas.objects.find(reinterpret_cast<uintptr_t>(ref));
        return object != canvas.objects.end() ? body(canvas, object) : kBadReference;
    });
}

SPErr retainObject(DRAWBOT_ObjectRef ref) {
    return onAnyObject(ref, [](DrawbotCanvas&, auto object) -> SPErr {
        ++object->second.retains;
        return kSPNoError;
    });
}

SPErr releaseObject(DRAWBOT_ObjectRef ref) {
    return onAnyObject(ref, [&](DrawbotCanvas& canvas, auto object) -> SPErr {
        if (--object->second.retains > 0) return kSPNoError;
        if (object->second.image != nullptr) cairo_surface_destroy(object->second.image);
        drawbotRegistry().objectOwners.erase(object->first);
        canvas.objects.erase(object);
        ++canvas.accounting.objectsReleased;
        --canvas.accounting.liveObjects;
        return kSPNoError;
    });
}

// ---- Surface suite ----

template <typename Body>
SPErr onSurface(DRAWBOT_SurfaceRef ref, Body&& body) {
    return onCanvas(ref, [&](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.surfaceRef != reinterpret_cast<uintptr_t>(ref)) return kBadReference;
        return body(canvas);
    });
}

SPErr pushStateStack(DRAWBOT_SurfaceRef surface) {
    return onSurface(surface, [](DrawbotCanvas& canvas) -> SPErr {
        cairo_save(canvas.cr);
        ++canvas.accounting.stackDepth;
        return kSPNoError;
    });
}

SPErr popStateStack(DRAWBOT_SurfaceRef surface) {
    return onSurface(surface, [](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.accounting.stackDepth == 0) {
            ++canvas.accounting.unbalancedPops;
            return kBadReference;
        }
        cairo_restore(canvas.cr);
        --canvas.accounting.stackDepth;
        return kSPNoError;
    });
}

bool validRect(const DRAWBOT_RectF32* rect) {
    return rect != nullptr && finite(rect->left) && finite(rect->top) && finite(rect->width) && finite(rect->height);
}

SPErr paintRect(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA* color, const DRAWBOT_RectF32* rect) {
    if (!validColor(color) || !validRect(rect)) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        setColor(canvas.cr, *color);
        cairo_new_path(canvas.cr);
        cairo_rectangle(canvas.cr, rect->left, rect->top, rect->width, rect->height);
        cairo_fill(canvas.cr);
        return kSPNoError;
    });
}

SPErr fillPath(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brushRef, DRAWBOT_PathRef pathRef,
               DRAWBOT_FillType fillType) {
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        DrawbotObject* brush = objectOf(canvas, brushRef, DrawbotObjectKind::Brush);
        DrawbotObject* path = objectOf(canvas, pathRef, DrawbotObjectKind::Path);
        if (brush == nullptr || path == nullptr) return kBadReference;
        replayPath(canvas.cr, path->path);
        cairo_set_fill_rule(canvas.cr, fillType == kDRAWBOT_FillType_EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                                              : CAIRO_FILL_RULE_WINDING);
        setColor(canvas.cr, brush->color);
        cairo_fill(canvas.cr);
        return kSPNoError;
    });
}

SPErr strokePath(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef penRef, DRAWBOT_PathRef pathRef) {
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        DrawbotObject* pen = objectOf(canvas, penRef, DrawbotObjectKind::Pen);
        DrawbotObject* path = objectOf(canvas, pathRef, DrawbotObjectKind::Path);
        if (pen == nullptr || path == nullptr) return kBadReference;
        replayPath(canvas.cr, path->path);
        cairo_set_line_width(canvas.cr, pen->size);
        setColor(canvas.cr, pen->color);
        cairo_stroke(canvas.cr);
        return kSPNoError;
    });
}

SPErr clip(DRAWBOT_SurfaceRef surface, DRAWBOT_SupplierRef supplier, const DRAWBOT_Rect32* rect) {
    if (rect == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        if (canvas.supplierRef != reinterpret_cast<uintptr_t>(supplier)) return kBadReference;
        cairo_new_path(canvas.cr);
        cairo_rectangle(canvas.cr, rect->left, rect->top, rect->width, rect->height);
        cairo_clip(canvas.cr);
        return kSPNoError;
    });
}

SPErr getClipBounds(DRAWBOT_SurfaceRef surface, DRAWBOT_Rect32* out) {
    if (out == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        cairo_clip_extents(canvas.cr, &x1, &y1, &x2, &y2);
        out->left = static_cast<A_long>(std::floor(x1));
        out->top = static_cast<A_long>(std::floor(y1));
        out->width = static_cast<A_long>(std::ceil(x2)) - out->left;
        out->height = static_cast<A_long>(std::ceil(y2)) - out->top;
        return kSPNoError;
    });
}

SPErr isWithinClipBounds(DRAWBOT_SurfaceRef surface, const DRAWBOT_Rect32* rect, DRAWBOT_Boolean* out) {
    if (rect == nullptr || out == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        cairo_clip_extents(canvas.cr, &x1, &y1, &x2, &y2);
        *out = rect->left >= x1 && rect->top >= y1 && rect->left + rect->width <= x2 && rect->top + rect->height <= y2;
        return kSPNoError;
    });
}

SPErr transform(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32* matrix) {
    if (matrix == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        const auto& m = matrix->mat;
        cairo_matrix_t cm;
        cairo_matrix_init(&cm, m[0][0], m[0][1], m[1][0], m[1][1], m[2][0], m[2][1]);
        if (cairo_matrix_invert(&cm) != CAIRO_STATUS_SUCCESS) return kBadReference;  // a singular transform
        cairo_matrix_init(&cm, m[0][0], m[0][1], m[1][0], m[1][1], m[2][0], m[2][1]);
        cairo_transform(canvas.cr, &cm);
        return kSPNoError;
    });
}

SPErr drawString(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brushRef, DRAWBOT_FontRef fontRef,
                 const DRAWBOT_UTF16Char* text, const DRAWBOT_PointF32* origin, DRAWBOT_TextAlignment alignment,
                 DRAWBOT_TextTruncation truncation, float truncationWidth) {
    if (text == nullptr || origin == nullptr || !finite(origin->x) || !finite(origin->y)) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        if (!canvas.options.supportsText) return kDrawbotCallFailed;
        DrawbotObject* brush = objectOf(canvas, brushRef, DrawbotObjectKind::Brush);
        DrawbotObject* font = objectOf(canvas, fontRef, DrawbotObjectKind::Font);
        if (brush == nullptr || font == nullptr) return kBadReference;
        cairo_set_font_size(canvas.cr, font->size);
        std::string utf8 = utf8Of(text);
        if (truncation != kDRAWBOT_TextTruncation_None && finite(truncationWidth) && truncationWidth > 0) {
            utf8 = truncatedToWidth(canvas.cr, utf8, truncationWidth);
        }
        cairo_text_extents_t extents;
        cairo_text_extents(canvas.cr, utf8.c_str(), &extents);
        double x = origin->x;
        if (alignment == kDRAWBOT_TextAlignment_Center) x -= extents.x_advance / 2;
        if (alignment == kDRAWBOT_TextAlignment_Right) x -= extents.x_advance;
        setColor(canvas.cr, brush->color);
        cairo_new_path(canvas.cr);
        cairo_move_to(canvas.cr, x, origin->y);
        cairo_show_text(canvas.cr, utf8.c_str());
        canvas.strings.push_back(DrawnString{utf8, origin->x, origin->y});
        return kSPNoError;
    });
}

SPErr drawImage(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef imageRef, const DRAWBOT_PointF32* origin, float alpha) {
    if (origin == nullptr || !finite(alpha)) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        DrawbotObject* image = objectOf(canvas, imageRef, DrawbotObjectKind::Image);
        if (image == nullptr) return kBadReference;
        cairo_set_source_surface(canvas.cr, image->image, origin->x, origin->y);
        cairo_paint_with_alpha(canvas.cr, alpha);
        return kSPNoError;
    });
}

SPErr setInterpolationPolicy(DRAWBOT_SurfaceRef surface, DRAWBOT_InterpolationPolicy) {
    return onSurface(surface, [](DrawbotCanvas&) -> SPErr { return kSPNoError; });
}

SPErr getInterpolationPolicy(DRAWBOT_SurfaceRef surface, DRAWBOT_InterpolationPolicy* out) {
    if (out == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas&) -> SPErr {
        *out = kDRAWBOT_InterpolationPolicy_Default;
        return kSPNoError;
    });
}

SPErr setAntiAliasPolicy(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy policy) {
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        cairo_set_antialias(canvas.cr, policy == kDRAWBOT_AntiAliasPolicy_None ? CAIRO_ANTIALIAS_NONE
                                                                                : CAIRO_ANTIALIAS_DEFAULT);
        return kSPNoError;
    });
}

SPErr getAntiAliasPolicy(DRAWBOT_SurfaceRef surface, DRAWBOT_AntiAliasPolicy* out) {
    if (out == nullptr) return kBadReference;
    return onSurface(surface, [&](DrawbotCanvas& canvas) -> SPErr {
        *out = cairo_get_antialias(canvas.cr) == CAIRO_ANTIALIAS_NONE ? kDRAWBOT_AntiAliasPolicy_None
                                                                      : kDRAWBOT_AntiAliasPolicy_Default;
        return kSPNoError;
    });
}

SPErr flush(DRAWBOT_SurfaceRef surface) {
    return onSurface(surface, [](DrawbotCanvas& canvas) -> SPErr {
        cairo_surface_flush(canvas.surface);
        return kSPNoError;
    });
}

// ---- Path suite ----

SPErr addOp(DRAWBOT_PathRef pathRef, DrawbotPathOp op) {
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(op.x[i]) || !std::isfinite(op.y[i])) return kBadReference;
    }
    return onObject(pathRef, DrawbotObjectKind::Path, [&](DrawbotCanvas&, DrawbotObject& path) -> SPErr {
        path.path.push_back(op);
        return kSPNoError;
    });
}

SPErr moveTo(DRAWBOT_PathRef path, float x, float y) { return addOp(path, {DrawbotPathOp::MoveTo, {x, 0, 0}, {y, 0, 0}}); }

SPErr lineTo(DRAWBOT_PathRef path, float x, float y) { return addOp(path, {DrawbotPathOp::LineTo, {x, 0, 0}, {y, 0, 0}}); }

SPErr bezierTo(DRAWBOT_PathRef path, const DRAWBOT_PointF32* p1, const DRAWBOT_PointF32* p2,
               const DRAWBOT_PointF32* p3) {
    if (p1 == nullptr || p2 == nullptr || p3 == nullptr) return kBadReference;
    return addOp(path, {DrawbotPathOp::CurveTo, {p1->x, p2->x, p3->x}, {p1->y, p2->y, p3->y}});
}

SPErr addRect(DRAWBOT_PathRef path, const DRAWBOT_RectF32* rect) {
    if (!validRect(rect)) return kBadReference;
    return onObject(path, DrawbotObjectKind::Path, [&](DrawbotCanvas&, DrawbotObject& object) -> SPErr {
        const double l = rect->left, t = rect->top, r = rect->left + rect->width, b = rect->top + rect->height;
        object.path.push_back({DrawbotPathOp::MoveTo, {l, 0, 0}, {t, 0, 0}});
        object.path.push_back({DrawbotPathOp::LineTo, {r, 0, 0}, {t, 0, 0}});
        object.path.push_back({DrawbotPathOp::LineTo, {r, 0, 0}, {b, 0, 0}});
        object.path.push_back({DrawbotPathOp::LineTo, {l, 0, 0}, {b, 0, 0}});
        object.path.push_back({DrawbotPathOp::Close, {0, 0, 0}, {0, 0, 0}});
        return kSPNoError;
    });
}

// The arc as Cairo flattens it into curves, so that a path holds only moves, lines and curves.
SPErr addArc(DRAWBOT_PathRef path, const DRAWBOT_PointF32* center, float radius, float startAngle, float sweep) {
    if (center == nullptr || !finite(center->x) || !finite(center->y) || !finite(radius) || radius < 0 ||
        !finite(startAngle) || !finite(sweep)) {
        return kBadReference;
    }
    return onObject(path, DrawbotObjectKind::Path, [&](DrawbotCanvas&, DrawbotObject& object) -> SPErr {
        cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cairo_t* cr = cairo_create(scratch);
        replayPath(cr, object.path);
        const double a0 = startAngle * kDegreesToRadians, a1 = (startAngle + sweep) * kDegreesToRadians;
        if (sweep >= 0) {
            cairo_arc(cr, center->x, center->y, radius, a0, a1);
        } else {
            cairo_arc_negative(cr, center->x, center->y, radius, a0, a1);
        }
        cairo_path_t* flat = cairo_copy_path(cr);
        object.path.clear();
        for (int i = 0; i < flat->num_data; i += flat->data[i].header.length) {
            const cairo_path_data_t* d = &flat->data[i];
            switch (d->header.type) {
                case CAIRO_PATH_MOVE_TO:
                    object.path.push_back({DrawbotPathOp::MoveTo, {d[1].point.x, 0, 0}, {d[1].point.y, 0, 0}});
                    break;
                case CAIRO_PATH_LINE_TO:
                    object.path.push_back({DrawbotPathOp::LineTo, {d[1].point.x, 0, 0}, {d[1].point.y, 0, 0}});
                    break;
                case CAIRO_PATH_CURVE_TO:
                    object.path.push_back({DrawbotPathOp::CurveTo,
                                           {d[1].point.x, d[2].point.x, d[3].point.x},
                                           {d[1].point.y, d[2].point.y, d[3].point.y}});
                    break;
                case CAIRO_PATH_CLOSE_PATH:
                    object.path.push_back({DrawbotPathOp::Close, {0, 0, 0}, {0, 0, 0}});
                    break;
            }
        }
        cairo_path_destroy(flat);
        cairo_destroy(cr);
        cairo_surface_destroy(scratch);
        return kSPNoError;
    });
}

SPErr closePath(DRAWBOT_PathRef path) { return addOp(path, {DrawbotPathOp::Close, {0, 0, 0}, {0, 0, 0}}); }

}  // namespace

const DRAWBOT_DrawbotSuite1& drawbotDrawSuite1() {
    static const DRAWBOT_DrawbotSuite1 suite{getSupplier, getSurface};
    return suite;
}

const DRAWBOT_SupplierSuite1& drawbotSupplierSuite1() {
    static const DRAWBOT_SupplierSuite1 suite{newPen,       newBrush,     supportsText, getDefaultFontSize,
                                              newDefaultFont, newImageFromBuffer, newPath, supportsBgra,
                                              prefersBgra,  supportsArgb, prefersArgb,  retainObject,
                                              releaseObject};
    return suite;
}

const DRAWBOT_SurfaceSuite1& drawbotSurfaceSuite1() {
    static const DRAWBOT_SurfaceSuite1 suite{pushStateStack, popStateStack, paintRect, fillPath, strokePath,
                                             clip, getClipBounds, isWithinClipBounds, transform, drawString,
                                             drawImage, setInterpolationPolicy, getInterpolationPolicy,
                                             setAntiAliasPolicy, getAntiAliasPolicy, flush};
    return suite;
}

const DRAWBOT_PathSuite1& drawbotPathSuite1() {
    static const DRAWBOT_PathSuite1 suite{moveTo, lineTo, bezierTo, addRect, addArc, closePath};
    return suite;
}

}  // namespace zephrin::host
