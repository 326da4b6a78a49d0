// Inside the DRAWBOT stand-in: the canvas record behind the references, and the process-wide registry
// that resolves a reference to its canvas and object. The suites are plain C tables without a context
// pointer, so every call finds its canvas here, under one mutex (a drawing runs on the host's UI thread,
// tests may make canvases from others).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/custom_ui/drawbot_canvas.h"

namespace zephrin::host {

enum class DrawbotObjectKind { Pen, Brush, Font, Path, Image };

// A path keeps its figure as Cairo path data, replayed by the surface calls that use it.
struct DrawbotPathOp {
    enum Kind { MoveTo, LineTo, CurveTo, Close } kind = MoveTo;
    double x[3] = {0, 0, 0};
    double y[3] = {0, 0, 0};
};

struct DrawbotObject {
    DrawbotObjectKind kind = DrawbotObjectKind::Pen;
    int32_t retains = 1;
    DRAWBOT_ColorRGBA color{0, 0, 0, 1};  // pens and brushes
    float size = 1.0f;                    // pen width or font size
    std::vector<DrawbotPathOp> path;
    cairo_surface_t* image = nullptr;  // images, owned
};

struct DrawbotCanvas {
    int32_t width = 0, height = 0;
    DrawbotOptions options;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    uintptr_t drawRef = 0, supplierRef = 0, surfaceRef = 0;
    std::map<uintptr_t, DrawbotObject> objects;
    DrawbotAccounting accounting;
    std::vector<DrawnString> strings;
};

struct DrawbotRegistry {
    std::mutex mutex;
    uintptr_t nextRef = 0x7d000000;  // references step by 16, so they look like aligned addresses
    std::map<uintptr_t, DrawbotCanvas*> canvases;  // draw, supplier and surface references alike
    std::map<uintptr_t, DrawbotCanvas*> objectOwners;
};
DrawbotRegistry& drawbotRegistry();
uintptr_t newDrawbotRef(DrawbotRegistry& registry);

}  // namespace zephrin::host
