#include "host/suites/camera_suite.h"

#include "host/render_context.h"
#include "host/suites/host_state.h"
#include "host/suites/layer_suite.h"

namespace zephrin::host {
namespace {

// No active camera is an answer, not an error: the layer comes back null.
A_Err getCamera(PR_RenderContextH renderContextH, const A_Time* compTimeP, AEGP_LayerH* cameraPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (cameraPH != nullptr) *cameraPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        double seconds = 0.0;
        if (rc == nullptr || cameraPH == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        if (std::optional<size_t> camera = activeCameraPosition(*rc->comp->comp, seconds)) {
            *cameraPH = layerHandleAt(*rc->comp, *camera);
        }
        return A_Err_NONE;
    });
}

A_Err getCameraType(AEGP_LayerH layerH, AEGP_CameraType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (typeP != nullptr) *typeP = AEGP_CameraType_NONE;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || typeP == nullptr || layerOf(*layer).type != LayerType::Camera) return A_Err_PARAMETER;
        *typeP = AEGP_CameraType_PERSPECTIVE;
        return A_Err_NONE;
    });
}

AEGP_CameraSuite2 makeCameraSuite2() {
    AEGP_CameraSuite2 suite{};
    suite.AEGP_GetCamera = getCamera;
    suite.AEGP_GetCameraType = getCameraType;
    return suite;
}

}  // namespace

const AEGP_CameraSuite2& cameraSuite2() {
    static const AEGP_CameraSuite2 suite = makeCameraSuite2();
    return suite;
}

std::optional<size_t> activeCameraPosition(const Composition& comp, double seconds) {
    for (size_t i = 0; i < comp.layers.size(); ++i) {
        const Layer& layer = comp.layers[i];
        if (layer.type == LayerType::Camera && layerVideoActiveAt(layer, seconds)) return i;
    }
    return std::nullopt;
}

}  // namespace zephrin::host
