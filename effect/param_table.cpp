#include "effect/param_table.h"

namespace zephrin {
namespace {

using namespace param;

constexpr PF_ParamFlags S = PF_ParamFlag_SUPERVISE;
constexpr PF_ParamFlags N = PF_ParamFlag_CANNOT_TIME_VARY;
constexpr PF_ParamFlags O = PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS;
constexpr PF_ParamFlags kCollapsed = PF_ParamFlag_COLLAPSE_TWIRLY;

constexpr PF_ParamUIFlags kShown = PF_PUI_NONE;
constexpr PF_ParamUIFlags kHidden = PF_PUI_INVISIBLE | PF_PUI_DISABLED;
constexpr PF_ParamUIFlags kHiddenNoEcw = kHidden | PF_PUI_NO_ECW_UI;
constexpr PF_ParamUIFlags kCustom = PF_PUI_CONTROL | PF_PUI_DONT_ERASE_CONTROL;

// Most sliders keep the host's usual curve tolerance; a row that differs says so.
constexpr PF_FpShort kDefaultCurveTolerance = 0.05f;

constexpr ParamSpec base(A_long id, PF_ParamType type, TextId label, PF_ParamUIFlags ui, PF_ParamFlags flags) {
    ParamSpec spec;
    spec.diskId = id;
    spec.type = type;
    spec.label = label;
    spec.uiFlags = ui;
    spec.flags = flags;
    return spec;
}

constexpr ParamSpec floatSlider(A_long id, TextId label, PF_FpShort validMin, PF_FpShort validMax, PF_FpShort sliderMin,
                                PF_FpShort sliderMax, double dephault, A_short precision, PF_ParamUIFlags ui,
                                PF_ParamFlags flags, PF_FpShort curveTolerance = kDefaultCurveTolerance) {
    ParamSpec spec = base(id, PF_Param_FLOAT_SLIDER, label, ui, flags);
    spec.validMin = validMin;
    spec.validMax = validMax;
    spec.sliderMin = sliderMin;
    spec.sliderMax = sliderMax;
    spec.value = dephault;
    spec.dephault = dephault;
    spec.precision = precision;
    spec.curveTolerance = curveTolerance;
    return spec;
}

constexpr ParamSpec popup(A_long id, TextId label, TextId choices, A_short numChoices, int dephault, PF_ParamUIFlags ui,
                          PF_ParamFlags flags) {
    ParamSpec spec = base(id, PF_Param_POPUP, label, ui, flags);
    spec.choices = choices;
    spec.numChoices = numChoices;
    spec.value = dephault;
    spec.dephault = dephault;
    return spec;
}

constexpr ParamSpec checkbox(A_long id, TextId label, bool dephault, PF_ParamUIFlags ui, PF_ParamFlags flags) {
    ParamSpec spec = base(id, PF_Param_CHECKBOX, label, ui, flags);
    spec.value = dephault ? 1 : 0;
    spec.dephault = spec.value;
    return spec;
}

constexpr ParamSpec angle(A_long id, TextId label, PF_ParamUIFlags ui, PF_ParamFlags flags) {
    return base(id, PF_Param_ANGLE, label, ui, flags);
}

constexpr ParamSpec colour(A_long id, TextId label, A_u_char red, A_u_char green, A_u_char blue) {
    ParamSpec spec = base(id, PF_Param_COLOR, label, kShown, PF_ParamFlag_NONE);
    spec.red = red;
    spec.green = green;
    spec.blue = blue;
    return spec;
}

constexpr ParamSpec point3d(A_long id, TextId label, double x, double y, double z, PF_ParamFlags flags) {
    ParamSpec spec = base(id, PF_Param_POINT_3D, label, kHidden, flags);
    spec.x = x;
    spec.y = y;
    spec.z = z;
    return spec;
}

constexpr ParamSpec layer(A_long id, TextId label, A_long layerDefault, PF_ParamUIFlags ui, PF_ParamFlags flags) {
    ParamSpec spec = base(id, PF_Param_LAYER, label, ui, flags);
    spec.layerDefault = layerDefault;
    return spec;
}

constexpr ParamSpec groupStart(A_long id, TextId label, PF_ParamUIFlags ui = kShown) {
    return base(id, PF_Param_GROUP_START, label, ui, kCollapsed);
}

constexpr ParamSpec groupEnd(A_long id, PF_ParamUIFlags ui = kShown) {
    return base(id, PF_Param_GROUP_END, TextId::Empty, ui, PF_ParamFlag_NONE);
}

constexpr ParamSpec customControl(A_long id, TextId label, A_short width, A_short height) {
    ParamSpec spec = base(id, PF_Param_NO_DATA, label, kCustom, S | N);
    spec.uiWidth = width;
    spec.uiHeight = height;
    return spec;
}

constexpr std::array<ParamSpec, kCount> buildTable() {
    std::array<ParamSpec, kCount> t{};
    t[0] = base(0, PF_Param_LAYER, TextId::Empty, kShown, PF_ParamFlag_NONE);

    // The "Language" default is the language detected at registration; English stands in here.
    t[1] = popup(1, TextId::Language, TextId::LanguageChoices, 2, kLanguageEnglish, kCustom, S);
    t[1].uiWidth = 116;
    t[1].uiHeight = 20;
    t[2] = popup(45, TextId::Mode, TextId::ModeChoices, 3, kModeFree, kCustom, S);
    t[2].uiWidth = 116;
    t[2].uiHeight = 20;

    t[3] = groupStart(46, TextId::FreeMode);
    t[4] = floatSlider(4, TextId::CurveAmount, 0, 200, 0, 200, 100, 1, kShown, S);
    t[5] = floatSlider(5, TextId::TwistAmount, 0, 180, 0, 180, 65, 1, kShown, S);
    t[6] = angle(41, TextId::PathBendDirection, kHiddenNoEcw, S);
    t[7] = popup(82, TextId::TileCount, TextId::TileCountChoices, 11, 1, kHiddenNoEcw, S);
    t[8] = checkbox(83, TextId::TileMirror, false, kHiddenNoEcw, S);
    t[9] = floatSlider(84, TextId::TileOffset, -100, 100, -100, 100, 0, 1, kHiddenNoEcw, S);
    t[10] = floatSlider(85, TextId::Motion, 0, 200, 0, 200, 100, 1, kHiddenNoEcw, S);
    t[11] = popup(86, TextId::MotionDirection, TextId::DirectionChoices, 2, 1, kHiddenNoEcw, S);
    t[12] = popup(67, TextId::PointCount, TextId::PointCountChoices, 11, 3, kShown, S);
    t[13] = customControl(7, TextId::GeneratePoints, 260, 20);
    t[14] = base(8, PF_Param_BUTTON, TextId::ResetPoints, kHidden | PF_PUI_STD_CONTROL_ONLY, S);
    t[14].buttonText = TextId::ResetButton;
    t[15] = checkbox(9, TextId::CloseEndpoints, false, kHidden, S | N);
    t[16] = customControl(10, TextId::TopView, 0, 0);
    t[17] = floatSlider(76, TextId::LoopMoveSpeed, -100, 100, -100, 100, 0, 1, kHidden, S);

    // Legacy percent defaults: four points spread over the layer's width on its middle line.
    constexpr double kPointDefaultX[kPointSlots] = {0, 33, 67, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[pointPosition(slot)] = point3d(11 + 2 * slot, pointLabel(slot), kPointDefaultX[slot], 50, 0, S);
    }
    t[30] = groupStart(500, TextId::PointRotation);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[rotationPosition(slot)] = point3d(12 + 2 * slot, rotationLabel(slot), 0, 0, 0, S);
    }
    t[43] = groupEnd(501);
    t[44] = groupEnd(53);

    t[45] = groupStart(47, TextId::PathSelect);
    t[46] = floatSlider(48, TextId::PathLayer, -16777215, 16777215, -16777215, 16777215, 0, 0, kHidden, S | N);
    t[47] = layer(89, TextId::PathLayer, PF_LayerDefault_NONE, kHidden, S | N);
    t[48] = customControl(80, TextId::PathLayer, 220, 20);
    t[49] = checkbox(49, TextId::FitPathLength, true, kShown, S);
    t[50] = angle(50, TextId::PathBendDirection, kHiddenNoEcw, S);
    t[51] = floatSlider(51, TextId::Motion, 0, 200, 0, 200, 100, 1, kHiddenNoEcw, S);
    t[52] = popup(81, TextId::MotionDirection, TextId::DirectionChoices, 2, 1, kHiddenNoEcw, S);
    t[53] = groupEnd(54);

    t[54] = groupStart(104, TextId::ScrollMode);
    t[55] = checkbox(105, TextId::SyncLeftRight, false, kShown, S);
    t[56] = groupStart(106, TextId::LeftCurl);
    t[57] = checkbox(107, TextId::Enabled, true, kShown, S);
    t[58] = popup(108, TextId::Direction, TextId::DirectionInOutChoices, 2, 2, kShown, S);
    t[59] = angle(109, TextId::CurlAngle, kShown, S);
    t[60] = angle(110, TextId::Tilt, kShown, S);
    t[61] = floatSlider(111, TextId::Radius, 1, 10000, 1, 3000, 100, 1, kShown, S);
    t[62] = floatSlider(112, TextId::RadiusChangePerTurn, -1000, 1000, -1000, 1000, 0, 1, kShown, S);
    t[63] = groupEnd(113);
    t[64] = groupStart(114, TextId::RightCurl);
    t[65] = checkbox(115, TextId::Enabled, false, kShown, S);
    t[66] = popup(116, TextId::Direction, TextId::DirectionInOutChoices, 2, 2, kShown, S);
    t[67] = angle(117, TextId::CurlAngle, kShown, S);
    t[68] = angle(118, TextId::Tilt, kShown, S);
    t[69] = floatSlider(119, TextId::Radius, 1, 10000, 1, 3000, 100, 1, kShown, S);
    t[70] = floatSlider(120, TextId::RadiusChangePerTurn, -1000, 1000, -1000, 1000, 0, 1, kShown, S);
    t[71] = groupEnd(121);
    t[72] = groupEnd(122);

    t[73] = groupStart(98, TextId::LayerAdjustment);
    t[74] = floatSlider(2, TextId::SubdivisionX, 8, 640, 8, 320, 160, 0, kShown, S);
    t[75] = floatSlider(3, TextId::SubdivisionY, 1, 64, 1, 32, 8, 0, kShown, S);
    t[76] = floatSlider(52, TextId::LayerScale, 1, 500, 10, 300, 100, 1, kShown, S);
    t[77] = floatSlider(35, TextId::Thickness, 0, 500, 0, 500, 1, 1, kShown, S);
    t[78] = colour(90, TextId::ThicknessColor, 194, 164, 105);
    t[79] = angle(91, TextId::PathBendDirection, kShown, S);
    t[80] = floatSlider(36, TextId::Specular, 0, 300, 0, 300, 120, 1, kShown, S);
    t[81] = floatSlider(37, TextId::ShadowSoftness, 0, 100, 0, 100, 55, 1, kHidden, S, 0.0f);
    t[82] = popup(43, TextId::ShadowMode, TextId::ShadowModeChoices, 4, 1, kHidden, S);
    t[83] = popup(44, TextId::ShadowQuality, TextId::ShadowQualityChoices, 4, 2, kHidden, S);
    t[84] = layer(38, TextId::FrontLayer, PF_LayerDefault_MYSELF, kShown, PF_ParamFlag_NONE);
    t[85] = colour(68, TextId::FrontColor, 255, 255, 255);
    t[86] = checkbox(102, TextId::Flip, false, kShown, S);
    t[87] = layer(39, TextId::BackLayer, PF_LayerDefault_NONE, kShown, PF_ParamFlag_NONE);
    t[88] = colour(40, TextId::BackColor, 194, 164, 105);
    t[89] = checkbox(103, TextId::Flip, false, kShown, S);
    t[90] = groupEnd(99);

    t[91] = checkbox(42, TextId::GeneratedState, false, kHidden, S | N);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[handlePosition(slot)] = point3d(55 + slot, TextId::CurveHandle, 0.06, 0.06, 0, S | N);
    }

    t[104] = groupStart(69, TextId::ObjModel, kHidden);
    t[105] = layer(70, TextId::ObjSourceLayer, PF_LayerDefault_NONE, kHidden, PF_ParamFlag_NONE);
    t[106] = floatSlider(71, TextId::ObjScale, 0.01f, 1000, 1, 300, 100, 1, kHidden, S);
    t[107] = checkbox(72, TextId::ObjCenter, true, kHidden, S);
    t[108] = checkbox(73, TextId::ObjFlipV, true, kHidden, S);
    t[109] = checkbox(74, TextId::ObjSmoothNormals, true, kHidden, S);
    t[110] = groupEnd(75, kHidden);
    t[111] = popup(77, TextId::Shape, TextId::ShapeChoices, 4, kShapeNone, kHidden, S | N);

    t[112] = groupStart(100, TextId::TileAnimation);
    t[113] = popup(92, TextId::TileCount, TextId::TileCountChoices, 11, 1, kShown, S);
    t[114] = checkbox(93, TextId::TileMirror, false, kShown, S);
    t[115] = floatSlider(94, TextId::TileOffset, -100, 100, -100, 100, 0, 1, kShown, S);
    t[116] = floatSlider(95, TextId::Animation, 0, 200, 0, 200, 100, 1, kShown, S);
    t[117] = popup(96, TextId::AnimationDirection, TextId::DirectionChoices, 2, 1, kShown, S);
    t[118] = groupEnd(101);

    // A new instance takes the default (on); a project saved before this parameter existed takes the
    // value (off), which keeps the per-mode controls it was made with in charge.
    t[119] = checkbox(97, TextId::CommonSyncState, true, kHidden, O | S | N);
    t[119].value = 0;
    t[120] = checkbox(79, TextId::QuickPreview, true, kShown, S);
    t[121] = checkbox(123, TextId::GpuAcceleration, false, kShown, O | S);

    for (int position = 0; position < kCount; ++position) t[position].position = position;
    return t;
}

constexpr std::array<ParamSpec, kCount> kTable = buildTable();

constexpr bool everyPositionFilled() {
    for (int position = 1; position < kCount; ++position) {
        if (kTable[position].type == PF_Param_RESERVED || kTable[position].diskId == 0) return false;
    }
    return true;
}
static_assert(everyPositionFilled(), "every position from 1 to 121 must be registered");

}  // namespace

const std::array<ParamSpec, param::kCount>& paramTable() { return kTable; }

}  // namespace zephrin
