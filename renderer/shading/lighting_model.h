// The lighting model's limits and its two attenuation factors (distance falloff and spot cone), used
// by the shading. Its gains are in renderer/scene/light_gains.h.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/scene/light_gains.h"

namespace zephrin {

// Material and light limits of the model.
constexpr double kMaxMaterialCoefficient = 4.0;
constexpr double kMinShininessExponent = 1.0;
constexpr double kMaxShininessExponent = 128.0;
constexpr double kMaxSpecularScale = 3.0;
// A light that attenuates below this cannot change a 16-bit pixel; it is neither shaded nor traced.
constexpr double kMinAttenuation = 1e-6;
// N.L at or below this faces away from the light.
constexpr double kMinFacing = 1e-6;

// Spot cone limits, degrees: narrower or wider cones are taken at these angles.
constexpr double kMinConeAngle = 1.0;
constexpr double kMaxConeAngle = 179.0;
// Smooth falloff reaches 1 / (1 + 7) = 1/8 at the falloff distance.
constexpr double kSmoothFalloffSteepness = 7.0;

// Distance attenuation in [0, 1] for a point or spot light `distance` pixels away; 1 for other types.
double lightFalloff(const SceneLight& light, double distance);

// What the falloff needs of a light, worked out once per frame rather than once per pixel.
struct FalloffShape {
    int32_t type = 0;    // 0 none (and every light that is not a point or spot), 1 smooth, 2 inverse square
    double start = 0.0;  // smooth: where the falloff starts, and the length over which it falls
    double span = 1.0;
    double range = 1.0;  // inverse square: the squared distance within which the light is full
};
FalloffShape falloffShape(const SceneLight& light);

// Inline: shading asks once per lit pixel and light.
inline double lightFalloff(const FalloffShape& shape, double distance) {
    switch (shape.type) {
        case 1: {
            double t = std::clamp((distance - shape.start) / shape.span, 0.0, 1.0);
            if (std::isnan(t)) return 1.0;
            return 1.0 / (1.0 + kSmoothFalloffSteepness * t * t);
        }
        case 2: {
            double factor = 1.0 / std::max(distance * distance / shape.range, 1.0);
            return std::isnan(factor) ? 1.0 : factor;
        }
        default:
            return 1.0;
    }
}

// Spot cone attenuation in [0, 1] for the unit vector from the light to the point; 1 for other types.
double spotCone(const SceneLight& light, const Vec3& lightToPoint);

// What the cone test needs of a light, worked out once per frame rather than once per pixel.
struct SpotConeShape {
    bool spot = false;
    Vec3 axis{0.0, 0.0, 1.0};  // unit
    double outer = 0.0;        // cosine of the half angle
    double inner = 1.0;        // cosine where the feather ends
};
SpotConeShape spotConeShape(const SceneLight& light);

// Keeps the feather band of a zero-feather spot from dividing by zero.
constexpr double kMinFeatherBand = 1e-6;

// Inline: shading asks once per lit pixel and light, where a call costs as much as the test.
inline double spotCone(const SpotConeShape& cone, const Vec3& lightToPoint) {
    if (!cone.spot) return 1.0;
    double q = dot(cone.axis, lightToPoint);
    // A direction the host could not express lights nothing rather than poisoning the pixel.
    if (!std::isfinite(q)) return 0.0;
    if (q <= cone.outer) return 0.0;
    if (q >= cone.inner) return 1.0;
    double t = (q - cone.outer) / std::max(cone.inner - cone.outer, kMinFeatherBand);
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace zephrin
