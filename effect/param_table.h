// The effect's parameter list as data: one record per position, in registration order. It is the
// contract with the host (disk ids) and the renderer (positions); registration, relabelling, the UI
// rules and the host's parameter listing all walk this one table.
#pragma once

#include <array>

#include "common/effect_contract.h"
#include "effect/localized_texts.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

struct ParamSpec {
    int position = 0;
    A_long diskId = 0;
    PF_ParamType type = PF_Param_RESERVED;
    TextId label = TextId::Empty;
    PF_ParamUIFlags uiFlags = PF_PUI_NONE;
    A_short uiWidth = 0;  // custom controls only; "Top View" takes the editor's size instead
    A_short uiHeight = 0;
    PF_ParamFlags flags = PF_ParamFlag_NONE;

    // Float sliders.
    PF_FpShort validMin = 0, validMax = 0, sliderMin = 0, sliderMax = 0;
    A_short precision = 0;
    PF_FpShort curveTolerance = 0;
    // The registered value and default: a float slider's number, a popup's 1-based choice, a checkbox's
    // 0 or 1. Only "Common Sync State" registers a value that differs from its default.
    double value = 0;
    double dephault = 0;

    // Popups: choices separated by "|"; buttons: their text.
    TextId choices = TextId::Empty;
    A_short numChoices = 0;
    TextId buttonText = TextId::Empty;

    // 3D points.
    double x = 0, y = 0, z = 0;
    // Colours (opaque).
    A_u_char red = 0, green = 0, blue = 0;
    // Layers: PF_LayerDefault_MYSELF or PF_LayerDefault_NONE.
    A_long layerDefault = PF_LayerDefault_NONE;
};

// Indexed by position; entry 0 is the host's input layer, which the effect does not register.
const std::array<ParamSpec, param::kCount>& paramTable();

inline const ParamSpec& paramSpec(int position) { return paramTable()[static_cast<std::size_t>(position)]; }

// Registration-time limits of the "Top View" control size, in pixels.
constexpr int kTopViewMinWidth = 280;
constexpr int kTopViewMaxWidth = 1400;
constexpr int kTopViewMinHeight = 130;
constexpr int kTopViewMaxHeight = 900;

}  // namespace zephrin
