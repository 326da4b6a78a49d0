#include "renderer/shading/lighting_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zephrin {
namespace {

bool isPositional(const SceneLight& light) { return light.type == kLightPoint || light.type == kLightSpot; }

}  // namespace

FalloffShape falloffShape(const SceneLight& light) {
    FalloffShape shape;
    if (!isPositional(light)) return shape;
    switch (light.falloffType) {
        case 1:
            shape.type = 1;
            shape.start = std::max(light.falloffRadius, 0.0);
            shape.span = std::max(light.falloffDistance - shape.start, 1.0);
            break;
        case 2:
            shape.type = 2;
            shape.range = std::max(light.falloffDistance * light.falloffDistance, 1.0);
            break;
        default:
            break;
    }
    return shape;
}

double lightFalloff(const SceneLight& light, double distance) { return lightFalloff(falloffShape(light), distance); }

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
