#include "renderer/shading/shading_terms.h"

#include <algorithm>
#include <cmath>

#include "renderer/texture/clamps.h"

namespace zephrin {
namespace {

const Vec3 kFallbackDirection{0.0, 0.0, -1.0};

double typeScale(int32_t type) {
    switch (type) {
        case kLightParallel:
            return kParallelScale;
        case kLightSpot:
            return kSpotScale;
        default:
            return kPointScale;
    }
}

}  // namespace

bool hasDirectLight(const std::vector<SceneLight>& lights) {
    return std::any_of(lights.begin(), lights.end(), [](const SceneLight& l) { return l.type != kLightAmbient; });
}

SurfaceShadingTerms surfaceShadingTerms(const SceneSurface& surface, bool directLight) {
    SurfaceShadingTerms k;
    k.ambient = clampRange(surface.material.ambient, 0.0, kMaxMaterialCoefficient);
    k.diffuse = clampRange(surface.material.diffuse, 0.0, kMaxMaterialCoefficient);
    k.shininess = clampRange(surface.material.shininess, kMinShininessExponent, kMaxShininessExponent);
    k.specular = std::isfinite(surface.material.specular) ? surface.material.specular : 0.0;
    k.specularScale = clampRange(surface.controls.specular / 100.0, 0.0, kMaxSpecularScale);
    if (k.shininess == std::floor(k.shininess)) k.wholeShininess = static_cast<uint32_t>(k.shininess);
    k.ambientGain = directLight ? std::max(kAmbientFloor, kAmbientBaseGain * k.ambient) : kAmbientBaseGain * k.ambient;
    return k;
}

LightShadingTerms lightShadingTerms(const SceneLight& light) {
    LightShadingTerms terms;
    terms.type = light.type;
    terms.strength = light.intensity * kDirectGain * typeScale(light.type);
    terms.awayVisibility = 1.0 - clampRange(light.shadowDarkness * kShadowDarknessGain, 0.0, 1.0);
    if (light.type == kLightParallel) {
        terms.towardWorld = normalizeOr(-light.directionWorld, kFallbackDirection);
        terms.towardCamera = normalizeOr(-light.directionCamera, kFallbackDirection);
    }
    terms.cone = spotConeShape(light);
    terms.falloff = falloffShape(light);
    terms.shadow = shadowLightTerms(light);
    return terms;
}

ShadingTerms shadingTermsOf(const FrameScene& scene) {
    ShadingTerms terms;
    const bool directLight = hasDirectLight(scene.lights);
    terms.surfaces.reserve(scene.surfaces.size());
    for (const SceneSurface& surface : scene.surfaces) terms.surfaces.push_back(surfaceShadingTerms(surface, directLight));
    terms.lights.reserve(scene.lights.size());
    for (const SceneLight& light : scene.lights) terms.lights.push_back(lightShadingTerms(light));
    return terms;
}

}  // namespace zephrin
