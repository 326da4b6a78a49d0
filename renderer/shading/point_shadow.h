// The shadow of one light at a shading point: the visibility query both the single and the paired
// light loops ask, built from the point's record and the vectors the loop has already normalised.
#pragma once

#include <cstddef>

#include "common/vec3.h"
#include "renderer/scene/frame_scene.h"
#include "renderer/shading/shade_point.h"
#include "renderer/shading/shading_frame.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/shadows/light_visibility.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/shadow_rays.h"
#include "renderer/shadows/shadow_sample_cache.h"

namespace zephrin {

// What the light loop's normalisations give where a vector has no usable length; lightVisibility
// takes the same fallback, which lets the loop hand it its vectors.
inline constexpr Vec3 kShadingFallbackDirection{0.0, 0.0, -1.0};

inline const ShadowMap* shadowMapOf(const ShadingFrame& frame, size_t light) {
    if (frame.shadowMaps == nullptr || light >= frame.shadowMaps->size()) return nullptr;
    return &(*frame.shadowMaps)[light];
}

// The GPU's answer for this pixel and light, where it traced one.
inline bool cachedShadowHitOf(const ShadingFrame& frame, const ShadingPoint& point, size_t light,
                              CachedShadowHit& out) {
    const ShadowSampleCache* cache = frame.shadowSamples;
    if (cache == nullptr || point.pixelIndex < 0 || cache->lightCount <= 0) return false;
    size_t index = static_cast<size_t>(point.pixelIndex) * static_cast<size_t>(cache->lightCount) + light;
    if (light >= static_cast<size_t>(cache->lightCount) || index >= cache->samples.size()) return false;
    const ShadowSample& sample = cache->samples[index];
    if (!sample.valid) return false;
    out.hit = sample.hit;
    out.distance = sample.distance;
    return true;
}

// Visibility of light `index` at the point, darkness applied, with its blocker hint. `towardLight` and
// `unitNormal` are the loop's unit vectors, normalised with kShadingFallbackDirection.
inline double pointShadowVisibility(const SceneLight& light, const LightShadingTerms& terms, size_t index,
                                    const ShadingPoint& point, const SceneSurface& surface,
                                    const ShadingFrame& frame, const Vec3& towardLight, const Vec3& unitNormal,
                                    double& hint) {
    VisibilityQuery query;
    query.map = shadowMapOf(frame, index);
    query.point = point.worldPosition;
    query.normal = point.worldNormal;
    query.receiver = ShadowReceiver{point.surfaceIndex, point.triangleIndex};
    query.shadowQuality = surface.controls.shadowQuality;
    query.shadowSoftness = surface.controls.shadowSoftness;
    query.shadowMode = surface.controls.shadowMode;
    query.anyHitOnly = frame.anyHitShadows;
    query.memo = point.shadowMemos != nullptr ? &point.shadowMemos[index] : nullptr;
    // These are the very vectors lightVisibility would work out for these light types.
    query.unitVectorsGiven = light.type == kLightPoint || light.type == kLightSpot || light.type == kLightParallel;
    query.towardLight = towardLight;
    query.unitNormal = unitNormal;
    CachedShadowHit cached;
    if (cachedShadowHitOf(frame, point, index, cached)) query.cached = &cached;
    return visibilityOfLight(frame.shadowBvh, light, terms.shadow, query, &hint);
}

}  // namespace zephrin
