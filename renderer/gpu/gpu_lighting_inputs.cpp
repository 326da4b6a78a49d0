#include "renderer/gpu/gpu_lighting_inputs.h"

#include <algorithm>
#include <cmath>

#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/texture/clamps.h"

namespace zephrin {

namespace {

void toFloats(const Vec3& v, float out[3]) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

uint32_t falloffModeOf(int32_t falloffType) {
    if (falloffType == 0 || falloffType == 1) return static_cast<uint32_t>(falloffType);
    return 2;
}

bool visiblePixelsCoverRaster(const FrameBuffers& buffers) {
    const size_t pixels = buffers.pixelCount();
    return buffers.visiblePixels.size() == pixels && buffers.preparedIndex.size() == pixels &&
           buffers.surfaceIndex.size() == pixels && buffers.triangleIndex.size() == pixels &&
           buffers.color.size() == 4 * pixels;
}

// Side walls ignore the lights; both kinds reach the shader as one code.
uint32_t queryFaceFlags(int32_t faceCode) {
    if (faceCode == kFaceSideFrontAlpha || faceCode == kFaceSideThickness) return kFaceSideFrontAlpha;
    return static_cast<uint32_t>(faceCode) & 0x3u;
}

}  // namespace

LightingEligibility gpuLightingEligibility(const FrameBuffers& buffers, const FrameScene& scene, const ShadowBvh& bvh) {
    if (bvh.hasAlphaCasters) return LightingEligibility::AlphaCaster;
    if (bvh.nodes.empty() || scene.lights.empty() || !visiblePixelsCoverRaster(buffers)) {
        return LightingEligibility::Declined;
    }
    if (scene.surfaces.empty() || scene.surfaces.size() > kMaxLightingSurfaces || scene.settings.quickPreview) {
        return LightingEligibility::Declined;
    }
    bool someGpuSurface = false;
    for (const SceneSurface& surface : scene.surfaces) {
        if (surface.mesh.triangles.size() > kMaxLightingTrianglesPerSurface) return LightingEligibility::Declined;
        someGpuSurface = someGpuSurface || surface.controls.gpuAcceleration;
    }
    return someGpuSurface ? LightingEligibility::Eligible : LightingEligibility::Declined;
}

bool lightingMapUsable(const ShadowMap* map) {
    return map != nullptr && map->valid && map->width > 0 && map->height > 0 &&
           map->depth.size() == static_cast<size_t>(map->width) * static_cast<size_t>(map->height);
}

LightingLight lightingLightOf(const SceneLight& light, const ShadowMap* map, uint32_t shadowMapOffset) {
    LightingLight record{};
    toFloats(light.positionWorld, record.positionWorld);
    record.type = static_cast<uint32_t>(light.type);
    toFloats(light.directionWorld, record.directionWorld);
    record.castsShadows = light.castsShadows ? 1u : 0u;
    toFloats(light.positionCamera, record.positionView);
    record.falloffMode = falloffModeOf(light.falloffType);
    toFloats(light.directionCamera, record.directionView);
    toFloats(light.color, record.color);
    record.intensity = static_cast<float>(light.intensity);
    record.coneAngleDegrees = static_cast<float>(light.coneAngle);
    record.coneFeather = static_cast<float>(light.coneFeather);
    record.falloffStart = static_cast<float>(light.falloffRadius);
    record.falloffDistance = static_cast<float>(light.falloffDistance);
    record.shadowDarkness = static_cast<float>(light.shadowDarkness);
    record.shadowDiffusion = static_cast<float>(light.shadowDiffusion);
    if (lightingMapUsable(map)) {
        record.shadowMapValid = 1;
        record.shadowMapOffset = shadowMapOffset;
        record.shadowMapWidth = static_cast<uint32_t>(map->width);
        record.shadowMapHeight = static_cast<uint32_t>(map->height);
        record.shadowMapNear = static_cast<float>(map->nearPlane);
        record.shadowMapFar = static_cast<float>(map->farPlane);
        record.shadowMapTexelSpread = static_cast<float>(map->texelSpread);
        for (size_t row = 0; row < 4; ++row) {
            for (size_t col = 0; col < 4; ++col) {
                record.worldToClip[row][col] = static_cast<float>(map->worldToClip[col * 4 + row]);
            }
        }
    }
    return record;
}

LightingSurface lightingSurfaceOf(const SceneSurface& surface) {
    LightingSurface record{};
    const BendControls& controls = surface.controls;
    const auto field = [](int32_t value) { return static_cast<uint32_t>(value) & kLightingSurfaceFieldMask; };
    record.flags = (static_cast<uint32_t>(surface.kind) & kLightingSurfaceKindMask) |
                   (surface.acceptsLights ? kLightingSurfaceAcceptsLights : 0u) |
                   (surface.acceptsShadows ? kLightingSurfaceAcceptsShadows : 0u) |
                   field(static_cast<int32_t>(controls.shadowMode)) << kLightingSurfaceShadowModeShift |
                   field(controls.shadowQuality) << kLightingSurfaceShadowQualityShift;
    record.shadowSoftness = static_cast<float>(controls.shadowSoftness);
    record.specularScale = static_cast<float>(clampRange(controls.specular / 100.0, 0.0, kMaxSpecularScale));
    const LayerMaterial& m = surface.material;
    record.material[0] = static_cast<float>(clampRange(m.ambient, 0.0, kMaxMaterialCoefficient));
    record.material[1] = static_cast<float>(clampRange(m.diffuse, 0.0, kMaxMaterialCoefficient));
    record.material[2] = static_cast<float>(finiteOr(m.specular, 0.0));
    record.material[3] = static_cast<float>(clampRange(m.shininess, kMinShininessExponent, kMaxShininessExponent));
    return record;
}

LightingParams lightingParamsOf(const SceneCamera& camera, uint32_t queryCount, uint32_t lightCount, uint32_t nodeCount,
                                uint32_t triangleCount) {
    LightingParams params{};
    params.queryCount = queryCount;
    params.lightCount = lightCount;
    params.nodeCount = nodeCount;
    params.triangleCount = triangleCount;
    // The view maps row vectors (p . M, translation in the fourth row); the shader takes column r.
    for (size_t r = 0; r < 4; ++r) {
        for (size_t k = 0; k < 4; ++k) params.worldToView[r][k] = static_cast<float>(camera.view.m[k][r]);
    }
    return params;
}

void convertLightingScene(const FrameScene& scene, const std::vector<ShadowMap>& shadowMaps, LightingInputs& inputs) {
    inputs.lights.clear();
    inputs.surfaces.clear();
    inputs.shadowDepth.clear();
    for (size_t i = 0; i < scene.lights.size(); ++i) {
        const ShadowMap* map = i < shadowMaps.size() ? &shadowMaps[i] : nullptr;
        const auto offset = static_cast<uint32_t>(inputs.shadowDepth.size());
        inputs.lights.push_back(lightingLightOf(scene.lights[i], map, offset));
        if (lightingMapUsable(map))
            inputs.shadowDepth.insert(inputs.shadowDepth.end(), map->depth.begin(), map->depth.end());
    }
    // A frame without a valid map still binds a buffer: one texel nobody reads.
    if (inputs.shadowDepth.empty()) inputs.shadowDepth.push_back(1.0f);
    for (const SceneSurface& surface : scene.surfaces) inputs.surfaces.push_back(lightingSurfaceOf(surface));
}

void buildLightingQueries(const FrameBuffers& buffers, const FrameScene& scene, LightingInputs& inputs) {
    inputs.queries.clear();
    inputs.queryPixels.clear();
    if (!visiblePixelsCoverRaster(buffers)) return;
    const auto rows = static_cast<uint32_t>(std::max(buffers.rasterHeight, 0));
    const int32_t bands = workerCount(rows, kRasterRowBlock);
    struct Band {
        std::vector<LightingQuery> queries;
        std::vector<uint32_t> pixels;
    };
    std::vector<Band> built(static_cast<size_t>(bands));
    const auto width = static_cast<size_t>(buffers.rasterWidth);
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t b = begin; b < end; ++b) {
            Band& band = built[b];
            const auto first =
                static_cast<size_t>(rasterBandFirstRow(static_cast<int32_t>(b), buffers.rasterHeight, bands));
            const auto last =
                static_cast<size_t>(rasterBandFirstRow(static_cast<int32_t>(b) + 1, buffers.rasterHeight, bands));
            for (size_t pixel = first * width; pixel < last * width; ++pixel) {
                const int32_t surfaceIndex = buffers.surfaceIndex[pixel];
                const int32_t triangleIndex = buffers.triangleIndex[pixel];
                if (buffers.preparedIndex[pixel] < 0 || surfaceIndex < 0 || triangleIndex < 0) continue;
                if (static_cast<size_t>(surfaceIndex) >= scene.surfaces.size() ||
                    static_cast<size_t>(surfaceIndex) >= kMaxLightingSurfaces ||
                    static_cast<size_t>(triangleIndex) >= kMaxLightingTrianglesPerSurface) {
                    continue;
                }
                const SceneSurface& surface = scene.surfaces[static_cast<size_t>(surfaceIndex)];
                if (static_cast<size_t>(triangleIndex) >= surface.mesh.triangles.size()) continue;
                const VisiblePixel& visible = buffers.visiblePixels[pixel];
                LightingQuery query{};
                std::copy(std::begin(visible.worldPosition), std::end(visible.worldPosition), query.posWorld);
                std::copy(std::begin(visible.worldNormal), std::end(visible.worldNormal), query.normalWorld);
                query.packedIdentity = static_cast<uint32_t>(surfaceIndex) << 24 | static_cast<uint32_t>(triangleIndex);
                query.flags = queryFaceFlags(triangleFaceCode(surface, triangleIndex));
                std::copy(std::begin(visible.baseColor), std::end(visible.baseColor), query.base);
                query.base[3] = visible.alpha;
                band.queries.push_back(query);
                band.pixels.push_back(static_cast<uint32_t>(pixel));
            }
        }
    };
    parallelFor(static_cast<uint32_t>(bands), 1, body);
    size_t total = 0;
    for (const Band& band : built) total += band.queries.size();
    inputs.queries.reserve(total);
    inputs.queryPixels.reserve(total);
    for (const Band& band : built) {
        inputs.queries.insert(inputs.queries.end(), band.queries.begin(), band.queries.end());
        inputs.queryPixels.insert(inputs.queryPixels.end(), band.pixels.begin(), band.pixels.end());
    }
}

void scatterLightingResults(const LightingInputs& inputs, const std::vector<LightingResult>& results,
                            FrameBuffers& buffers) {
    const size_t pixels = buffers.pixelCount();
    const bool shadowPost = keepsShadowPost(buffers);
    const size_t count = std::min(results.size(), inputs.queryPixels.size());
    for (size_t i = 0; i < count; ++i) {
        const size_t pixel = inputs.queryPixels[i];
        if (pixel >= pixels) continue;
        const LightingResult& r = results[i];
        for (size_t c = 0; c < 4; ++c) buffers.color[4 * pixel + c] = r.color[c];
        if (!shadowPost) continue;
        const double visibility = clampUnit(r.shadowVisibility);
        buffers.shadowVisibility[pixel] = visibility;
        buffers.filteredVisibility[pixel] = visibility;
        buffers.radiusField[pixel] = clampUnit(r.shadowDistanceHint);
        const bool tested = r.sampledShadow != 0;
        buffers.slope[3 * pixel + 0] = tested ? r.slopeR : 0.0f;
        buffers.slope[3 * pixel + 1] = tested ? r.slopeG : 0.0f;
        buffers.slope[3 * pixel + 2] = tested ? r.slopeB : 0.0f;
        buffers.shadowMark[pixel] = inputs.queries[i].flags == static_cast<uint32_t>(kFaceSideFrontAlpha) ? 0 : 1;
    }
}

}  // namespace zephrin
