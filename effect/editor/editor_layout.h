// Where everything of the Top View control stands on screen: the toolbar and its items, the curve
// canvas, the resize grip, and the view transform between screen pixels and the curve's normalized
// plane (x 0 at the curve's left end to 1 at its right end, y 0.5 on the flat line, up is larger).
#pragma once

#include "effect/editor/top_view_editor.h"

namespace zephrin {

// A rectangle as position and size, in the host's pixels (doubles: the layout divides).
struct EditorBox {
    double x = 0, y = 0, w = 0, h = 0;
};

inline bool insideBox(const EditorBox& box, double px, double py) {
    return px >= box.x && px <= box.x + box.w && py >= box.y && py <= box.y + box.h;
}

struct EditorLayout {
    EditorBox frame;
    bool hasToolbar = false;
    EditorBox toolbar;
    EditorBox closeToggle;
    EditorBox shapeButton;
    EditorBox speedArea;
    EditorBox speedField;
    EditorBox copyButton;   // width 0 when the toolbar is too narrow for it
    EditorBox pasteButton;  // likewise
    EditorBox canvas;
    EditorBox grip;
};

// The unit square of the curve's plane as it stands on screen at the editor's zoom and pan. Unclamped
// curve points may lie outside it.
struct ContentBox {
    double left = 0, top = 0, width = 1, height = 1;
};

struct ScreenPoint {
    double x = 0, y = 0;
};

// The unit square is this many pixels at zoom 1.
constexpr double kContentWidth = 404.0;
constexpr double kContentHeight = 120.0;
// Below this frame height there is no room for a toolbar above the canvas.
constexpr double kToolbarMinFrameHeight = 72.0;
// The Copy and Paste buttons appear from this toolbar inner width.
constexpr double kClipboardButtonsMinWidth = 440.0;

EditorLayout layoutTopView(const EditorBox& frame);
EditorBox frameBox(const PF_Rect& rect);

// The zoom as used: held within its limits, a non-finite zoom counting as 1.
double effectiveZoom(const TopViewEditor& editor);
ContentBox contentBox(const EditorLayout& layout, const TopViewEditor& editor);

inline ScreenPoint toScreen(const ContentBox& box, double nx, double ny) {
    return {box.left + box.width * nx, box.top + (1.0 - ny) * box.height};
}
inline ScreenPoint toNormalized(const ContentBox& box, double sx, double sy) {
    return {(sx - box.left) / box.width, 1.0 - (sy - box.top) / box.height};
}

// Zooms by `factor` about the mouse so that the point under it stays under it. False when the zoom
// did not change (already at its limit, or a factor of 1).
bool zoomAt(TopViewEditor& editor, const EditorLayout& layout, double mx, double my, double factor);

// The pan, each direction held within its limit; a non-finite value keeps the old one.
void setPan(TopViewEditor& editor, double x, double y);

// The two inline buttons of the "Generate Points" control.
struct GenerateButtons {
    EditorBox generate;
    EditorBox reset;
};
GenerateButtons generateButtons(const EditorBox& frame);

}  // namespace zephrin
