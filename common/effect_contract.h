// What the effect and the renderer must agree on, written once. The renderer never links the effect:
// it finds it on a layer by its match name and reads its settings through host streams by position, so
// these numbers are the whole interface between them. Positions and disk ids never change (the host
// stores values under the ids, the renderer reads them by position), so nothing is ever inserted or
// moved, and the popup choices below are stored in projects as they stand.
#pragma once

#include <cstdint>

namespace zephrin {

// The effect's match name, as it announces itself and as the renderer looks for it.
inline constexpr char kBendEffectMatchName[] = "com.tavik.ZephrinSurface";

// Handle length, out and in, of a fresh control point in the curve's normalized plane; also what a
// missing or non-finite handle length counts as.
constexpr double kDefaultHandleLength = 0.06;
// Slopes ("Point n Rotation" x and "Curve Handle" z) are stored times this, and held within
// ±kMaxSlope before storing and after reading.
constexpr double kStoredSlopeScale = 60.0;
constexpr double kMaxSlope = 4096.0;
// A stored in-slope smaller than this in magnitude means "use the point's own slope", so an explicit
// zero is stored as the marker.
constexpr double kUnsetSlopeMagnitude = 1e-9;
constexpr double kExplicitZeroSlope = 1e-7;

// "Shadow Mode" choices.
enum class ShadowMode : int32_t { Auto = 1, MapFast = 2, RayTrace = 3, Hybrid = 4 };

namespace param {

constexpr int kInputLayer = 0;
constexpr int kLanguage = 1;
constexpr int kMode = 2;
constexpr int kFreeModeGroup = 3;
constexpr int kCurveAmount = 4;
constexpr int kTwistAmount = 5;
constexpr int kFreeBendDirection = 6;
constexpr int kFreeTileCount = 7;
constexpr int kFreeTileMirror = 8;
constexpr int kFreeTileOffset = 9;
constexpr int kFreeMotion = 10;
constexpr int kFreeMotionDirection = 11;
constexpr int kPointCount = 12;
constexpr int kGeneratePoints = 13;
constexpr int kResetPoints = 14;
constexpr int kCloseEndpoints = 15;
constexpr int kTopView = 16;
constexpr int kLoopMoveSpeed = 17;
constexpr int kFirstPoint = 18;  // "Point 1" … "Point 12": 18…29
constexpr int kPointRotationGroup = 30;
constexpr int kFirstRotation = 31;  // "Point 1 Rotation" … "Point 12 Rotation": 31…42
constexpr int kPointRotationGroupEnd = 43;
constexpr int kFreeModeGroupEnd = 44;
constexpr int kPathSelectGroup = 45;
constexpr int kPathLayerIndex = 46;  // the chosen path layer's id as a number
constexpr int kPathLayer = 47;
constexpr int kPathLayerPicker = 48;
constexpr int kFitPathLength = 49;
constexpr int kPathBendDirection = 50;
constexpr int kPathMotion = 51;
constexpr int kPathMotionDirection = 52;
constexpr int kPathSelectGroupEnd = 53;
constexpr int kScrollModeGroup = 54;
constexpr int kSyncLeftRight = 55;
constexpr int kLeftCurlGroup = 56;
// Each curl group holds Enabled, Direction, Curl Angle, Tilt, Radius, Radius Change / Turn in this order.
constexpr int kLeftEnabled = 57;
constexpr int kLeftDirection = 58;
constexpr int kLeftCurlAngle = 59;
constexpr int kLeftTilt = 60;
constexpr int kLeftRadius = 61;
constexpr int kLeftRadiusChange = 62;
constexpr int kLeftCurlGroupEnd = 63;
constexpr int kRightCurlGroup = 64;
constexpr int kRightEnabled = 65;
constexpr int kRightDirection = 66;
constexpr int kRightCurlAngle = 67;
constexpr int kRightTilt = 68;
constexpr int kRightRadius = 69;
constexpr int kRightRadiusChange = 70;
constexpr int kRightCurlGroupEnd = 71;
constexpr int kScrollModeGroupEnd = 72;
constexpr int kLayerAdjustmentGroup = 73;
constexpr int kSubdivisionX = 74;
constexpr int kSubdivisionY = 75;
constexpr int kLayerScale = 76;
constexpr int kThickness = 77;
constexpr int kThicknessColor = 78;
constexpr int kBendDirection = 79;  // the common "Path Bend Direction"
constexpr int kSpecular = 80;
constexpr int kShadowSoftness = 81;
constexpr int kShadowMode = 82;
constexpr int kShadowQuality = 83;
constexpr int kFrontLayer = 84;
constexpr int kFrontColor = 85;
constexpr int kFrontFlip = 86;
constexpr int kBackLayer = 87;
constexpr int kBackColor = 88;
constexpr int kBackFlip = 89;
constexpr int kLayerAdjustmentGroupEnd = 90;
constexpr int kGeneratedState = 91;
constexpr int kFirstHandle = 92;  // twelve "Curve Handle": 92…103
constexpr int kObjModelGroup = 104;
constexpr int kObjSourceLayer = 105;
constexpr int kObjScale = 106;
constexpr int kObjCenter = 107;
constexpr int kObjFlipV = 108;
constexpr int kObjSmoothNormals = 109;
constexpr int kObjModelGroupEnd = 110;
constexpr int kShape = 111;
constexpr int kTileAnimationGroup = 112;
// The common tile and motion controls; they lead while "Common Sync State" is on.
constexpr int kTileCount = 113;
constexpr int kTileMirror = 114;
constexpr int kTileOffset = 115;
constexpr int kAnimation = 116;
constexpr int kAnimationDirection = 117;
constexpr int kTileAnimationGroupEnd = 118;
constexpr int kCommonSyncState = 119;
constexpr int kQuickPreview = 120;
constexpr int kGpuAcceleration = 121;

// PF_OutData.num_params: every parameter including the input layer.
constexpr int kCount = 122;
constexpr int kPointSlots = 12;

constexpr int pointPosition(int slot) { return kFirstPoint + slot; }
constexpr int rotationPosition(int slot) { return kFirstRotation + slot; }
constexpr int handlePosition(int slot) { return kFirstHandle + slot; }

// "Mode" choices and "Language" choices, as the popups number them.
constexpr int kModeFree = 1;
constexpr int kModePathSelect = 2;
constexpr int kModeScroll = 3;
constexpr int kLanguageChinese = 1;
constexpr int kLanguageEnglish = 2;

// "Shape" choices.
constexpr int kShapeNone = 1;
constexpr int kShapeSquare = 2;
constexpr int kShapeRoundSquare = 3;
constexpr int kShapeCircle = 4;

}  // namespace param
}  // namespace zephrin
