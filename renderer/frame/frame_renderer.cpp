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
#include "renderer/texture/pixel_formats.h"
#include "renderer/runtime/worker_pool.h"
#include "renderer/shading/deferred_shading.h"
#include "renderer/shading/per_triangle_pass.h"
#include "renderer/shading/shading_frame.h"
#include "renderer/shading/shading_terms.h"
#include "renderer/shadows/shadow_bvh.h"
#include "renderer/shadows/shadow_map.h"
#include "renderer/shadows/soft_shadows.h"

namespace zephrin {
namespace {

int32_t ceilDiv(int32_t value, int32_t divisor) {
    return static_cast<int32_t>((static_cast<int64_t>(value) + divisor - 1) / divisor);
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
    const auto bytesPerPixel = static_cast<int64_t>(pixelBytes(type));
    if (width > 0 && static_cast<int64_t>(rowBytes) < static_cast<int64_t>(width) * bytesPerPixel) return false;

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

void shadeFinishedRow(const void* frame, int32_t y) {
    shadeVisiblePixels(*static_cast<const ShadingFrame*>(frame), y, y + 1);
}

// The band raster; with `shadeRows`, each row is also shaded as soon as its band has drawn it.
void runBandRaster(const FrameScene& scene, const std::vector<PreparedTriangle>& prepared, const RasterBands& bands,
                   int32_t workers, FrameBuffers& buffers, const ShadingFrame* shadeRows = nullptr) {
    const auto bandCount = static_cast<uint32_t>(bands.bands.size());
    const int32_t height = buffers.rasterHeight;
    // Worker w takes bands w, w + workers, w + 2 workers, ...: the loop's slices are `perWorker`
    // items long, and the spread deals the bands to them in turns. Bands that cannot be dealt evenly
    // go one per item, as the loop splits them.
    const auto slices = static_cast<uint32_t>(std::max(workers, 1));
    const bool dealt = slices > 1 && bandCount > slices && bandCount % slices == 0;
    const uint32_t perWorker = dealt ? bandCount / slices : 1;
    const RowSpread spread = dealt ? RowSpread{bandCount, slices} : RowSpread{};
    const RowFinished rowFinished =
        shadeRows != nullptr ? RowFinished{&shadeFinishedRow, shadeRows} : RowFinished{};
    auto body = [&](uint32_t begin, uint32_t end) {
        for (uint32_t item = begin; item < end; ++item) {
            const uint32_t k = spread.rowOf(item);
            auto band = static_cast<int32_t>(k);
            rasterBand(scene.surfaces, prepared, bands.bands[k], rasterBandFirstRow(band, height, bandCount),
                       rasterBandFirstRow(band + 1, height, bandCount), buffers, rowFinished);
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

// Map i always belongs to light i; lights that need none get an empty map.
std::vector<ShadowMap> buildShadowMaps(const FrameScene& scene, const ShadowBvh& bvh, const FrameDecisions& decisions) {
    std::vector<ShadowMap> shadowMaps;
    shadowMaps.reserve(scene.lights.size());
    const int32_t mapDivisor = scene.settings.quickPreview ? kQuickPreviewRasterScale : 1;
    for (size_t i = 0; i < scene.lights.size(); ++i) {
        const SceneLight& light = scene.lights[i];
        if (decisions.needShadowMaps && light.castsShadows && light.type != kLightAmbient) {
            shadowMaps.push_back(buildShadowMap(bvh, light, decisions.frameShadowQuality, mapDivisor));
            if (renderLogEnabled()) logRender(formatShadowMapLine(i, light.type, shadowMaps.back()));
        } else {
            shadowMaps.emplace_back();
        }
    }
    return shadowMaps;
}

// What the raster leaves for shading and for the frame's log.
struct RasterRun {
    std::vector<PreparedTriangle> prepared;
    std::optional<RasterBands> bands;  // binned on first need: the GPU raster does without them
    GpuRasterResult gpu;
    bool gpuUsed = false;
    // The GPU raster's line waits until shading, which may still turn the GPU's result down.
    std::string heldGpuLine;
    // The band raster shaded each row as it finished it.
    bool shadedWithRaster = false;
};

void binBandsOnce(RasterRun& run, const FrameDecisions& decisions) {
    if (!run.bands) run.bands = binRasterBands(run.prepared, decisions.rasterHeight, decisions.rasterBands);
}

void prepareRasterRun(RasterRun& run, const SceneCamera& frameCamera, const FrameScene& scene,
                      const FrameDecisions& decisions) {
    if (!decisions.tilePath) return;
    run.prepared = prepareRaster(frameCamera, scene.surfaces, decisions.rasterWidth, decisions.rasterHeight);
    if (!decisions.gpuRasterEligible) binBandsOnce(run, decisions);
}

// The per-row path's first pass, or the tile path's raster on the GPU where it may and the CPU bands
// otherwise.
void rasterize(RasterRun& run, const ShadingFrame& frame, const FrameScene& scene, const FrameDecisions& decisions,
               FrameBuffers& buffers) {
    if (!decisions.tilePath) {
        runPerTrianglePass(frame, decisions.hasLights ? PerTrianglePass::Visibility : PerTrianglePass::ShadeAtOnce,
                           decisions.rasterHeight);
        return;
    }
    if (decisions.gpuRasterEligible) {
        run.gpu = runGpuRaster(run.prepared, buffers, scene);
        if (run.gpu.accepted) {
            run.gpuUsed = true;
            if (renderLogEnabled()) {
                run.heldGpuLine = formatGpuRasterLine(run.gpu.info, buffers.pixelCount(), run.prepared.size());
            }
        } else {
            if (renderLogEnabled()) run.heldGpuLine = formatGpuRasterFallbackLine(run.gpu.info.failureReason);
        }
    }
    if (!run.gpuUsed) {
        binBandsOnce(run, decisions);
        run.shadedWithRaster = decisions.shadeRowsWithRaster;
        runBandRaster(scene, run.prepared, *run.bands, decisions.workers, buffers,
                      run.shadedWithRaster ? &frame : nullptr);
    }
}

// The whole lighting on the GPU, or else the shadow rays alone, for the tile path's lit frames.
// True when the GPU lighting completed.
bool runGpuLightingOrShadows(const FrameScene& scene, const FrameDecisions& decisions, const ShadowBvh& bvh,
                             const std::vector<ShadowMap>& shadowMaps, FrameBuffers& buffers,
                             ShadowSampleCache& shadowSamples) {
    if (!decisions.tilePath || !decisions.hasLights) return false;
    if (runGpuLighting(buffers, scene, bvh, shadowMaps).completed) return true;
    runGpuShadows(buffers, scene, bvh, shadowSamples);
    return false;
}

// Shades what the raster left. A completed GPU lighting pass has already written its results.
void shade(RasterRun& run, ShadingFrame& frame, const FrameScene& scene, const FrameDecisions& decisions,
           bool gpuLightingUsed, FrameBuffers& buffers, ShadowSampleCache& shadowSamples,
           std::atomic<bool>& transparentTexel) {
    if (!decisions.tilePath) {
        if (decisions.hasLights) runPerTrianglePass(frame, PerTrianglePass::ShadeWinners, decisions.rasterHeight);
        return;
    }
    if (gpuLightingUsed || run.shadedWithRaster) return;
    // The GPU raster's answers were resolved into the band raster's own records (kept colours and
    // winner masks included), so the shading reads them as it reads the CPU raster's.
    frame.gpuRasterWon = false;
    runDeferredShading(frame, decisions.rasterHeight);
    if (run.gpuUsed && transparentTexel.load()) {
        // The GPU picked a triangle that is see-through where it won; only the CPU raster resolves
        // what lies behind it, so the frame is rasterized and shaded again from scratch.
        binBandsOnce(run, decisions);
        resetFrameBuffers(buffers);
        shadowSamples.samples.clear();
        frame.gpuRasterWon = false;
        transparentTexel.store(false);
        runBandRaster(scene, run.prepared, *run.bands, decisions.workers, buffers);
        runDeferredShading(frame, decisions.rasterHeight);
        run.gpuUsed = false;
        if (renderLogEnabled()) run.heldGpuLine = formatGpuRasterFallbackLine("transparent visible texel");
    }
}

FrameSummary frameSummary(const FrameScene& scene, const FrameBuffers& buffers, const FrameDecisions& decisions,
                          size_t triangles, bool gpuRasterUsed, bool gpuLightingUsed, const FrameStamps& stamps) {
    FrameSummary summary;
    summary.surfaces = scene.surfaces.size();
    summary.triangles = triangles;
    summary.lights = scene.lights.size();
    summary.destWidth = buffers.destWidth;
    summary.destHeight = buffers.destHeight;
    summary.rasterWidth = buffers.rasterWidth;
    summary.rasterHeight = buffers.rasterHeight;
    summary.workers = decisions.workers;
    summary.quickPreview = scene.settings.quickPreview;
    summary.rasterScale = decisions.rasterScale;
    summary.gpuRasterUsed = gpuRasterUsed;
    summary.gpuLightingUsed = gpuLightingUsed;
    summary.worldType = buffers.worldType;
    summary.stamps = stamps;
    return summary;
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
        if (controls.shadowMode == ShadowMode::MapFast || controls.shadowMode == ShadowMode::Hybrid) {
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
    // Without deferred-shading records no GPU lighting or shadow pass can run.
    d.shadeRowsWithRaster = d.tilePath && !d.buffers.visiblePixels;
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

    // 2. Shadow maps.
    const std::vector<ShadowMap> shadowMaps = buildShadowMaps(scene, bvh, decisions);
    const size_t triangles = triangleTotal(scene.surfaces);
    stamps.shadowMaps = nowNanoseconds();

    std::atomic<bool> transparentTexel{false};
    ShadowSampleCache shadowSamples;
    const ShadingTerms shadingTerms = shadingTermsOf(scene);
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
    frame.terms = &shadingTerms;

    // 3. Raster preparation.
    stamps.rasterPrepStart = nowNanoseconds();
    RasterRun raster;
    prepareRasterRun(raster, frameCamera, scene, decisions);
    frame.prepared = &raster.prepared;
    stamps.rasterPrep = nowNanoseconds();

    // 4. Raster.
    rasterize(raster, frame, scene, decisions, buffers);
    stamps.geometry = nowNanoseconds();

    // 5. GPU shadow.
    const bool gpuLightingUsed = runGpuLightingOrShadows(scene, decisions, bvh, shadowMaps, buffers, shadowSamples);
    stamps.gpuShadow = nowNanoseconds();

    // 6. Shade.
    shade(raster, frame, scene, decisions, gpuLightingUsed, buffers, shadowSamples, transparentTexel);
    if (!raster.heldGpuLine.empty()) logRender(raster.heldGpuLine);
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
    if (renderLogEnabled()) {
        logRender(formatFrameLine(
            frameSummary(scene, buffers, decisions, triangles, raster.gpuUsed, gpuLightingUsed, stamps)));
    }
    return true;
}

}  // namespace zephrin
