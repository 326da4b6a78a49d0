#version 450
// The lighting pass: the renderer's lighting model for one visible pixel per thread, shadows
// included (rays through the packed shadow hierarchy, lookups in the lights' shadow maps), with the
// minimum visibility, blocker hint and colour slope that the soft-shadow filter needs. Every step
// follows the CPU shading in single precision; the CPU shades the frame whenever this pass cannot.
#extension GL_GOOGLE_include_directive : require

layout(local_size_x = 64, local_size_y = 1, local_size_z = 1) in;

#include "shadow_bvh_records.glsl"
#include "lighting_records.glsl"

layout(std430, set = 0, binding = 0) readonly buffer Nodes { Node nodes[]; };
layout(std430, set = 0, binding = 1) readonly buffer Triangles { Triangle triangles[]; };
layout(std430, set = 0, binding = 2) readonly buffer Lights { LightingLight lights[]; };
layout(std430, set = 0, binding = 3) readonly buffer Surfaces { LightingSurface surfaces[]; };
layout(std430, set = 0, binding = 4) readonly buffer Queries { LightingQuery queries[]; };
layout(std430, set = 0, binding = 5) readonly buffer ShadowDepth { float shadow_depth[]; };
layout(std430, set = 0, binding = 6) writeonly buffer Results { LightingResult results[]; };
layout(push_constant) uniform Params {
    uint query_count;
    uint light_count;
    uint node_count;
    uint triangle_count;
    vec4 world_to_view_0;
    vec4 world_to_view_1;
    vec4 world_to_view_2;
    vec4 world_to_view_3;
};

const uint kLightParallel = 0u;
const uint kLightSpot = 1u;
const uint kLightPoint = 2u;
const uint kLightAmbient = 3u;
const uint kFaceSideWall = 2u;
const uint kShadowModeMapFast = 2u;
const uint kShadowModeHybrid = 4u;
const float kPi = 3.14159265358979;
const float kInfinity = 1.0 / 0.0;

// The lighting model's gains and limits.
const float kAmbientBaseGain = 0.15;
const float kAmbientLightGain = 1.85;
const float kDirectGain = 1.62;
const float kParallelScale = 1.35;
const float kPointScale = 8.4;
const float kSpotScale = 12.0;
const float kAmbientFloor = 0.22;
const float kShadowDarknessGain = 1.28;
const float kShadowedAmbientShare = 0.42;
const float kMinAttenuation = 1e-6;
const float kMinFacing = 1e-6;
const float kMinFeatherBand = 1e-6;
const float kSmoothFalloffSteepness = 7.0;

// Shadow rays: origin offset along the normal (leaves the receiver's slab), end short of the light.
const float kRayOriginOffset = 1.8;
const float kRayEndOffset = 0.5;
const float kMinRayLength = 0.01;
const float kParallelRayLength = 1e9;
const float kMinShadowDiffusion = 0.01;
const float kBlockerHintLightShare = 0.2;
const float kParallelBlockerHintDistance = 200.0;
const float kMinBlockerDistance = 1e-6;
const float kVisibilityExponent = 1.32;
const float kMapSoftnessPerDiffusion = 0.1;

// Shadow maps.
const float kMapDepthBias = 0.001;
const float kTexelBiasScale = 1.5;
const float kSingleTapSoftness = 0.02;
const float kKernelSpreadTexels = 4.0;
const float kMinW = 1e-8;

vec3 normalizeOr(vec3 v, vec3 fallback) {
    float len = length(v);
    if (!(len > 1e-9) || isinf(len)) return fallback;
    return v / len;
}

vec3 toView(vec4 p) {
    return vec3(dot(world_to_view_0, p), dot(world_to_view_1, p), dot(world_to_view_2, p));
}

#include "shadow_bvh_walk.glsl"

// ---- Shadow maps ----

bool inUnit(float x) { return x >= 0.0 && x <= 1.0; }

float linearDepth(LightingLight light, float d) {
    if (!(light.shadow_map_far > light.shadow_map_near)) return d;
    float n = light.shadow_map_near, f = light.shadow_map_far;
    return 2.0 * f * n / (f + n - (2.0 * d - 1.0) * (f - n));
}

float depthBias(LightingLight light, float linearD, float reachTexels) {
    if (!(light.shadow_map_far > light.shadow_map_near)) return kMapDepthBias;
    return max(kMapDepthBias * (light.shadow_map_far - light.shadow_map_near),
               (kTexelBiasScale + reachTexels) * light.shadow_map_texel_spread * linearD);
}

// The stored depth below which a texel shadows a point at linear depth linearD.
float shadowThreshold(LightingLight light, float linearD, float bias) {
    float z = linearD - bias;
    if (!(light.shadow_map_far > light.shadow_map_near)) return z;
    if (!(z > 0.0)) return -kInfinity;
    float n = light.shadow_map_near, f = light.shadow_map_far;
    float ndc = (f + n) / (f - n) - 2.0 * f * n / ((f - n) * z);
    return ndc * 0.5 + 0.5;
}

uint texelIndex(float coordinate, uint size) {
    return uint(clamp(floor(float(size) * coordinate), 0.0, float(size - 1u)));
}

bool litAt(LightingLight light, uint x, uint y, float threshold) {
    return shadow_depth[light.shadow_map_offset + y * light.shadow_map_width + x] > threshold;
}

// Lit fraction of a world point: one tap for softness up to 2 %, else a square kernel whose size
// follows the quality and whose spacing follows the softness.
float sampleShadowMap(LightingLight light, vec3 p, float softness, uint quality) {
    if (light.shadow_map_valid == 0u || light.shadow_map_width == 0u || light.shadow_map_height == 0u) return 1.0;
    vec4 h = vec4(p, 1.0);
    vec3 c = vec3(dot(light.world_to_clip_0, h), dot(light.world_to_clip_1, h), dot(light.world_to_clip_2, h));
    float w = dot(light.world_to_clip_3, h);
    if (abs(w) > kMinW) c /= w;
    float u = c.x * 0.5 + 0.5, v = c.y * 0.5 + 0.5, d = c.z * 0.5 + 0.5;
    if (!inUnit(u) || !inUnit(v) || !inUnit(d)) return 1.0;
    d = linearDepth(light, d);
    float s = softness * 0.01;
    if (s < 0.0 || !(min(s, 1.0) > kSingleTapSoftness)) {
        float threshold = shadowThreshold(light, d, depthBias(light, d, 0.0));
        return litAt(light, texelIndex(u, light.shadow_map_width), texelIndex(v, light.shadow_map_height), threshold)
                   ? 1.0 : 0.0;
    }
    int k = quality <= 1u ? 3 : (quality == 2u ? 5 : 7);
    float width = float(light.shadow_map_width), height = float(light.shadow_map_height);
    float step = min(s, 1.0) * kKernelSpreadTexels * max(1.0 / width, 1.0 / height);
    float threshold = shadowThreshold(light, d, depthBias(light, d, float(k) * step * max(width, height)));
    int lit = 0, counted = 0;
    for (int j = -k; j <= k; ++j) {
        float tv = v + float(j) * step;
        if (!inUnit(tv)) continue;
        uint row = texelIndex(tv, light.shadow_map_height);
        for (int i = -k; i <= k; ++i) {
            float tu = u + float(i) * step;
            if (!inUnit(tu)) continue;
            ++counted;
            if (litAt(light, texelIndex(tu, light.shadow_map_width), row, threshold)) ++lit;
        }
    }
    return counted == 0 ? 1.0 : float(lit) / float(counted);
}

// ---- Visibility of one light ----

float darken(float visibility, float darkness) { return clamp(1.0 - (1.0 - visibility) * darkness, 0.0, 1.0); }

float lightVisibility(LightingLight light, LightingSurface surface, vec3 p, vec3 normal,
                      vec3 towardLight, uint receiver, out float hint) {
    hint = 0.0;
    if (light.casts_shadows == 0u) return 1.0;
    uint mode = (surface.flags >> 8) & 7u;
    uint quality = (surface.flags >> 12) & 7u;
    bool mapUsable = light.shadow_map_valid != 0u;
    float darkness = clamp(light.shadow_darkness * kShadowDarknessGain, 0.0, 1.0);
    float mapSoftness = light.shadow_diffusion * kMapSoftnessPerDiffusion + surface.shadow_softness;
    if (mode == kShadowModeMapFast && mapUsable) {
        return darken(sampleShadowMap(light, p, mapSoftness, quality), darkness);
    }
    if (node_count == 0u) return 1.0;

    bool positional = light.type == kLightPoint || light.type == kLightSpot;
    if (dot(normal, towardLight) < 0.0) normal = -normal;
    vec3 origin = p + normal * kRayOriginOffset;
    float maxT = positional ? max(length(light.position_world - origin) - kRayEndOffset, 0.0) : kParallelRayLength;
    if (!(maxT >= kMinRayLength)) return 1.0;

    bool diffuse = light.shadow_diffusion > kMinShadowDiffusion;
    float hitT;
    bool blocked = walkShadowBvh(origin, towardLight, maxT, receiver, diffuse, hitT);
    float base = blocked ? 0.0 : 1.0;
    if (blocked && diffuse) {
        float t = max(hitT, 0.0);
        float h = 0.0;
        if (t > kMinBlockerDistance) {
            h = positional ? t / (max(maxT - t, 1.0) * kBlockerHintLightShare + t)
                           : t / (t + kParallelBlockerHintDistance);
        }
        hint = isnan(h) ? 0.0 : clamp(h, 0.0, 1.0);
    }
    if (mode == kShadowModeHybrid && mapUsable && base > 0.0) {
        base = min(base, sampleShadowMap(light, p, mapSoftness, quality));
    }
    float v = base <= 0.0 ? 0.0 : (base >= 1.0 ? 1.0 : pow(base, kVisibilityExponent));
    return darken(v, darkness);
}

// ---- The lighting model ----

float lightFalloff(LightingLight light, float distance) {
    if (light.type != kLightPoint && light.type != kLightSpot) return 1.0;
    if (light.falloff_mode == 1u) {
        float start = max(light.falloff_start, 0.0);
        float t = clamp((distance - start) / max(light.falloff_distance - start, 1.0), 0.0, 1.0);
        if (isnan(t)) return 1.0;
        return 1.0 / (1.0 + kSmoothFalloffSteepness * t * t);
    }
    if (light.falloff_mode == 2u) {
        float range = max(light.falloff_distance * light.falloff_distance, 1.0);
        float factor = 1.0 / max(distance * distance / range, 1.0);
        return isnan(factor) ? 1.0 : factor;
    }
    return 1.0;
}

float spotCone(LightingLight light, vec3 lightToPoint) {
    if (light.type != kLightSpot) return 1.0;
    vec3 axis = normalizeOr(light.direction_world, vec3(0.0, 0.0, 1.0));
    float outer = cos(clamp(light.cone_angle_degrees, 1.0, 179.0) * kPi / 360.0);
    float inner = clamp(outer + (1.0 - outer) * clamp(light.cone_feather * 0.01, 0.0, 1.0), outer, 1.0);
    float q = dot(axis, lightToPoint);
    if (isnan(q) || isinf(q)) return 0.0;
    if (q <= outer) return 0.0;
    if (q >= inner) return 1.0;
    float t = (q - outer) / max(inner - outer, kMinFeatherBand);
    return t * t * (3.0 - 2.0 * t);
}

float typeScale(uint type) {
    if (type == kLightParallel) return kParallelScale;
    if (type == kLightSpot) return kSpotScale;
    return kPointScale;
}

void writeUnlit(uint index, vec4 base) {
    LightingResult r;
    r.color[0] = base.r;
    r.color[1] = base.g;
    r.color[2] = base.b;
    r.color[3] = base.a;
    r.shadow_visibility = 1.0;
    r.shadow_distance_hint = 0.0;
    r.slope_r = 0.0;
    r.slope_g = 0.0;
    r.slope_b = 0.0;
    r.sampled_shadow = 0u;
    results[index] = r;
}

void main() {
    uint index = gl_GlobalInvocationID.x;
    if (index >= query_count) return;
    LightingQuery q = queries[index];
    uint surfaceIndex = q.packed_identity >> 24;
    LightingSurface surface = surfaces[surfaceIndex];
    vec4 base = q.base;
    if (q.flags == kFaceSideWall || (surface.flags & (1u << 4)) == 0u || light_count == 0u) {
        writeUnlit(index, base);
        return;
    }
    bool acceptsShadows = (surface.flags & (1u << 5)) != 0u;
    float ka = surface.material.x, kd = surface.material.y, ks = surface.material.z, shininess = surface.material.w;

    bool directLight = false;
    for (uint i = 0u; i < light_count; ++i) directLight = directLight || lights[i].type != kLightAmbient;
    vec3 ambient = base.rgb * (directLight ? max(kAmbientFloor, kAmbientBaseGain * ka) : kAmbientBaseGain * ka);

    vec3 fallback = vec3(0.0, 0.0, -1.0);
    vec3 p = q.pos_world;
    vec3 pv = toView(vec4(p, 1.0));
    vec3 n = normalizeOr(q.normal_world, fallback);
    vec3 nv = normalizeOr(toView(vec4(q.normal_world, 0.0)), fallback);
    vec3 view = normalizeOr(-pv, fallback);

    vec3 lit = vec3(0.0), unshadowed = vec3(0.0), untested = vec3(0.0);
    bool tested = false;
    float minimumVisibility = 1.0, strongestShadow = -1.0, blockerHint = 0.0;
    for (uint i = 0u; i < light_count; ++i) {
        LightingLight light = lights[i];
        if (light.type == kLightAmbient) {
            ambient += base.rgb * light.color * (ka * light.intensity * kAmbientLightGain);
            continue;
        }
        vec3 lw, lv;
        float attenuation = 1.0;
        if (light.type == kLightParallel) {
            lw = normalizeOr(-light.direction_world, fallback);
            lv = normalizeOr(-light.direction_view, fallback);
        } else {
            vec3 toLight = light.position_world - p;
            float distance = length(toLight);
            lw = normalizeOr(toLight, fallback);
            lv = normalizeOr(light.position_view - pv, fallback);
            attenuation = lightFalloff(light, distance) * spotCone(light, -lw);
            if (!(attenuation > kMinAttenuation)) continue;
        }
        float nDotL = dot(n, lw);
        bool shadowTested = acceptsShadows && light.casts_shadows != 0u;
        float visibility = 1.0;
        float hint = 0.0;
        if (nDotL > kMinFacing) {
            float strength = light.intensity * kDirectGain * typeScale(light.type) * attenuation;
            float diffuse = clamp(nDotL, 0.0, 1.0) * kd;
            vec3 halfway = normalizeOr(view + lv, fallback);
            float facing = clamp(dot(nv, halfway), 0.0, 1.0);
            float specular = (facing > 0.0 ? pow(facing, shininess) : 0.0) * ks * surface.specular_scale;
            vec3 contribution = (base.rgb * light.color * diffuse + light.color * specular) * strength;
            if (shadowTested) {
                visibility = lightVisibility(light, surface, p, n, lw, q.packed_identity, hint);
            }
            lit += contribution * visibility;
            unshadowed += contribution;
            if (!shadowTested) untested += contribution;
        } else if (shadowTested) {
            // Facing away from a shadow-casting light is being in its shadow.
            visibility = 1.0 - clamp(light.shadow_darkness * kShadowDarknessGain, 0.0, 1.0);
        } else {
            continue;
        }
        if (shadowTested) {
            tested = true;
            minimumVisibility = min(minimumVisibility, visibility);
            if (1.0 - visibility > strongestShadow) {
                strongestShadow = 1.0 - visibility;
                blockerHint = hint;
            }
        }
    }

    // The darkest shadow pulls the ambient term down with it.
    float shadowedAmbient = kShadowedAmbientShare + (1.0 - kShadowedAmbientShare) * minimumVisibility;
    float ambientScale = tested ? clamp(shadowedAmbient, 0.0, 1.0) : 1.0;
    vec3 color = clamp(ambientScale * ambient + lit, 0.0, 1.0);
    LightingResult r;
    r.color[0] = color.r;
    r.color[1] = color.g;
    r.color[2] = color.b;
    r.color[3] = base.a;
    r.shadow_visibility = tested ? minimumVisibility : 1.0;
    r.shadow_distance_hint = blockerHint;
    vec3 slope = vec3(0.0);
    if (tested) {
        slope = clamp(ambient + unshadowed, 0.0, 1.0) - clamp(kShadowedAmbientShare * ambient + untested, 0.0, 1.0);
    }
    r.slope_r = slope.r;
    r.slope_g = slope.g;
    r.slope_b = slope.b;
    r.sampled_shadow = tested ? 1u : 0u;
    results[index] = r;
}
