#include "renderer/collect/camera.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/diagnostic_log.h"
#include "common/host_suites.h"

namespace zephrin {

namespace {

// Half of the default camera's angle of view, in radians: the shorter composition side spans it.
constexpr double kDefaultHalfAngle = 0.5;
constexpr double kMinFocal = 1.0;
constexpr double kDepthOfFieldOnThreshold = 0.5;
constexpr A_Boolean kCameraReadPreExpression = 0;

bool readCameraStream(const AEGP_StreamSuite7& streams, AEGP_LayerH cameraLayer, AEGP_LayerStream stream,
                      const A_Time& time, double& out) {
    AEGP_StreamVal value{};
    AEGP_StreamType type = AEGP_StreamType_NO_DATA;
    if (streams.AEGP_GetLayerStreamValue(cameraLayer, stream, AEGP_LTimeMode_CompTime, &time, kCameraReadPreExpression,
                                         &value, &type) != A_Err_NONE) {
        return false;
    }
    out = value.one_d;
    return true;
}

void logActiveCamera(const SceneCamera& camera) {
    if (!renderLogEnabled()) return;
    std::ostringstream line;
    line << "RendererV2Camera: active=1 focal=" << camera.focal << " dof=" << (camera.dofEnabled ? 1 : 0)
         << " focus=" << camera.focusDistance << " aperture=" << camera.aperture << " blur=" << camera.blurLevel;
    logRender(line.str());
}

}  // namespace

void applyCameraLens(SceneCamera& camera, const CameraLensReading& lens) {
    if (lens.read[1]) camera.focusDistance = lens.focusDistance;
    if (lens.read[2]) camera.aperture = lens.aperture;
    if (lens.read[3]) camera.blurLevel = lens.blurLevel;
    bool allRead = lens.read[0] && lens.read[1] && lens.read[2] && lens.read[3];
    bool allFinite = std::isfinite(lens.depthOfField) && std::isfinite(lens.focusDistance) &&
                     std::isfinite(lens.aperture) && std::isfinite(lens.blurLevel);
    camera.dofEnabled = allRead && allFinite && lens.depthOfField >= kDepthOfFieldOnThreshold &&
                        lens.focusDistance > 0.0 && lens.aperture > 0.0 && lens.blurLevel > 0.0;
}

double focalFromZoom(double zoom) { return zoom > kMinFocal ? zoom : kMinFocal; }

void setDefaultCamera(SceneCamera& camera) {
    camera.focal = std::min(camera.compWidth, camera.compHeight) / std::tan(kDefaultHalfAngle);
    Matrix4 eye = translationMatrix(Vec3{camera.compWidth * 0.5, camera.compHeight * 0.5, -camera.focal});
    camera.view = invert(eye);
    camera.dofEnabled = false;
}

bool collectCamera(const PR_InData* inData, PR_RenderContextH renderContext, AEGP_WorldH destination,
                   FrameScene& scene) {
    SceneCamera& camera = scene.camera;
    camera.dofEnabled = false;
    camera.focusDistance = 0.0;
    camera.aperture = 0.0;
    camera.blurLevel = 0.0;

    HostSuites suites(inData != nullptr ? inData->pica_basicP : nullptr);
    const auto& canvas = suites.acquire<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10);
    AEGP_CompH comp = nullptr;
    if (canvas.AEGP_GetCompToRender(renderContext, &comp) != A_Err_NONE) return false;
    const auto& comps = suites.acquire<AEGP_CompSuite9>(kAEGPCompSuite, kAEGPCompSuiteVersion9);
    AEGP_ItemH compItem = nullptr;
    if (comps.AEGP_GetItemFromComp(comp, &compItem) != A_Err_NONE) return false;
    const auto& items = suites.acquire<AEGP_ItemSuite10>(kAEGPItemSuite, kAEGPItemSuiteVersion10);
    A_long compWidth = 0, compHeight = 0;
    if (items.AEGP_GetItemDimensions(compItem, &compWidth, &compHeight) != A_Err_NONE) return false;
    const auto& worlds = suites.acquire<AEGP_WorldSuite2>(kAEGPWorldSuite, kAEGPWorldSuiteVersion2);
    A_long destWidth = 0, destHeight = 0;
    if (worlds.AEGP_GetSize(destination, &destWidth, &destHeight) != A_Err_NONE) return false;
    A_Time time{0, 1};
    A_Time timeStep{0, 1};
    if (canvas.AEGP_GetCompRenderTime(renderContext, &time, &timeStep) != A_Err_NONE) return false;

    camera.compWidth = compWidth;
    camera.compHeight = compHeight;
    camera.destWidth = destWidth;
    camera.destHeight = destHeight;

    const auto& cameras = suites.acquire<AEGP_CameraSuite2>(kAEGPCameraSuite, kAEGPCameraSuiteVersion2);
    AEGP_LayerH cameraLayer = nullptr;
    if (cameras.AEGP_GetCamera(renderContext, &time, &cameraLayer) != A_Err_NONE) cameraLayer = nullptr;

    A_Matrix4 cameraToWorld{};
    bool haveCamera = false;
    if (cameraLayer != nullptr) {
        const auto& layers = suites.acquire<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11);
        haveCamera = layers.AEGP_GetLayerToWorldXform(cameraLayer, &time, &cameraToWorld) == A_Err_NONE;
    }
    if (!haveCamera) {
        setDefaultCamera(camera);
        logRender("RendererV2Camera: active=0 dof=0");
        return true;
    }

    camera.view = invert(matrixFromHost(cameraToWorld));
    camera.focal = std::min(camera.compWidth, camera.compHeight);
    const auto& streams = suites.acquire<AEGP_StreamSuite7>(kAEGPStreamSuite, kAEGPStreamSuiteVersion7);
    double zoom = 0.0;
    // A zoom the host cannot express as a number is treated like one it could not deliver.
    if (readCameraStream(streams, cameraLayer, AEGP_LayerStream_ZOOM, time, zoom) && std::isfinite(zoom)) {
        camera.focal = focalFromZoom(zoom);
    }
    CameraLensReading lens;
    lens.read[0] = readCameraStream(streams, cameraLayer, AEGP_LayerStream_DEPTH_OF_FIELD, time, lens.depthOfField);
    lens.read[1] = readCameraStream(streams, cameraLayer, AEGP_LayerStream_FOCUS_DISTANCE, time, lens.focusDistance);
    lens.read[2] = readCameraStream(streams, cameraLayer, AEGP_LayerStream_APERTURE, time, lens.aperture);
    lens.read[3] = readCameraStream(streams, cameraLayer, AEGP_LayerStream_BLUR_LEVEL, time, lens.blurLevel);
    applyCameraLens(camera, lens);
    logActiveCamera(camera);
    return true;
}

}  // namespace zephrin
