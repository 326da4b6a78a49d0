#include "renderer/driver/frame_driver.h"

#include <sstream>

#include "common/diagnostic_log.h"
#include "common/monotonic_clock.h"
#include "renderer/driver/renderer_entry.h"
#include "renderer/frame/frame_renderer.h"
#include "renderer/collect/layer_textures.h"
#include "renderer/geometry/mesh_storage.h"
#include "renderer/collect/surface_builder.h"
#include "renderer/collect/camera.h"
#include "renderer/collect/light_collection.h"

namespace zephrin {

namespace {

constexpr A_Err kPaintFailed = A_Err_GENERIC;

AEGP_DownsampleFactor readDownsample(const AEGP_CanvasSuite10& canvas, PR_RenderContextH renderContext) {
    AEGP_DownsampleFactor downsample{1, 1};
    if (canvas.AEGP_GetRenderDownsampleFactor(renderContext, &downsample) != A_Err_NONE) downsample = {1, 1};
    return downsample;
}

A_long readBinCount(const AEGP_CanvasSuite14& canvas, PR_RenderContextH renderContext) {
    A_long bins = 0;
    if (canvas.AEGP_GetNumBinsToRender(renderContext, &bins) != A_Err_NONE) bins = 0;
    return bins;
}

bool interactiveBufferOffered(const AEGP_CanvasSuite14& canvas, PR_RenderContextH renderContext) {
    AEGP_WorldH buffer = nullptr;
    return canvas.AEGP_GetInteractiveCachedBuffer(renderContext, &buffer) == A_Err_NONE && buffer != nullptr;
}

void logRenderMode(bool hostInteractive, bool interactiveBuffer, const AEGP_DownsampleFactor& downsample, A_long bins) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RenderMode: hostInteractive=" << (hostInteractive ? 1 : 0)
         << " interactiveBuffer=" << (interactiveBuffer ? 1 : 0) << " dsf=" << downsample.xS << "x" << downsample.yS
         << " bins=" << bins;
    logRender(line.str());
}

void logSceneSummary(const FrameScene& scene, bool hostInteractive) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Scene: surfaces=" << scene.surfaces.size() << " lights=" << scene.lights.size()
         << " interactive=" << (scene.settings.interactive ? 1 : 0) << " hostInteractive=" << (hostInteractive ? 1 : 0)
         << " quickPreview=" << (scene.settings.quickPreview ? 1 : 0) << " dsf=" << scene.settings.downsampleX << "x"
         << scene.settings.downsampleY;
    logRender(line.str());
}

}  // namespace

std::string formatRenderTotals(const RenderPhaseStamps& stamps) {
    std::ostringstream line;
    line << "RendererV2RenderTotal: ms=(setup:" << millisecondsBetween(stamps.entry, stamps.setup)
         << ",collect:" << millisecondsBetween(stamps.setup, stamps.collect)
         << ",paint:" << millisecondsBetween(stamps.collect, stamps.paint)
         << ",dispose:" << millisecondsBetween(stamps.paint, stamps.dispose)
         << ",total:" << millisecondsBetween(stamps.entry, stamps.dispose) << ")";
    return line.str();
}

bool isInteractiveRender(const AEGP_DownsampleFactor& downsample, bool interactiveBuffer) {
    return interactiveBuffer || downsample.xS > 1 || downsample.yS > 1;
}

A_Err Artie_RenderDispatch(const PR_InData* inData, PR_GlobalContextH /*globalContext*/,
                           PR_InstanceContextH /*instanceContext*/, PR_RenderContextH renderContext,
                           PR_GlobalDataH /*globalData*/, PR_InstanceDataH /*instanceData*/) {
    return guardedEntry("Artie_RenderDispatch", [&] {
        logEntry("Artie_RenderDispatch called");
        return renderFrame(inData, renderContext);
    });
}

A_Err renderFrame(const PR_InData* inData, PR_RenderContextH renderContext) {
    RenderPhaseStamps stamps;
    stamps.entry = nowNanoseconds();
    stamps.setup = stamps.collect = stamps.paint = stamps.entry;
    FrameScene scene;
    HostSuites suites(inData != nullptr ? inData->pica_basicP : nullptr);

    // The host's render call is answered here rather than by its outer guard, so that the textures
    // below go back whatever failed.
    const A_Err error = guardedEntry("Artie_RenderDispatch", [&]() -> A_Err {
        const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
        const AEGP_DownsampleFactor downsample = readDownsample(canvas, renderContext);
        if (renderLogEnabled()) logRender(std::string("RendererV2Frame: boot ") + kRendererFeatureMarkers);

        AEGP_CompH comp = nullptr;
        A_Err result = canvas.AEGP_GetCompToRender(renderContext, &comp);
        const auto& canvas14 = suites.acquire<AEGP_CanvasSuite14>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion14);
        const A_long bins = readBinCount(canvas14, renderContext);
        const bool interactiveBuffer = interactiveBufferOffered(canvas14, renderContext);
        logRenderMode(isInteractiveRender(downsample, interactiveBuffer), interactiveBuffer, downsample, bins);

        AEGP_WorldH destination = nullptr;
        if (result == A_Err_NONE) result = canvas.AEGP_GetCompDestinationBuffer(renderContext, comp, &destination);
        stamps.setup = nowNanoseconds();

        if (result == A_Err_NONE && collectScene(inData, renderContext, destination, scene)) {
            stamps.collect = nowNanoseconds();
            if (!paint(inData, destination, scene)) result = kPaintFailed;
            stamps.paint = nowNanoseconds();
        }
        return result;
    });

    // The mesh store keeps only this frame's arrays: what it held and this frame did not take is let go.
    // (Before the textures go back: that also empties the surface list.)
    releaseRecycledMeshStorage();
    for (SceneSurface& surface : scene.surfaces) recycleMeshStorage(surface.mesh);
    // Whatever failed above, every texture the host lent for this frame goes back.
    disposeSceneTextures(suites, renderContext, scene);
    stamps.dispose = nowNanoseconds();
    if (renderLogEnabled()) logRender(formatRenderTotals(stamps));
    return error;
}

bool collectScene(const PR_InData* inData, PR_RenderContextH renderContext, AEGP_WorldH destination,
                  FrameScene& scene) {
    resetScene(scene);
    if (inData == nullptr || inData->pica_basicP == nullptr) raiseMissingSuite();
    HostSuites suites(inData->pica_basicP);
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    const auto& canvas14 = suites.acquire<AEGP_CanvasSuite14>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion14);

    const AEGP_DownsampleFactor downsample = readDownsample(canvas, renderContext);
    scene.settings.downsampleX = downsample.xS;
    scene.settings.downsampleY = downsample.yS;
    readBinCount(canvas14, renderContext);
    const bool interactive = isInteractiveRender(downsample, interactiveBufferOffered(canvas14, renderContext));
    scene.settings.interactive = interactive;

    const int64_t cameraStart = nowNanoseconds();
    if (!collectCamera(inData, renderContext, destination, scene)) return false;
    const int64_t lightsStart = nowNanoseconds();
    collectLights(inData, renderContext, scene.camera.view, scene.lights);
    const int64_t surfacesStart = nowNanoseconds();
    A_Time time{0, 1};
    A_Time timeStep{0, 1};
    // The camera has just read the same time; should the host now refuse it, layers are taken at 0.
    if (canvas.AEGP_GetCompRenderTime(renderContext, &time, &timeStep) != A_Err_NONE) time = A_Time{0, 1};
    buildSurfaces(inData, scene, renderContext, time, interactive);
    const int64_t surfacesEnd = nowNanoseconds();

    applyShadowQualityCap(scene);
    logSceneSummary(scene, interactive);
    if (renderLogEnabled()) {
        std::ostringstream line;
        line << "RendererV2CollectScene: ms=(camera:" << millisecondsBetween(cameraStart, lightsStart)
             << ",lights:" << millisecondsBetween(lightsStart, surfacesStart)
             << ",surfaces:" << millisecondsBetween(surfacesStart, surfacesEnd) << ")";
        logRender(line.str());
    }
    return true;
}

void disposeSceneTextures(HostSuites& suites, PR_RenderContextH renderContext, FrameScene& scene) {
    for (SceneSurface& surface : scene.surfaces) disposeSurfaceTextures(suites, renderContext, surface);
    scene.surfaces.clear();
}

}  // namespace zephrin
