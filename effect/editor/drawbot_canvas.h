// The effect's custom controls paint through the host's DRAWBOT suites. A canvas keeps the first
// failing host call: every later operation does nothing, so a draw ends at its first failure and
// returns it. Each operation makes its own pens, brushes, fonts and paths and releases them before it
// returns, whether its calls succeeded or not.
#pragma once

#include <string>
#include <vector>

#include "common/host_suites.h"
#include "effect/editor/editor_layout.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/DrawbotSuite.h"

namespace zephrin {

struct DrawColor {
    float red = 0, green = 0, blue = 0, alpha = 1;
};

struct DrawbotCanvas {
    const DRAWBOT_SupplierSuite1* supplier = nullptr;
    const DRAWBOT_SurfaceSuite1* surface = nullptr;
    const DRAWBOT_PathSuite1* path = nullptr;
    DRAWBOT_SupplierRef supplierRef = nullptr;
    DRAWBOT_SurfaceRef surfaceRef = nullptr;
    bool text = false;       // the surface draws text
    float fontSize = 11.0f;  // the surface's default size, within the editor's limits
    PF_Err err = PF_Err_NONE;

    bool ok() const { return err == PF_Err_NONE; }
};

// The canvas of a draw event's context; its err is set when the drawing reference, a suite, the
// supplier or the surface cannot be had.
DrawbotCanvas openCanvas(HostSuites& suites, PF_ContextH context);

void paintRect(DrawbotCanvas& canvas, const DrawColor& color, const EditorBox& box);
// A rectangle's outline.
void strokeRect(DrawbotCanvas& canvas, const DrawColor& color, float width, const EditorBox& box);
// One stroke of separate segments (pairs of points) or of a connected line through the points.
void strokeSegments(DrawbotCanvas& canvas, const DrawColor& color, float width, const std::vector<ScreenPoint>& ends);
void strokePolyline(DrawbotCanvas& canvas, const DrawColor& color, float width, const std::vector<ScreenPoint>& points);
void fillPolygon(DrawbotCanvas& canvas, const DrawColor& color, const std::vector<ScreenPoint>& points);
// Text with its baseline starting at (x, y); nothing on a surface without text.
void drawText(DrawbotCanvas& canvas, const DrawColor& color, const std::u16string& text, double x, double y);
void pushClip(DrawbotCanvas& canvas, const EditorBox& box);
void popState(DrawbotCanvas& canvas);

// A box with a label centred vertically, the look of every button and popup the effect draws.
void drawLabelledBox(DrawbotCanvas& canvas, const DrawColor& fill, const DrawColor& textColor, const EditorBox& box,
                     const std::u16string& label);

}  // namespace zephrin
