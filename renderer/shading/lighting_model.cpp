#include "renderer/shading/lighting_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zephrin {
namespace {

bool isPositional(const SceneLight& light) { return light.type == kLightPoint || light.type == kLightSpot; }

}  // namespace

double lightFalloff(const SceneLight& light, double distance) {
    if (!isPositional(light)) return 1.0;
    switch (light.falloffType) {
        case 1: {
            double start = std::max(light.falloffRadius, 0.0);
            double t = std::clamp((distance - start) / std::max(light.falloffDistance - start, 1.0), 0.0, 1.0);
            if (std::isnan(t)) return 1.0;
            return 1.0 / (1.0 + kSmoothFalloffSteepness * t * t);
        }
        case 2: {
            double range = std::max(light.falloffDistance * light.falloffDistance, 1.0);
            double factor = 1.0 / std::max(distance * distance / range, 1.0);
            return std::isnan(factor) ? 1.0 : factor;
        }
        default:
            return 1.0;
    }
}

SpotConeShape spotConeShape(const SceneLight& light) {
    SpotConeShape cone;
    if (light.type != kLightSpot) return cone;
    cone.spot = true;
    cone.axis = normalizeOr(light.directionWorld, Vec3{0.0, 0.0, 1.0});
    cone.outer = std::cos(std::clamp(light.coneAngle, kMinConeAngle, kMaxConeAngle) * std::numbers::pi / 360.0);
    double inner = cone.outer + (1.0 - cone.outer) * std::clamp(light.coneFeather * 0.01, 0.0, 1.0);
    cone.inner = std::clamp(inner, cone.outer, 1.0);
    return cone;
}

double spotCone(const SceneLight& light, const Vec3& lightToPoint) {
    return spotCone(spotConeShape(light), lightToPoint);
}

}  // namespace zephrin
