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
    t[kInputLayer] = base(0, PF_Param_LAYER, TextId::Empty, kShown, PF_ParamFlag_NONE);

    // The "Language" default is the language detected at registration; English stands in here.
    t[kLanguage] = popup(1, TextId::Language, TextId::LanguageChoices, 2, kLanguageEnglish, kCustom, S);
    t[kLanguage].uiWidth = 116;
    t[kLanguage].uiHeight = 20;
    t[kMode] = popup(45, TextId::Mode, TextId::ModeChoices, 3, kModeFree, kCustom, S);
    t[kMode].uiWidth = 116;
    t[kMode].uiHeight = 20;

    t[kFreeModeGroup] = groupStart(46, TextId::FreeMode);
    t[kCurveAmount] = floatSlider(4, TextId::CurveAmount, 0, 200, 0, 200, 100, 1, kShown, S);
    t[kTwistAmount] = floatSlider(5, TextId::TwistAmount, 0, 180, 0, 180, 65, 1, kShown, S);
    t[kFreeBendDirection] = angle(41, TextId::PathBendDirection, kHiddenNoEcw, S);
    t[kFreeTileCount] = popup(82, TextId::TileCount, TextId::TileCountChoices, 11, 1, kHiddenNoEcw, S);
    t[kFreeTileMirror] = checkbox(83, TextId::TileMirror, false, kHiddenNoEcw, S);
    t[kFreeTileOffset] = floatSlider(84, TextId::TileOffset, -100, 100, -100, 100, 0, 1, kHiddenNoEcw, S);
    t[kFreeMotion] = floatSlider(85, TextId::Motion, 0, 200, 0, 200, 100, 1, kHiddenNoEcw, S);
    t[kFreeMotionDirection] = popup(86, TextId::MotionDirection, TextId::DirectionChoices, 2, 1, kHiddenNoEcw, S);
    t[kPointCount] = popup(67, TextId::PointCount, TextId::PointCountChoices, 11, 3, kShown, S);
    t[kGeneratePoints] = customControl(7, TextId::GeneratePoints, 260, 20);
    t[kResetPoints] = base(8, PF_Param_BUTTON, TextId::ResetPoints, kHidden | PF_PUI_STD_CONTROL_ONLY, S);
    t[kResetPoints].buttonText = TextId::ResetButton;
    t[kCloseEndpoints] = checkbox(9, TextId::CloseEndpoints, false, kHidden, S | N);
    t[kTopView] = customControl(10, TextId::TopView, 0, 0);
    t[kLoopMoveSpeed] = floatSlider(76, TextId::LoopMoveSpeed, -100, 100, -100, 100, 0, 1, kHidden, S);

    // Legacy percent defaults: four points spread over the layer's width on its middle line.
    constexpr double kPointDefaultX[kPointSlots] = {0, 33, 67, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[pointPosition(slot)] = point3d(11 + 2 * slot, pointLabel(slot), kPointDefaultX[slot], 50, 0, S);
    }
    t[kPointRotationGroup] = groupStart(500, TextId::PointRotation);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[rotationPosition(slot)] = point3d(12 + 2 * slot, rotationLabel(slot), 0, 0, 0, S);
    }
    t[kPointRotationGroupEnd] = groupEnd(501);
    t[kFreeModeGroupEnd] = groupEnd(53);

    t[kPathSelectGroup] = groupStart(47, TextId::PathSelect);
    t[kPathLayerIndex] =
        floatSlider(48, TextId::PathLayer, -16777215, 16777215, -16777215, 16777215, 0, 0, kHidden, S | N);
    t[kPathLayer] = layer(89, TextId::PathLayer, PF_LayerDefault_NONE, kHidden, S | N);
    t[kPathLayerPicker] = customControl(80, TextId::PathLayer, 220, 20);
    t[kFitPathLength] = checkbox(49, TextId::FitPathLength, true, kShown, S);
    t[kPathBendDirection] = angle(50, TextId::PathBendDirection, kHiddenNoEcw, S);
    t[kPathMotion] = floatSlider(51, TextId::Motion, 0, 200, 0, 200, 100, 1, kHiddenNoEcw, S);
    t[kPathMotionDirection] = popup(81, TextId::MotionDirection, TextId::DirectionChoices, 2, 1, kHiddenNoEcw, S);
    t[kPathSelectGroupEnd] = groupEnd(54);

    t[kScrollModeGroup] = groupStart(104, TextId::ScrollMode);
    t[kSyncLeftRight] = checkbox(105, TextId::SyncLeftRight, false, kShown, S);
    t[kLeftCurlGroup] = groupStart(106, TextId::LeftCurl);
    t[kLeftEnabled] = checkbox(107, TextId::Enabled, true, kShown, S);
    t[kLeftDirection] = popup(108, TextId::Direction, TextId::DirectionInOutChoices, 2, 2, kShown, S);
    t[kLeftCurlAngle] = angle(109, TextId::CurlAngle, kShown, S);
    t[kLeftTilt] = angle(110, TextId::Tilt, kShown, S);
    t[kLeftRadius] = floatSlider(111, TextId::Radius, 1, 10000, 1, 3000, 100, 1, kShown, S);
    t[kLeftRadiusChange] = floatSlider(112, TextId::RadiusChangePerTurn, -1000, 1000, -1000, 1000, 0, 1, kShown, S);
    t[kLeftCurlGroupEnd] = groupEnd(113);
    t[kRightCurlGroup] = groupStart(114, TextId::RightCurl);
    t[kRightEnabled] = checkbox(115, TextId::Enabled, false, kShown, S);
    t[kRightDirection] = popup(116, TextId::Direction, TextId::DirectionInOutChoices, 2, 2, kShown, S);
    t[kRightCurlAngle] = angle(117, TextId::CurlAngle, kShown, S);
    t[kRightTilt] = angle(118, TextId::Tilt, kShown, S);
    t[kRightRadius] = floatSlider(119, TextId::Radius, 1, 10000, 1, 3000, 100, 1, kShown, S);
    t[kRightRadiusChange] = floatSlider(120, TextId::RadiusChangePerTurn, -1000, 1000, -1000, 1000, 0, 1, kShown, S);
    t[kRightCurlGroupEnd] = groupEnd(121);
    t[kScrollModeGroupEnd] = groupEnd(122);

    t[kLayerAdjustmentGroup] = groupStart(98, TextId::LayerAdjustment);
    t[kSubdivisionX] = floatSlider(2, TextId::SubdivisionX, 8, 640, 8, 320, 160, 0, kShown, S);
    t[kSubdivisionY] = floatSlider(3, TextId::SubdivisionY, 1, 64, 1, 32, 8, 0, kShown, S);
    t[kLayerScale] = floatSlider(52, TextId::LayerScale, 1, 500, 10, 300, 100, 1, kShown, S);
    t[kThickness] = floatSlider(35, TextId::Thickness, 0, 500, 0, 500, 1, 1, kShown, S);
    t[kThicknessColor] = colour(90, TextId::ThicknessColor, 194, 164, 105);
    t[kBendDirection] = angle(91, TextId::PathBendDirection, kShown, S);
    t[kSpecular] = floatSlider(36, TextId::Specular, 0, 300, 0, 300, 120, 1, kShown, S);
    t[kShadowSoftness] = floatSlider(37, TextId::ShadowSoftness, 0, 100, 0, 100, 55, 1, kHidden, S, 0.0f);
    t[kShadowMode] = popup(43, TextId::ShadowMode, TextId::ShadowModeChoices, 4, 1, kHidden, S);
    t[kShadowQuality] = popup(44, TextId::ShadowQuality, TextId::ShadowQualityChoices, 4, 2, kHidden, S);
    t[kFrontLayer] = layer(38, TextId::FrontLayer, PF_LayerDefault_MYSELF, kShown, PF_ParamFlag_NONE);
    t[kFrontColor] = colour(68, TextId::FrontColor, 255, 255, 255);
    t[kFrontFlip] = checkbox(102, TextId::Flip, false, kShown, S);
    t[kBackLayer] = layer(39, TextId::BackLayer, PF_LayerDefault_NONE, kShown, PF_ParamFlag_NONE);
    t[kBackColor] = colour(40, TextId::BackColor, 194, 164, 105);
    t[kBackFlip] = checkbox(103, TextId::Flip, false, kShown, S);
    t[kLayerAdjustmentGroupEnd] = groupEnd(99);

    t[kGeneratedState] = checkbox(42, TextId::GeneratedState, false, kHidden, S | N);
    for (int slot = 0; slot < kPointSlots; ++slot) {
        t[handlePosition(slot)] =
            point3d(55 + slot, TextId::CurveHandle, kDefaultHandleLength, kDefaultHandleLength, 0, S | N);
    }

    t[kObjModelGroup] = groupStart(69, TextId::ObjModel, kHidden);
    t[kObjSourceLayer] = layer(70, TextId::ObjSourceLayer, PF_LayerDefault_NONE, kHidden, PF_ParamFlag_NONE);
    t[kObjScale] = floatSlider(71, TextId::ObjScale, 0.01f, 1000, 1, 300, 100, 1, kHidden, S);
    t[kObjCenter] = checkbox(72, TextId::ObjCenter, true, kHidden, S);
    t[kObjFlipV] = checkbox(73, TextId::ObjFlipV, true, kHidden, S);
    t[kObjSmoothNormals] = checkbox(74, TextId::ObjSmoothNormals, true, kHidden, S);
    t[kObjModelGroupEnd] = groupEnd(75, kHidden);
    t[kShape] = popup(77, TextId::Shape, TextId::ShapeChoices, 4, kShapeNone, kHidden, S | N);

    t[kTileAnimationGroup] = groupStart(100, TextId::TileAnimation);
    t[kTileCount] = popup(92, TextId::TileCount, TextId::TileCountChoices, 11, 1, kShown, S);
    t[kTileMirror] = checkbox(93, TextId::TileMirror, false, kShown, S);
    t[kTileOffset] = floatSlider(94, TextId::TileOffset, -100, 100, -100, 100, 0, 1, kShown, S);
    t[kAnimation] = floatSlider(95, TextId::Animation, 0, 200, 0, 200, 100, 1, kShown, S);
    t[kAnimationDirection] = popup(96, TextId::AnimationDirection, TextId::DirectionChoices, 2, 1, kShown, S);
    t[kTileAnimationGroupEnd] = groupEnd(101);

    // A new instance takes the default (on); a project saved before this parameter existed takes the
    // value (off), which keeps the per-mode controls it was made with in charge.
    t[kCommonSyncState] = checkbox(97, TextId::CommonSyncState, true, kHidden, O | S | N);
    t[kCommonSyncState].value = 0;
    t[kQuickPreview] = checkbox(79, TextId::QuickPreview, true, kShown, S);
    t[kGpuAcceleration] = checkbox(123, TextId::GpuAcceleration, false, kShown, O | S);

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
