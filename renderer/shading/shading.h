// Shading of visible pixels: the deferred pass (tile path) and the per-triangle passes (per-row
// path), both built on shadePoint so the same winning fragment gets the same colour.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "renderer/runtime/frame_buffers.h"
#include "renderer/shading/lighting_model.h"
#include "renderer/raster/raster.h"
#include "renderer/raster/raster_fragment.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

struct ShadowBvh;   // renderer/shadows/shadow_bvh.h
struct ShadowRayMemo;  // renderer/shadows/shadow_bvh.h
struct ShadowMap;   // renderer/shadows/shadow_map.h
struct GpuRasterResult;  // renderer/gpu/gpu_raster.h
struct ShadowSampleCache;  // renderer/gpu/gpu_shadows.h

struct ShadowSlope {
    double red = 0.0, green = 0.0, blue = 0.0;
};

struct ShadingPoint {
    Vec3 worldPosition;
    Vec3 cameraPosition;
    Vec3 worldNormal;
    Vec3 cameraNormal;
    int32_t faceCode = kFaceFront;
    PackedColor baseColor = 0;
    int32_t surfaceIndex = -1;
    int32_t triangleIndex = -1;
    int32_t pixelIndex = -1;
    ShadowRayMemo* shadowMemos = nullptr;  // one per light, owned by the calling thread; or null
};

struct ShadingResult {
    double red = 0.0, green = 0.0, blue = 0.0, alpha = 0.0;
    double minimumVisibility = 1.0;
    double blockerHint = 0.0;
    ShadowSlope slope;
    bool lightTested = false;
};

// Everything the shading passes read for one frame, plus the buffers they write.
struct ShadingFrame {
    const FrameScene* scene = nullptr;
    const SceneCamera* rasterCamera = nullptr;  // destWidth/destHeight are the raster size
    const std::vector<PreparedTriangle>* prepared = nullptr;
    FrameBuffers* buffers = nullptr;
    const ShadowBvh* shadowBvh = nullptr;                   // null when there is nothing to cast
    const std::vector<ShadowMap>* shadowMaps = nullptr;     // one per light, possibly empty maps
    const GpuRasterResult* gpuRaster = nullptr;             // null unless the GPU raster ran
    const ShadowSampleCache* shadowSamples = nullptr;       // GPU-traced shadow rays, or null
    const std::vector<SpotConeShape>* spotCones = nullptr;  // one per light, or null: worked out per pixel
    bool anyHitShadows = false;
    bool keepsShadowPost = false;  // the frame has the shadow-post buffers
    std::atomic<bool>* transparentTexelReport = nullptr;
};

ShadingResult shadePoint(const ShadingPoint& point, const SceneSurface& surface, const ShadingFrame& frame);

// What shadePoint gives an unlit point: its base colour with the surface opacity.
ShadingResult unlitShading(PackedColor baseColor, const SceneSurface& surface);

// Side walls, surfaces that do not accept lights and frames without lights show their base colour.
bool shadesUnlit(const ShadingPoint& point, const SceneSurface& surface, const std::vector<SceneLight>& lights);
bool shadesUnlit(int32_t faceCode, const SceneSurface& surface, const std::vector<SceneLight>& lights);

// Shared by the deferred and the per-triangle passes, so that one winning fragment gets one colour:
// the point shadePoint takes for a fragment (interpolated, oriented positions and normals), and its
// shading.
ShadingPoint fragmentShadingPoint(const PreparedTriangle& triangle, const SceneSurface& surface,
                                  const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                                  ShadowRayMemo* shadowMemos = nullptr);
ShadingResult shadeFragment(const ShadingFrame& frame, const PreparedTriangle& triangle, const SceneSurface& surface,
                            const FragmentWeights& weights, int32_t faceCode, PackedColor color, size_t pixel,
                            ShadowRayMemo* shadowMemos = nullptr);
void writeShadedColour(FrameBuffers& buffers, size_t pixel, const ShadingResult& result);

// Deferred shading of rows firstRow .. endRow-1 (tile path).
void shadeVisiblePixels(const ShadingFrame& frame, int32_t firstRow, int32_t endRow);
// The same for the rows spread.rowOf(item), item = firstItem .. endItem-1 (spread.count the raster
// height): how the frame splits its rows between workers with even shares of the work.
void shadeSpreadRows(const ShadingFrame& frame, int32_t firstItem, int32_t endItem, const RowSpread& spread);

enum class PerTrianglePass {
    Visibility,    // first pass with lights: depth, coverage, indices and unlit texture colour
    ShadeAtOnce,   // the only pass of a frame without lights
    ShadeWinners,  // second pass with lights: shade only the fragments that won the visibility pass
};

// Per-row path: clips, projects and rasterizes every surface triangle for rows firstRow .. endRow-1.
void rasterizePerTriangle(const ShadingFrame& frame, PerTrianglePass pass, int32_t firstRow, int32_t endRow);

}  // namespace zephrin
