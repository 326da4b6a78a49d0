// The colour of one surface point, and the pieces both shading passes share around it.
//
// The model is Blinn-Phong per light (Lambert diffuse tinted by the base colour, an untinted
// half-vector specular lobe) over an ambient term, with the host's falloff and spot cone. Shadowed
// lights scale their own direct term by visibility and pull the ambient term down with the darkest
// one. Beside the colour it reports how the colour would change between fully lit and fully
// shadowed (the slope), so that the soft-shadow pass can blur visibility and correct the colour
// without shading again.
#include "renderer/shading/shade_point.h"

#include <algorithm>
#include <cmath>

#include "renderer/shading/lighting_model.h"
#include "renderer/shading/point_shadow.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/texture/clamps.h"
#include "renderer/texture/texture_sampling.h"

namespace zephrin {

namespace {

ShadingResult baseColourResult(const BaseColor& base) {
    ShadingResult result;
    result.red = base.red;
    result.green = base.green;
    result.blue = base.blue;
    result.alpha = base.alpha;
    return result;
}

Vec3 mul(const Vec3& a, const Vec3& b) { return Vec3{a.x * b.x, a.y * b.y, a.z * b.z}; }

// x^exponent for x in [0, 1]. Whole exponents (the default shininess 24 among them) are worked out by
// repeated squaring, a handful of multiplications where a general power costs far more per pixel.
inline double specularPower(double x, const SurfaceShadingTerms& k) {
    if (!(x > 0.0)) return 0.0;
    if (k.wholeShininess != 0) {
        double result = 1.0, square = x;
        for (uint32_t bits = k.wholeShininess; bits != 0; bits >>= 1) {
            if ((bits & 1u) != 0) result *= square;
            square *= square;
        }
        return result;
    }
    return std::pow(x, k.shininess);
}

// Unit vectors from the point toward a light, in world and camera space, and the light's falloff and
// cone there.
struct LightPath {
    Vec3 world, camera;
    double attenuation = 1.0;
};

// False when the light is too weak at the point to shade or trace.
inline bool lightPathAt(const SceneLight& light, const LightShadingTerms& terms, const ShadingPoint& point,
                        LightPath& path) {
    if (terms.type == kLightParallel) {
        path.world = terms.towardWorld;
        path.camera = terms.towardCamera;
        return true;
    }
    const Vec3 toLight = light.positionWorld - point.worldPosition;
    const Vec3 toLightInCamera = light.positionCamera - point.cameraPosition;
    const LengthPair lengths = lengthsOf(toLight, toLightInCamera);
    normalizeBothWithLengths(toLight, toLightInCamera, lengths, kShadingFallbackDirection, path.world, path.camera);
    path.attenuation = lightFalloff(terms.falloff, lengths.first) * spotCone(terms.cone, -path.world);
    return path.attenuation > kMinAttenuation;
}

// The light's diffuse and specular contribution before shadowing, for a point that faces it.
inline Vec3 directContribution(const SceneLight& light, const LightShadingTerms& terms, const LightPath& path,
                               const SurfaceShadingTerms& k, const Vec3& baseRgb, double nDotL, const Vec3& nv,
                               const Vec3& view) {
    const double strength = terms.strength * path.attenuation;
    const double diffuse = clampRange(nDotL, 0.0, 1.0) * k.diffuse;
    const Vec3 half = normalizeOr(view + path.camera, kShadingFallbackDirection);
    const double specular = specularPower(clampRange(dot(nv, half), 0.0, 1.0), k) * k.specular * k.specularScale;
    return (mul(baseRgb, light.color) * diffuse + light.color * specular) * strength;
}

// The lights' terms summed over the loop.
struct LightSums {
    Vec3 ambient;
    Vec3 lit, unshadowed, untested;  // direct terms: shadowed, unshadowed, of lights that cast no shadow
    bool tested = false;             // some light was shadow tested
    double minimumVisibility = 1.0;
    double strongestShadow = -1.0;
    double blockerHint = 0.0;  // of the light that shadows the point most
};

inline void addShadowTest(LightSums& sums, double visibility, double hint) {
    sums.tested = true;
    sums.minimumVisibility = std::min(sums.minimumVisibility, visibility);
    if (1.0 - visibility > sums.strongestShadow) {
        sums.strongestShadow = 1.0 - visibility;
        sums.blockerHint = hint;
    }
}

// The colour, with the ambient term pulled down by the darkest shadow, and (when asked for) the slope
// between fully lit and fully shadowed.
ShadingResult composeShading(const LightSums& sums, double alpha, bool withSlope) {
    const Vec3& ambient = sums.ambient;
    const Vec3& lit = sums.lit;
    const double ambientScale =
        sums.tested
            ? clampRange(kShadowedAmbientShare + (1.0 - kShadowedAmbientShare) * sums.minimumVisibility, 0.0, 1.0)
            : 1.0;
    ShadingResult result;
    result.red = clampRange(ambientScale * ambient.x + lit.x, 0.0, 1.0);
    result.green = clampRange(ambientScale * ambient.y + lit.y, 0.0, 1.0);
    result.blue = clampRange(ambientScale * ambient.z + lit.z, 0.0, 1.0);
    result.alpha = alpha;
    result.lightTested = sums.tested;
    result.minimumVisibility = sums.tested ? sums.minimumVisibility : 1.0;
    result.blockerHint = sums.blockerHint;
    if (sums.tested && withSlope) {
        auto slopeOf = [](double full, double shadowedAmbient, double untestedPart) {
            return clampRange(full, 0.0, 1.0) - clampRange(shadowedAmbient + untestedPart, 0.0, 1.0);
        };
        const Vec3& unshadowed = sums.unshadowed;
        const Vec3& untested = sums.untested;
        result.slope.red = slopeOf(ambient.x + unshadowed.x, kShadowedAmbientShare * ambient.x, untested.x);
        result.slope.green = slopeOf(ambient.y + unshadowed.y, kShadowedAmbientShare * ambient.y, untested.y);
        result.slope.blue = slopeOf(ambient.z + unshadowed.z, kShadowedAmbientShare * ambient.z, untested.z);
    }
    return result;
}

// The light loop of a point that takes lights.
ShadingResult shadeLitPoint(const ShadingPoint& point, const SceneSurface& surface, const SurfaceShadingTerms& k,
                            const std::vector<SceneLight>& lights, const LightShadingTerms* lightTerms,
                            const ShadingFrame& frame, bool withSlope) {
    const BaseColor base = unpackBaseColor(point.baseColor, surface.opacity);
    const Vec3 baseRgb{base.red, base.green, base.blue};
    LightSums sums;
    sums.ambient = baseRgb * k.ambientGain;

    Vec3 n, nv;
    normalizeBothOr(point.worldNormal, point.cameraNormal, kShadingFallbackDirection, n, nv);
    const Vec3 view = normalizeOr(-point.cameraPosition, kShadingFallbackDirection);

    for (size_t i = 0; i < lights.size(); ++i) {
        const SceneLight& light = lights[i];
        const LightShadingTerms& terms = lightTerms[i];
        if (terms.type == kLightAmbient) {
            sums.ambient += mul(baseRgb, light.color) * (k.ambient * light.intensity * kAmbientLightGain);
            continue;
        }
        LightPath path;
        if (!lightPathAt(light, terms, point, path)) continue;
        const double nDotL = dot(n, path.world);
        const bool shadowTested = surface.acceptsShadows && light.castsShadows;

        double visibility = 1.0;
        double hint = 0.0;
        if (nDotL > kMinFacing) {
            // The unshadowed contribution comes first: its square roots and divisions then overlap
            // the shadow ray's walk instead of waiting for it.
            const Vec3 contribution = directContribution(light, terms, path, k, baseRgb, nDotL, nv, view);
            if (shadowTested) {
                visibility = pointShadowVisibility(light, terms, i, point, surface, frame, path.world, n, hint);
            }
            sums.lit += contribution * visibility;
            // Only the slope reads these.
            if (withSlope) {
                sums.unshadowed += contribution;
                if (!shadowTested) sums.untested += contribution;
            }
        } else if (shadowTested) {
            // Facing away from a shadow-casting light is being in its shadow.
            visibility = terms.awayVisibility;
        } else {
            continue;
        }
        if (shadowTested) addShadowTest(sums, visibility, hint);
    }
    return composeShading(sums, base.alpha, withSlope);
}

}  // namespace

ShadingResult unlitShading(PackedColor baseColor, const SceneSurface& surface) {
    return baseColourResult(unpackBaseColor(baseColor, surface.opacity));
}

ShadingResult shadePoint(const ShadingPoint& point, const SceneSurface& surface, const ShadingFrame& frame) {
    if (frame.scene == nullptr || shadesUnlit(point, surface, frame.scene->lights)) {
        return unlitShading(point.baseColor, surface);
    }
    const std::vector<SceneLight>& lights = frame.scene->lights;
    const SurfaceShadingTerms k = surfaceShadingTerms(surface, hasDirectLight(lights));
    if (frame.terms != nullptr && frame.terms->lights.size() == lights.size()) {
        return shadeLitPoint(point, surface, k, lights, frame.terms->lights.data(), frame, true);
    }
    std::vector<LightShadingTerms> lightTerms;
    lightTerms.reserve(lights.size());
    for (const SceneLight& light : lights) lightTerms.push_back(lightShadingTerms(light));
    return shadeLitPoint(point, surface, k, lights, lightTerms.data(), frame, true);
}

ShadingResult shadePointWithTerms(const ShadingPoint& point, const SceneSurface& surface,
                                  const SurfaceShadingTerms& surfaceTerms, const ShadingTerms& terms,
                                  const ShadingFrame& frame, bool withSlope) {
    if (shadesUnlit(point, surface, frame.scene->lights)) return unlitShading(point.baseColor, surface);
    return shadeLitPointWithTerms(point, surface, surfaceTerms, terms, frame, withSlope);
}

ShadingResult shadeLitPointWithTerms(const ShadingPoint& point, const SceneSurface& surface,
                                     const SurfaceShadingTerms& surfaceTerms, const ShadingTerms& terms,
                                     const ShadingFrame& frame, bool withSlope) {
    return shadeLitPoint(point, surface, surfaceTerms, frame.scene->lights, terms.lights.data(), frame, withSlope);
}

void fillFragmentShadingPoint(ShadingPoint& point, const PreparedTriangle& triangle, const SceneSurface& surface,
                              const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                              ShadowRayMemo* shadowMemos) {
    const FragmentPoint fragment = interpolateFragmentPoint(triangle, surface, weights);
    point.worldPosition = fragment.worldPosition;
    point.cameraPosition = fragment.cameraPosition;
    point.worldNormal = fragment.worldNormal;
    point.cameraNormal = fragment.cameraNormal;
    point.faceCode = faceCode;
    point.baseColor = color;
    point.surfaceIndex = triangle.surfaceIndex;
    point.triangleIndex = triangle.triangleIndex;
    point.pixelIndex = static_cast<int32_t>(pixel);
    point.shadowMemos = shadowMemos;
}

ShadingPoint fragmentShadingPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                  const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                                  ShadowRayMemo* shadowMemos) {
    ShadingPoint point;
    fillFragmentShadingPoint(point, triangle, surface, weights, faceCode, color, pixel, shadowMemos);
    return point;
}

ShadingResult shadeFragment(const ShadingFrame& frame, const PreparedTriangle& triangle, const SceneSurface& surface,
                            const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                            ShadowRayMemo* shadowMemos) {
    return shadePoint(fragmentShadingPoint(triangle, surface, weights, faceCode, color, pixel, shadowMemos), surface,
                      frame);
}

}  // namespace zephrin
