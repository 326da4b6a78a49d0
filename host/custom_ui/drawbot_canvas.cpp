#include "host/custom_ui/drawbot_canvas.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "host/custom_ui/drawbot_registry.h"

namespace zephrin::host {
namespace {

// Reference values start high and step by 16 so that they never look like small integers or null.
constexpr uintptr_t kRefStep = 16;

// The fontconfig pattern for labels: sans-serif text that covers Simplified Chinese.
constexpr const char* kLabelFontPattern = "sans-serif:lang=zh-cn";
constexpr const char* kFallbackFamily = "sans-serif";

uint8_t unpremultiply(uint32_t channel, uint32_t alpha) {
    if (alpha == 0) return 0;
    return static_cast<uint8_t>(std::min<uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
}

// Cairo's font caches and fontconfig's configuration live for the process; giving them back at exit
// keeps leak checkers to what the program itself holds. Cairo's caches go first: they hold fontconfig's.
void releaseFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace

DrawbotRegistry& drawbotRegistry() {
    static DrawbotRegistry registry;
    return registry;
}

uintptr_t newDrawbotRef(DrawbotRegistry& registry) {
    uintptr_t ref = registry.nextRef;
    registry.nextRef += kRefStep;
    return ref;
}

std::string labelFontFamily() {
    static const std::string family = [] {
        std::string found = kFallbackFamily;
        if (FcInit() == FcFalse) return found;
        std::atexit(releaseFontCaches);
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kLabelFontPattern));
        if (pattern == nullptr) return found;
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* name = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name != nullptr) {
            found = reinterpret_cast<const char*>(name);
        }
        if (match != nullptr) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
        return found;
    }();
    return family;
}

void DrawbotCanvasDeleter::operator()(DrawbotCanvas* canvas) const noexcept {
    if (canvas == nullptr) return;
    {
        DrawbotRegistry& registry = drawbotRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.canvases.erase(canvas->drawRef);
        registry.canvases.erase(canvas->supplierRef);
        registry.canvases.erase(canvas->surfaceRef);
        for (auto& [ref, object] : canvas->objects) {
            registry.objectOwners.erase(ref);
            if (object.image != nullptr) cairo_surface_destroy(object.image);
        }
    }
    if (canvas->cr != nullptr) cairo_destroy(canvas->cr);
    if (canvas->surface != nullptr) cairo_surface_destroy(canvas->surface);
    delete canvas;
}

DrawbotCanvasPtr makeDrawbotCanvas(int32_t width, int32_t height, const DrawbotOptions& options) {
    if (width <= 0 || height <= 0) throw std::runtime_error("a drawing surface needs a positive size");
    DrawbotCanvasPtr canvas(new DrawbotCanvas);
    canvas->width = width;
    canvas->height = height;
    canvas->options = options;
    canvas->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(canvas->surface) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("Cairo cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                                 " image");
    }
    canvas->cr = cairo_create(canvas->surface);
    // Unhinted, grey-antialiased text draws the same on every machine with the same font.
    cairo_font_options_t* fontOptions = cairo_font_options_create();
    cairo_font_options_set_hint_style(fontOptions, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(fontOptions, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(fontOptions, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(canvas->cr, fontOptions);
    cairo_font_options_destroy(fontOptions);
    cairo_select_font_face(canvas->cr, labelFontFamily().c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    const DRAWBOT_ColorRGBA& bg = options.background;
    cairo_set_operator(canvas->cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(canvas->cr, bg.red, bg.green, bg.blue, bg.alpha);
    cairo_paint(canvas->cr);
    cairo_set_operator(canvas->cr, CAIRO_OPERATOR_OVER);

    DrawbotRegistry& registry = drawbotRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    canvas->drawRef = newDrawbotRef(registry);
    canvas->supplierRef = newDrawbotRef(registry);
    canvas->surfaceRef = newDrawbotRef(registry);
    registry.canvases[canvas->drawRef] = canvas.get();
    registry.canvases[canvas->supplierRef] = canvas.get();
    registry.canvases[canvas->surfaceRef] = canvas.get();
    return canvas;
}

DRAWBOT_DrawRef drawRefOf(const DrawbotCanvas& canvas) { return reinterpret_cast<DRAWBOT_DrawRef>(canvas.drawRef); }

DrawnImage canvasImage(DrawbotCanvas& canvas) {
    std::lock_guard<std::mutex> lock(drawbotRegistry().mutex);
    cairo_surface_flush(canvas.surface);
    DrawnImage image;
    image.width = canvas.width;
    image.height = canvas.height;
    image.rgba.resize(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height) * 4);
    const unsigned char* data = cairo_image_surface_get_data(canvas.surface);
    const int stride = cairo_image_surface_get_stride(canvas.surface);
    for (int32_t y = 0; y < canvas.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        uint8_t* out = image.rgba.data() + static_cast<size_t>(y) * static_cast<size_t>(canvas.width) * 4;
        for (int32_t x = 0; x < canvas.width; ++x) {
            // Cairo's ARGB32 is one native-endian word per pixel, colour premultiplied by alpha.
            const uint32_t pixel = row[x];
            const uint32_t a = pixel >> 24;
            out[4 * x + 0] = unpremultiply((pixel >> 16) & 0xff, a);
            out[4 * x + 1] = unpremultiply((pixel >> 8) & 0xff, a);
            out[4 * x + 2] = unpremultiply(pixel & 0xff, a);
            out[4 * x + 3] = static_cast<uint8_t>(a);
        }
    }
    return image;
}

DrawbotAccounting canvasAccounting(const DrawbotCanvas& canvas) {
    std::lock_guard<std::mutex> lock(drawbotRegistry().mutex);
    return canvas.accounting;
}

std::vector<DrawnString> drawnStrings(const DrawbotCanvas& canvas) {
    std::lock_guard<std::mutex> lock(drawbotRegistry().mutex);
    return canvas.strings;
}

}  // namespace zephrin::host
