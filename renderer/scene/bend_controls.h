// The renderer's snapshot of one layer's effect settings, with the values a layer without the
// effect renders with.
#pragma once

#include <cstdint>

#include "common/effect_contract.h"

namespace zephrin {

// 32 bits: alpha in the low byte, then red, green, blue (the host's 8-bit pixel byte order).
using PackedColor = uint32_t;

constexpr PackedColor packColor(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<PackedColor>(alpha) | (static_cast<PackedColor>(red) << 8) |
           (static_cast<PackedColor>(green) << 16) | (static_cast<PackedColor>(blue) << 24);
}
constexpr uint8_t packedAlpha(PackedColor c) { return static_cast<uint8_t>(c & 0xffu); }
constexpr uint8_t packedRed(PackedColor c) { return static_cast<uint8_t>((c >> 8) & 0xffu); }
constexpr uint8_t packedGreen(PackedColor c) { return static_cast<uint8_t>((c >> 16) & 0xffu); }
constexpr uint8_t packedBlue(PackedColor c) { return static_cast<uint8_t>((c >> 24) & 0xffu); }

struct CurlControls {
    bool enabled = false;
    int32_t direction = 2;  // 1 inward, 2 outward
    double curlAngle = 0.0;
    double tilt = 0.0;
    double radius = 100.0;
    double radiusChangePerTurn = 0.0;
};

struct BendControls {
    int32_t subdivisionX = 96;
    int32_t subdivisionY = 8;
    int32_t mode = param::kModeFree;  // a "Mode" choice
    double layerScale = 100.0;
    double curveAmount = 100.0;
    double twistAmount = 65.0;
    double bendDirection = 0.0;
    double thickness = 1.0;
    double specular = 120.0;
    double shadowSoftness = 55.0;
    ShadowMode shadowMode = ShadowMode::Auto;
    int32_t shadowQuality = 2;
    int32_t frontLayerId = 0;  // the caller sets the layer's own id
    int32_t backLayerId = 0;
    int32_t pathLayerRef = 0;
    bool closeEndpoints = false;
    double loopMoveSpeed = 0.0;
    double loopPhase = 0.0;
    int32_t shapePreset = 1;
    bool quickPreview = false;
    bool gpuAcceleration = false;
    bool fitPathLength = true;
    double pathBendDirection = 0.0;
    double motion = 100.0;
    int32_t motionDirection = 1;
    int32_t tileCount = 0;
    bool tileMirror = false;
    double tileOffset = 0.0;
    bool hasFrontLayer = false;
    PackedColor frontColor = packColor(255, 255, 255, 255);
    PackedColor backColor = packColor(255, 194, 164, 105);
    PackedColor thicknessColor = packColor(255, 194, 164, 105);
    bool frontFlip = false;
    bool backFlip = false;
    int32_t objSourceLayerId = 0;
    double objScale = 100.0;
    bool objCenter = true;
    bool objFlipV = true;
    bool objSmoothNormals = true;
    bool syncLeftRight = false;
    CurlControls leftCurl{true, 2, 0.0, 0.0, 100.0, 0.0};
    CurlControls rightCurl{false, 2, 0.0, 0.0, 100.0, 0.0};
};

// Defaults for a layer whose own id is `layerId`: the front texture is the layer itself.
inline BendControls defaultBendControls(int32_t layerId) {
    BendControls controls;
    controls.frontLayerId = layerId;
    controls.hasFrontLayer = layerId != 0;
    return controls;
}

struct BendControlPoint {
    double x = 0.0;
    double y = 0.0;
    double twist = 0.0;
    double slope = 0.0;
    double outLength = kDefaultHandleLength;
    double inLength = kDefaultHandleLength;
    double outSlope = 0.0;
    double inSlope = 0.0;
};

}  // namespace zephrin
