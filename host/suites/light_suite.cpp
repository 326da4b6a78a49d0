#include "host/suites/light_suite.h"

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

A_Err getLightType(AEGP_LayerH layerH, AEGP_LightType* typeP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (typeP != nullptr) *typeP = AEGP_LightType_NONE;
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || typeP == nullptr || layerOf(*layer).type != LayerType::Light) return A_Err_PARAMETER;
        switch (layerOf(*layer).light.lightType) {
            case LightKind::Parallel: *typeP = AEGP_LightType_PARALLEL; break;
            case LightKind::Spot: *typeP = AEGP_LightType_SPOT; break;
            case LightKind::Point: *typeP = AEGP_LightType_POINT; break;
            case LightKind::Ambient: *typeP = AEGP_LightType_AMBIENT; break;
        }
        return A_Err_NONE;
    });
}

AEGP_LightSuite2 makeLightSuite2() {
    AEGP_LightSuite2 suite{};
    suite.AEGP_GetLightType = getLightType;
    return suite;
}

}  // namespace

const AEGP_LightSuite2& lightSuite2() {
    static const AEGP_LightSuite2 suite = makeLightSuite2();
    return suite;
}

}  // namespace zephrin::host
