// The colours and pen widths of every control the effect draws (red, green, blue, alpha).
#pragma once

#include "effect/editor/drawbot_canvas.h"

namespace zephrin::palette {

constexpr DrawColor kPanel{0.06f, 0.07f, 0.09f, 1};
constexpr DrawColor kToolbar{0.095f, 0.105f, 0.13f, 1};
constexpr DrawColor kCloseOn{0.14f, 0.50f, 0.34f, 1};
constexpr DrawColor kCloseOff{0.19f, 0.20f, 0.24f, 1};
constexpr DrawColor kButton{0.24f, 0.28f, 0.36f, 1};
constexpr DrawColor kButtonDisabled{0.14f, 0.15f, 0.18f, 1};
constexpr DrawColor kSpeedArea{0.15f, 0.17f, 0.22f, 1};
constexpr DrawColor kSpeedField{0.15f, 0.17f, 0.22f, 1};
constexpr DrawColor kSpeedFieldDisabled{0.11f, 0.12f, 0.15f, 1};
constexpr DrawColor kText{0.92f, 0.93f, 0.96f, 1};
constexpr DrawColor kTextDisabled{0.48f, 0.50f, 0.55f, 1};
constexpr DrawColor kAccent{0.28f, 0.62f, 0.96f, 1};
constexpr DrawColor kGrid{0.16f, 0.18f, 0.22f, 1};
constexpr DrawColor kFlatLine{0.55f, 0.57f, 0.62f, 1};
constexpr DrawColor kHandleLine{0.55f, 0.57f, 0.62f, 1};
constexpr DrawColor kCurve{0.95f, 0.95f, 0.98f, 1};
constexpr DrawColor kSelectionFill{0.18f, 0.45f, 0.88f, 0.18f};
constexpr DrawColor kSelectionOutline{0.35f, 0.68f, 1.0f, 0.95f};
constexpr DrawColor kGrip{0.40f, 0.43f, 0.49f, 1};

constexpr float kCloseIconPen = 1.4f;
constexpr float kShapeIconPen = 1.2f;
constexpr float kGridPen = 1.0f;
constexpr float kFlatLinePen = 1.4f;
constexpr float kCurvePen = 2.0f;
constexpr float kThinPen = 1.0f;  // box outline, handle lines, grip

}  // namespace zephrin::palette
