// The texts the effect draws inside its custom controls (toolbar, buttons), in English or Chinese.
// They go straight to the drawing surface as UTF-16; the host never sees them as labels.
#pragma once

#include <string>

namespace zephrin {

enum class EditorText {
    CloseOn,
    CloseOff,
    ShapeNone,  // ShapeNone … ShapeCircle follow the "Shape" choices
    ShapeSquare,
    ShapeRoundSquare,
    ShapeCircle,
    Speed,
    Copy,
    Paste,
    Generate,
    Reset,
    None,
};

std::u16string editorText(EditorText id, bool chinese);

// "Shape: …" for a "Shape" value; values out of range read as None.
std::u16string shapeLabel(int shape, bool chinese);

}  // namespace zephrin
