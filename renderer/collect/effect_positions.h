// Positions of the bend effect's parameters in its parameter list (the input layer is 0). The list
// is the only contract between the effect and the renderer: these numbers never change.
#pragma once

#include <cstdint>

namespace zephrin::effectpos {

constexpr int32_t kMode = 2;
constexpr int32_t kCurveAmount = 4;
constexpr int32_t kTwistAmount = 5;
constexpr int32_t kFreeBendDirection = 6;
constexpr int32_t kFreeTileCount = 7;
constexpr int32_t kFreeTileMirror = 8;
constexpr int32_t kFreeTileOffset = 9;
constexpr int32_t kFreeMotion = 10;
constexpr int32_t kFreeMotionDirection = 11;
constexpr int32_t kPointCount = 12;
constexpr int32_t kCloseEndpoints = 15;
constexpr int32_t kLoopMoveSpeed = 17;
constexpr int32_t kFirstPoint = 18;          // "Point 1" ... "Point 12"
constexpr int32_t kFourthPoint = 21;         // a bend effect always has this one
constexpr int32_t kFirstPointRotation = 31;  // "Point 1 Rotation" ... "Point 12 Rotation"
constexpr int32_t kPathLayerNumber = 46;
constexpr int32_t kPathLayer = 47;
constexpr int32_t kFitPathLength = 49;
constexpr int32_t kPathBendDirection = 50;
constexpr int32_t kPathMotion = 51;
constexpr int32_t kPathMotionDirection = 52;
constexpr int32_t kSyncLeftRight = 55;
constexpr int32_t kLeftCurl = 57;   // Enabled, Direction, Curl Angle, Tilt, Radius, Radius Change / Turn
constexpr int32_t kRightCurl = 65;  // the same six
constexpr int32_t kSubdivisionX = 74;
constexpr int32_t kSubdivisionY = 75;
constexpr int32_t kLayerScale = 76;
constexpr int32_t kThickness = 77;
constexpr int32_t kThicknessColor = 78;
constexpr int32_t kCommonBendDirection = 79;
constexpr int32_t kSpecular = 80;
constexpr int32_t kShadowSoftness = 81;
constexpr int32_t kShadowMode = 82;
constexpr int32_t kShadowQuality = 83;
constexpr int32_t kFrontLayer = 84;
constexpr int32_t kFrontColor = 85;
constexpr int32_t kFrontFlip = 86;
constexpr int32_t kBackLayer = 87;
constexpr int32_t kBackColor = 88;
constexpr int32_t kBackFlip = 89;
constexpr int32_t kFirstCurveHandle = 92;  // twelve, one per control point
constexpr int32_t kObjSourceLayer = 105;
constexpr int32_t kObjScale = 106;
constexpr int32_t kObjCenter = 107;
constexpr int32_t kObjFlipV = 108;
constexpr int32_t kObjSmoothNormals = 109;
constexpr int32_t kShape = 111;
constexpr int32_t kCommonTileCount = 113;
constexpr int32_t kCommonTileMirror = 114;
constexpr int32_t kCommonTileOffset = 115;
constexpr int32_t kCommonMotion = 116;
constexpr int32_t kCommonMotionDirection = 117;
constexpr int32_t kCommonSyncState = 119;
constexpr int32_t kQuickPreview = 120;
constexpr int32_t kGpuAcceleration = 121;

constexpr int32_t kMaxControlPoints = 12;

}  // namespace zephrin::effectpos
