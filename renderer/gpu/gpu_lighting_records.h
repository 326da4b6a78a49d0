// The lighting pass's buffer records, byte for byte as its compute shader declares them (std430,
// little-endian): every vec3 is followed by a 4-byte field, and the result's colour is four floats
// rather than a vec4, so that no member or array stride picks up hidden padding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephrin {

struct LightingLight {
    float positionWorld[3];
    uint32_t type;
    float directionWorld[3];
    uint32_t castsShadows;  // 0 or 1
    float positionView[3];
    uint32_t falloffMode;  // 0 none, 1 smooth, 2 inverse square clamped
    float directionView[3];
    uint32_t shadowMapValid;  // the map has texels in shadowDepth
    float color[3];
    float intensity;
    float coneAngleDegrees;
    float coneFeather;
    float falloffStart;
    float falloffDistance;
    float shadowDarkness;
    float shadowDiffusion;
    uint32_t shadowMapOffset;  // index of the map's first texel in shadowDepth
    uint32_t shadowMapWidth;
    uint32_t shadowMapHeight;
    // How the map compares depths: perspective maps compare linear distances between their planes,
    // with a bias that grows with the texel size there; far == near (both 0) marks a linear map.
    float shadowMapNear;
    float shadowMapFar;
    float shadowMapTexelSpread;
    float worldToClip[4][4];  // rows: clip component r = worldToClip[r] . (x, y, z, 1)
};

struct LightingSurface {
    uint32_t flags;  // kLightingSurface* bits and fields below
    float shadowSoftness;
    float specularScale;  // controls.specular / 100, clamped as the model clamps it
    float pad0;
    float material[4];  // ambient, diffuse, specular intensity, shininess, clamped as the model does
};

constexpr uint32_t kLightingSurfaceKindMask = 0x3u;
constexpr uint32_t kLightingSurfaceAcceptsLights = 1u << 4;
constexpr uint32_t kLightingSurfaceAcceptsShadows = 1u << 5;
constexpr uint32_t kLightingSurfaceShadowModeShift = 8;
constexpr uint32_t kLightingSurfaceShadowQualityShift = 12;
constexpr uint32_t kLightingSurfaceFieldMask = 0x7u;

struct LightingQuery {
    float posWorld[3];
    uint32_t packedIdentity;  // surface index << 24 | triangle index
    float normalWorld[3];     // oriented toward the viewer's side of the face
    uint32_t flags;           // face code; both kinds of side wall given as 2
    float base[4];            // red, green, blue, alpha with the surface opacity
};

struct LightingResult {
    float color[4];
    float shadowVisibility;
    float shadowDistanceHint;
    float slopeR, slopeG, slopeB;
    uint32_t sampledShadow;  // non-zero when some light was shadow tested
};

struct LightingParams {
    uint32_t queryCount;
    uint32_t lightCount;
    uint32_t nodeCount;
    uint32_t triangleCount;
    float worldToView[4][4];  // rows: camera component r = worldToView[r] . (x, y, z, 1)
};

static_assert(sizeof(LightingLight) == 192 && offsetof(LightingLight, type) == 12 &&
                  offsetof(LightingLight, castsShadows) == 28 && offsetof(LightingLight, falloffMode) == 44 &&
                  offsetof(LightingLight, shadowMapValid) == 60 && offsetof(LightingLight, color) == 64 &&
                  offsetof(LightingLight, intensity) == 76 && offsetof(LightingLight, shadowDiffusion) == 100 &&
                  offsetof(LightingLight, shadowMapOffset) == 104 && offsetof(LightingLight, shadowMapNear) == 116 &&
                  offsetof(LightingLight, worldToClip) == 128,
              "LightingLight mirrors the shader's 192-byte record");
static_assert(sizeof(LightingSurface) == 32 && offsetof(LightingSurface, material) == 16,
              "LightingSurface mirrors the shader's 32-byte record");
static_assert(sizeof(LightingQuery) == 48 && offsetof(LightingQuery, packedIdentity) == 12 &&
                  offsetof(LightingQuery, normalWorld) == 16 && offsetof(LightingQuery, flags) == 28 &&
                  offsetof(LightingQuery, base) == 32,
              "LightingQuery mirrors the shader's 48-byte record");
static_assert(sizeof(LightingResult) == 40 && offsetof(LightingResult, shadowVisibility) == 16 &&
                  offsetof(LightingResult, sampledShadow) == 36,
              "LightingResult mirrors the shader's 40-byte record");
static_assert(sizeof(LightingParams) == 80 && offsetof(LightingParams, worldToView) == 16,
              "lighting Params is 80 bytes");

// The shader's work group: 64 queries per group.
constexpr uint32_t kLightingGroupSize = 64;
// Identities pack a surface into 7 bits and a triangle into 24.
constexpr size_t kMaxLightingSurfaces = 128;
constexpr size_t kMaxLightingTrianglesPerSurface = 16777216;

}  // namespace zephrin
