// Every text the effect hands to the host in English or Chinese: parameter labels, popup choice strings,
// button texts and the About description. English is registered as is; Chinese is held as UTF-16 and
// converted once to the system's 8-bit code page for the host.
#pragma once

#include <string>

namespace zephrin {

enum class TextId : int {
    Empty,
    Language,
    LanguageChoices,
    Mode,
    ModeChoices,
    FreeMode,
    CurveAmount,
    TwistAmount,
    PathBendDirection,
    TileCount,
    TileCountChoices,
    TileMirror,
    TileOffset,
    Motion,
    MotionDirection,
    DirectionChoices,
    PointCount,
    PointCountChoices,
    GeneratePoints,
    ResetPoints,
    ResetButton,
    CloseEndpoints,
    TopView,
    LoopMoveSpeed,
    Point1,  // Point1 … Point12 are consecutive
    Point12 = Point1 + 11,
    PointRotation,
    Point1Rotation,  // Point1Rotation … Point12Rotation are consecutive
    Point12Rotation = Point1Rotation + 11,
    PathSelect,
    PathLayer,
    FitPathLength,
    ScrollMode,
    SyncLeftRight,
    LeftCurl,
    RightCurl,
    Enabled,
    Direction,
    DirectionInOutChoices,
    CurlAngle,
    Tilt,
    Radius,
    RadiusChangePerTurn,
    LayerAdjustment,
    SubdivisionX,
    SubdivisionY,
    LayerScale,
    Thickness,
    ThicknessColor,
    Specular,
    ShadowSoftness,
    ShadowMode,
    ShadowModeChoices,
    ShadowQuality,
    ShadowQualityChoices,
    FrontLayer,
    FrontColor,
    Flip,
    BackLayer,
    BackColor,
    GeneratedState,
    CurveHandle,
    ObjModel,
    ObjSourceLayer,
    ObjScale,
    ObjCenter,
    ObjFlipV,
    ObjSmoothNormals,
    Shape,
    ShapeChoices,
    TileAnimation,
    Animation,
    AnimationDirection,
    CommonSyncState,
    QuickPreview,
    GpuAcceleration,
    EffectName,
    Description,
    Count
};

// English as registered; Chinese as UTF-16, or null for texts that are never translated.
struct TextPair {
    TextId id;
    const char* english;
    const char16_t* chinese;
};

const TextPair& textPair(TextId id);

constexpr TextId pointLabel(int slot) { return static_cast<TextId>(static_cast<int>(TextId::Point1) + slot); }
constexpr TextId rotationLabel(int slot) {
    return static_cast<TextId>(static_cast<int>(TextId::Point1Rotation) + slot);
}

// The 8-bit text for the host: English unless Chinese is asked for and exists, otherwise the Chinese
// text converted to the system code page. Conversions are made once for the life of the process; a
// text the code page cannot represent comes back empty. The pointer stays valid for the process.
const char* localize(TextId id, bool chinese);

// The UTF-16 text for Win32 menus: Chinese when asked for and present, otherwise English.
std::u16string wideText(TextId id, bool chinese);

}  // namespace zephrin
