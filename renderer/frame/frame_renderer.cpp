#include "renderer/frame/frame_renderer.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostic_log.h"
#include "common/host_suites.h"
#include "common/monotonic_clock.h"
#include "renderer/frame/frame_log.h"
#include "renderer/gpu/gpu_lighting.h"
#include "renderer/gpu/gpu_raster.h"
#include "renderer/gpu/gpu_shadows.h"
#include "renderer/post/blend.h"
#include "renderer/post/depth_of_field.h"
#include "renderer/post/silhouette_fade.h"
#include "renderer/raster/raster_band.h"
#include "renderer/raster/raster_prepare.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shading/deferred_shading.h"
#include "renderer/shading/per_triangle_pass.h"
#include "renderer/shading/shading_frame.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/soft_shadows.h"

namespace zephrin {
namespace {

// Shadow modes of the effect's "Shadow Mode" popup that sample shadow maps.
constexpr int32_t kShadowModeMapFast = 2;
constexpr int32_t kShadowModeHybrid = 4;

int32_t ceilDiv(int32_t value, int32_t divisor) {
    return static_cast<int32_t>((static_cast<int64_t>(value) + divisor - 1) / divisor);
}

int32_t pixelBytes(int32_t worldType) {
    switch (worldType) {
        case AEGP_WorldType_8:
            return static_cast<int32_t>(sizeof(PF_Pixel8));
        case AEGP_WorldType_16:
            return static_cast<int32_t>(sizeof(PF_Pixel16));
        case AEGP_WorldType_32:
            return static_cast<int32_t>(sizeof(PF_PixelFloat));
        default:
            return 0;
    }
}

// Fills the destination fields of `buffers`; false when the world cannot be read or safely written.
bool readDestination(const AEGP_WorldSuite3& suite, AEGP_WorldH world, FrameBuffers& buffers) {
    if (suite.AEGP_GetSize == nullptr || suite.AEGP_GetType == nullptr || suite.AEGP_GetRowBytes == nullptr) {
        return false;
    }
    A_long width = 0, height = 0;
    if (suite.AEGP_GetSize(world, &width, &height) != A_Err_NONE) return false;
    AEGP_WorldType type = AEGP_WorldType_NONE;
    if (suite.AEGP_GetType(world, &type) != A_Err_NONE) return false;
    A_u_long rowBytes = 0;
    if (suite.AEGP_GetRowBytes(world, &rowBytes) != A_Err_NONE) return false;

    switch (type) {
        case AEGP_WorldType_8:
            if (suite.AEGP_GetBaseAddr8 == nullptr || suite.AEGP_GetBaseAddr8(world, &buffers.base8) != A_Err_NONE ||
                buffers.base8 == nullptr) {
                return false;
            }
            break;
        case AEGP_WorldType_16:
            if (suite.AEGP_GetBaseAddr16 == nullptr ||
                suite.AEGP_GetBaseAddr16(world, &buffers.base16) != A_Err_NONE || buffers.base16 == nullptr) {
                return false;
            }
            break;
        case AEGP_WorldType_32:
            if (suite.AEGP_GetBaseAddr32 == nullptr ||
                suite.AEGP_GetBaseAddr32(world, &buffers.base32) != A_Err_NONE || buffers.base32 == nullptr) {
                return false;
            }
            break;
        default:
            return false;
    }

    // A stride that cannot hold one row would make the blend write past the world's memory.
    if (width < 0 || height < 0 || rowBytes > static_cast<A_u_long>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    if (width > 0 && static_cast<int64_t>(rowBytes) < static_cast<int64_t>(width) * pixelBytes(type)) return false;

    buffers.worldType = type;
    buffers.rowBytes = static_cast<int32_t>(rowBytes);
    buffers.destWidth = width;
    buffers.destHeight = height;
    return true;
}

size_t triangleTotal(const std::vector<SceneSurface>& surfaces) {
    size_t total = 0;
    for (const SceneSurface& surface : surfaces) total += surface.mesh.triangles.size();
    return total;
}

void runPerTrianglePass(const ShadingFrame& frame, PerTrianglePass pass, int32_t rows) {
    auto body = [&frame, pass](uint32_t begin, uint32_t end) {
        rasterizePerTriangle(frame, pass, static_cast<int32_t>(begin), static_cast<int32_t>(end));
    };
    parallelFor(static_cast<uint32_t>(rows), kRasterRowBlock, body);
}

void runBandRaster(const FrameScene& scene, const std::vector<PreparedTriangle>& prepared, const RasterBands& bands,
                   int32_t workers, FrameBuffers& buffers) {
    const auto bandCount = static_cast<uint32_t>(bands.bands.size());
    const int32_t height = buffers.rasterHeight;
    // Worker w takes bands w, w + workers, w + 2 workers, ...: the loop's slices are `perWorker`
    // items long, and the spread deals the bands to them in turns. Bands that cannot be dealt evenly
    // go one per item, as the loop splits them.
    const auto slices = static_cast<uint32_t>(std::max(workers, 1));
    const bool dealt = slices > 1 && bandCount > slices && bandCount % slices == 0;
    const uint32_t perWorker = dealt ? bandCount / slices : 1;
    const RowSpread spread = dealt ? RowSpread{bandCount, slices} : RowSpread{};
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t item = begin; item < end; ++item) {
            const uint32_t k = spread.rowOf(item);
            auto band = static_cast<int32_t>(k);
            rasterBand(scene.surfaces, prepared, bands.bands[k], rasterBandFirstRow(band, height, bandCount),
                       rasterBandFirstRow(band + 1, height, bandCount), buffers);
        }
    };
    parallelFor(bandCount, perWorker, body);
}

void runDeferredShading(const ShadingFrame& frame, int32_t rows) {
    const auto count = static_cast<uint32_t>(std::max(rows, 0));
    const RowSpread spread = rowSpread(count, static_cast<uint32_t>(workerCount(count, kRasterRowBlock)));
    auto body = [&frame, &spread](uint32_t begin, uint32_t end) {
        shadeSpreadRows(frame, static_cast<int32_t>(begin), static_cast<int32_t>(end), spread);
    };
    parallelFor(spread.items, kRasterRowBlock, body);
}

}  // namespace

SceneCamera rasterCamera(const SceneCamera& camera, int32_t rasterWidth, int32_t rasterHeight) {
    SceneCamera frameCamera = camera;
    frameCamera.destWidth = rasterWidth;
    frameCamera.destHeight = rasterHeight;
    return frameCamera;
}

FrameDecisions decideFrame(const FrameScene& scene, int32_t destWidth, int32_t destHeight) {
    const RenderSettings& settings = scene.settings;
    FrameDecisions d;
    d.rasterScale = settings.quickPreview ? kQuickPreviewRasterScale : 1;
    d.rasterWidth = std::max(ceilDiv(std::max(destWidth, 0), d.rasterScale), 1);
    d.rasterHeight = std::max(ceilDiv(std::max(destHeight, 0), d.rasterScale), 1);
    d.tilePath = settings.downsampleX == settings.downsampleY && settings.downsampleX >= 1 &&
                 settings.downsampleX <= kTilePathMaxDownsample;
    d.hasLights = !scene.lights.empty();

    bool someGpuSurface = false, blocksGpuRaster = false, gpuShadowSurface = false, usesShadowMaps = false;
    for (const SceneSurface& surface : scene.surfaces) {
        const BendControls& controls = surface.controls;
        if (controls.gpuAcceleration && surface.acceptsShadows) gpuShadowSurface = true;
        if (controls.shadowMode == kShadowModeMapFast || controls.shadowMode == kShadowModeHybrid) {
            usesShadowMaps = true;
        }
        if (surface.acceptsShadows) d.frameShadowQuality = std::max(d.frameShadowQuality, controls.shadowQuality);
        if (!surface.renders) continue;
        if (controls.gpuAcceleration) someGpuSurface = true;
        for (const SurfaceTriangle& triangle : surface.mesh.triangles) {
            // The GPU raster knows neither the seven-sample pattern nor the thickness-colour side rule.
            if (triangle.fineCoverage != 0 || triangle.faceCode == kFaceSideThickness) blocksGpuRaster = true;
        }
    }
    d.gpuRasterEligible = someGpuSurface && !blocksGpuRaster;
    d.needShadowMaps = !settings.quickPreview && usesShadowMaps;
    d.workers = rasterBandCount(d.rasterHeight);
    d.rasterBands = d.workers * rasterBandsPerWorker(d.rasterHeight, d.workers);

    d.buffers.triangleIds = d.hasLights || d.tilePath;
    d.buffers.preparedIds = d.tilePath;
    d.buffers.visiblePixels = d.tilePath && d.hasLights && gpuShadowSurface;
    return d;
}

bool paint(const PR_InData* inData, AEGP_WorldH destination, const FrameScene& scene) {
    FrameStamps stamps;
    stamps.start = nowNanoseconds();

    // 1. Buffers.
    HostSuites suites(inData != nullptr ? inData->pica_basicP : nullptr);
    const auto& worldSuite = suites.acquire<AEGP_WorldSuite3>(kAEGPWorldSuite, kAEGPWorldSuiteVersion3);
    FrameBuffers buffers;
    const RecycleFrameBuffersOnExit recycle{buffers};
    if (!readDestination(worldSuite, destination, buffers)) return false;

    const RenderSettings& settings = scene.settings;
    const FrameDecisions decisions = decideFrame(scene, buffers.destWidth, buffers.destHeight);
    buffers.rasterWidth = decisions.rasterWidth;
    buffers.rasterHeight = decisions.rasterHeight;
    const SceneCamera frameCamera = rasterCamera(scene.camera, decisions.rasterWidth, decisions.rasterHeight);

    const ShadowBvh bvh = buildShadowBvh(scene.surfaces, scene.lights);
    FrameBufferSet bufferSet = decisions.buffers;
    bufferSet.shadowPost = !bvh.triangles.empty() && shadowBlurRadius(scene.lights, settings) >= 1;
    allocateFrameBuffers(buffers, bufferSet);
    stamps.buffers = nowNanoseconds();

    // 2. Shadow maps: map i always belongs to light i.
    std::vector<ShadowMap> shadowMaps;
    shadowMaps.reserve(scene.lights.size());
    const int32_t mapDivisor = settings.quickPreview ? kQuickPreviewRasterScale : 1;
    for (size_t i = 0; i < scene.lights.size(); ++i) {
        const SceneLight& light = scene.lights[i];
        if (decisions.needShadowMaps && light.castsShadows && light.type != kLightAmbient) {
            shadowMaps.push_back(buildShadowMap(bvh, light, decisions.frameShadowQuality, mapDivisor));
            logRender(formatShadowMapLine(i, light.type, shadowMaps.back()));
        } else {
            shadowMaps.emplace_back();
        }
    }
    const size_t triangles = triangleTotal(scene.surfaces);
    stamps.shadowMaps = nowNanoseconds();

    std::atomic<bool> transparentTexel{false};
    ShadowSampleCache shadowSamples;
    ShadingFrame frame;
    frame.scene = &scene;
    frame.rasterCamera = &frameCamera;
    frame.buffers = &buffers;
    frame.shadowBvh = bvh.triangles.empty() ? nullptr : &bvh;
    frame.shadowMaps = &shadowMaps;
    frame.anyHitShadows = settings.quickPreview;
    frame.keepsShadowPost = keepsShadowPost(buffers);
    frame.transparentTexelReport = &transparentTexel;
    frame.shadowSamples = &shadowSamples;
    std::vector<SpotConeShape> spotCones;
    spotCones.reserve(scene.lights.size());
    for (const SceneLight& light : scene.lights) spotCones.push_back(spotConeShape(light));
    frame.spotCones = &spotCones;

    // 3. Raster preparation.
    stamps.rasterPrepStart = nowNanoseconds();
    std::vector<PreparedTriangle> prepared;
    std::optional<RasterBands> bands;
    auto binOnce = [&]() {
        if (!bands) bands = binRasterBands(prepared, decisions.rasterHeight, decisions.rasterBands);
    };
    if (decisions.tilePath) {
        prepared = prepareRaster(frameCamera, scene.surfaces, decisions.rasterWidth, decisions.rasterHeight);
        if (!decisions.gpuRasterEligible) binOnce();
    }
    frame.prepared = &prepared;
    stamps.rasterPrep = nowNanoseconds();

    // 4. Raster.
    bool gpuRasterUsed = false;
    std::string heldGpuRasterLine;
    GpuRasterResult gpuRaster;
    if (!decisions.tilePath) {
        runPerTrianglePass(frame,
                           decisions.hasLights ? PerTrianglePass::Visibility : PerTrianglePass::ShadeAtOnce,
                           decisions.rasterHeight);
    } else {
        if (decisions.gpuRasterEligible) {
            gpuRaster = runGpuRaster(prepared, buffers, scene);
            if (gpuRaster.accepted) {
                gpuRasterUsed = true;
                heldGpuRasterLine = formatGpuRasterLine(gpuRaster.info, buffers.pixelCount(), prepared.size());
            } else {
                heldGpuRasterLine = formatGpuRasterFallbackLine(gpuRaster.info.failureReason);
            }
        }
        if (!gpuRasterUsed) {
            binOnce();
            runBandRaster(scene, prepared, *bands, decisions.workers, buffers);
        }
    }
    stamps.geometry = nowNanoseconds();

    // 5. GPU shadow.
    bool gpuLightingUsed = false;
    if (decisions.tilePath && decisions.hasLights) {
        gpuLightingUsed = runGpuLighting(buffers, scene, bvh, shadowMaps).completed;
        if (!gpuLightingUsed) runGpuShadows(buffers, scene, bvh, shadowSamples);
    }
    stamps.gpuShadow = nowNanoseconds();

    // 6. Shade. A completed GPU lighting pass has already written its results into the buffers.
    if (!decisions.tilePath) {
        if (decisions.hasLights) runPerTrianglePass(frame, PerTrianglePass::ShadeWinners, decisions.rasterHeight);
    } else if (!gpuLightingUsed) {
        frame.gpuRasterWon = gpuRasterUsed;
        runDeferredShading(frame, decisions.rasterHeight);
        if (gpuRasterUsed && transparentTexel.load()) {
            // The GPU picked a triangle that is see-through where it won; only the CPU raster resolves
            // what lies behind it, so the frame is rasterized and shaded again from scratch.
            binOnce();
            resetFrameBuffers(buffers);
            shadowSamples.samples.clear();
            frame.gpuRasterWon = false;
            transparentTexel.store(false);
            runBandRaster(scene, prepared, *bands, decisions.workers, buffers);
            runDeferredShading(frame, decisions.rasterHeight);
            gpuRasterUsed = false;
            heldGpuRasterLine = formatGpuRasterFallbackLine("transparent visible texel");
        }
    }
    if (!heldGpuRasterLine.empty()) logRender(heldGpuRasterLine);
    stamps.shade = nowNanoseconds();

    // 7. Shadow post.
    fadeSilhouettes(buffers);
    filterShadows(buffers, frameCamera, scene.surfaces, scene.lights, settings);
    recomposeShadows(buffers);
    stamps.shadowPost = nowNanoseconds();

    // 8. Depth of field.
    applyDepthOfField(buffers, frameCamera);
    stamps.dof = nowNanoseconds();

    // 9. Blend.
    blendIntoDestination(buffers);
    stamps.blend = nowNanoseconds();

    // 10. Log.
    FrameSummary summary;
    summary.surfaces = scene.surfaces.size();
    summary.triangles = triangles;
    summary.lights = scene.lights.size();
    summary.destWidth = buffers.destWidth;
    summary.destHeight = buffers.destHeight;
    summary.rasterWidth = buffers.rasterWidth;
    summary.rasterHeight = buffers.rasterHeight;
    summary.workers = decisions.workers;
    summary.quickPreview = settings.quickPreview;
    summary.rasterScale = decisions.rasterScale;
    summary.gpuRasterUsed = gpuRasterUsed;
    summary.gpuLightingUsed = gpuLightingUsed;
    summary.worldType = buffers.worldType;
    summary.stamps = stamps;
    logRender(formatFrameLine(summary));
    return true;
}

}  // namespace zephrin
