// The parts of the lighting model that depend on a surface or a light alone, worked out once per
// frame instead of once per shaded point. Each holds the very value the per-point arithmetic used to
// produce, by the same operations in the same order, so that the colours do not change by a bit.
#pragma once

#include <cstdint>
#include <vector>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/shadows/shadow_rays.h"

namespace zephrin {

// A surface's material coefficients within the model's limits, and its ambient gain.
struct SurfaceShadingTerms {
    double ambient = 0.0, diffuse = 0.0, shininess = 1.0, specular = 0.0, specularScale = 0.0;
    // The shininess as a whole exponent for repeated squaring, or 0 where it is fractional.
    uint32_t wholeShininess = 0;
    // The base colour's share in the ambient term before ambient lights add theirs.
    double ambientGain = 0.0;
};

// What the light loop reads of a light apart from the point.
struct LightShadingTerms {
    int32_t type = kLightPoint;
    // Intensity times the direct gain and the type's scale, before the falloff and the cone.
    double strength = 0.0;
    // Visibility of a shadow-casting light at a point facing away from it: its full shadow.
    double awayVisibility = 1.0;
    // Parallel lights: the unit vectors toward the light, the same at every point.
    Vec3 towardWorld, towardCamera;
    SpotConeShape cone;
    FalloffShape falloff;
    ShadowLightTerms shadow;
};

struct ShadingTerms {
    std::vector<SurfaceShadingTerms> surfaces;  // by surface index
    std::vector<LightShadingTerms> lights;      // by light index
};

// Whether any light lights by direction (not ambient): the ambient term then has a floor.
bool hasDirectLight(const std::vector<SceneLight>& lights);
SurfaceShadingTerms surfaceShadingTerms(const SceneSurface& surface, bool directLight);
LightShadingTerms lightShadingTerms(const SceneLight& light);
ShadingTerms shadingTermsOf(const FrameScene& scene);

}  // namespace zephrin
