#include "host/suites/effect_suite.h"

#include <algorithm>
#include <cstring>

#include "host/suites/host_state.h"

namespace zephrin::host {
namespace {

const Layer* layerFor(HostState& state, AEGP_LayerH layerH, const LayerRef*& ref) {
    ref = findLayer(state, layerH);
    return ref != nullptr ? &layerOf(*ref) : nullptr;
}

A_Err getLayerNumEffects(AEGP_LayerH layerH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        const LayerRef* ref = nullptr;
        if (layerFor(state, layerH, ref) == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = static_cast<A_long>(layerEffects(state, *ref->owner->comp, ref->position).size());
        return A_Err_NONE;
    });
}

A_Err getLayerEffectByIndex(AEGP_PluginID /*pluginId*/, AEGP_LayerH layerH, A_long index, AEGP_EffectRefH* effectPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (effectPH != nullptr) *effectPH = nullptr;
        const LayerRef* ref = nullptr;
        if (layerFor(state, layerH, ref) == nullptr || effectPH == nullptr || index < 0) return A_Err_PARAMETER;
        std::vector<EffectInstance*> effects = layerEffects(state, *ref->owner->comp, ref->position);
        if (static_cast<size_t>(index) >= effects.size()) return A_Err_PARAMETER;
        *effectPH = toHandle<AEGP_EffectRefH>(lendEffectRef(state, *effects[static_cast<size_t>(index)]));
        return A_Err_NONE;
    });
}

A_Err getInstalledKeyFromLayerEffect(AEGP_EffectRefH effectH, AEGP_InstalledEffectKey* keyP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectRefRecord* effect = findEffectRef(state, effectH);
        if (effect == nullptr || keyP == nullptr) return A_Err_PARAMETER;
        *keyP = effect->instance->installedKey;
        return A_Err_NONE;
    });
}

A_Err getEffectFlags(AEGP_EffectRefH effectH, AEGP_EffectFlags* flagsP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        EffectRefRecord* effect = findEffectRef(state, effectH);
        if (effect == nullptr || flagsP == nullptr) return A_Err_PARAMETER;
        *flagsP = effect->instance->active ? AEGP_EffectFlags_ACTIVE : AEGP_EffectFlags_NONE;
        return A_Err_NONE;
    });
}

A_Err disposeEffect(AEGP_EffectRefH effectH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (findEffectRef(state, effectH) == nullptr) return A_Err_PARAMETER;
        state.effectRefs.erase(handleValue(effectH));
        ++state.accounting.effectsReturned;
        return A_Err_NONE;
    });
}

A_Err getEffectMatchName(AEGP_InstalledEffectKey key, A_char matchName[AEGP_MAX_EFFECT_MATCH_NAME_SIZE]) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (matchName == nullptr) return A_Err_PARAMETER;
        matchName[0] = '\0';
        if (key != kInstalledEffectKey || state.installedEffectMatchName.empty()) return A_Err_PARAMETER;
        size_t n = std::min(state.installedEffectMatchName.size(), size_t{AEGP_MAX_EFFECT_MATCH_NAME_SIZE - 1});
        std::memcpy(matchName, state.installedEffectMatchName.data(), n);
        matchName[n] = '\0';
        return A_Err_NONE;
    });
}

A_Err getEffectLayer(PF_ProgPtr effectRef, AEGP_LayerH* layerPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (layerPH != nullptr) *layerPH = nullptr;
        EffectInstance* instance = findEffectByProgPtr(state, effectRef);
        if (instance == nullptr || layerPH == nullptr) return A_Err_PARAMETER;
        AEGP_LayerH layer = effectLayerHandle(state, *instance);
        if (layer == nullptr) return A_Err_PARAMETER;
        *layerPH = layer;
        return A_Err_NONE;
    });
}

// Only a registered AEGP id gets an AEGP effect: an effect the host gave id 0 has no stream access.
A_Err getNewEffectForEffect(AEGP_PluginID pluginId, PF_ProgPtr effectRef, AEGP_EffectRefH* effectPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (effectPH != nullptr) *effectPH = nullptr;
        if (effectPH == nullptr || pluginId == 0 || !isKnownPlugin(state, pluginId)) return A_Err_PARAMETER;
        EffectInstance* instance = findEffectByProgPtr(state, effectRef);
        if (instance == nullptr) return A_Err_PARAMETER;
        *effectPH = toHandle<AEGP_EffectRefH>(lendEffectRef(state, *instance));
        return A_Err_NONE;
    });
}

// One id per effect plug-in however often it asks: its global setup may run again after a setdown.
A_Err registerWithAEGP(AEGP_GlobalRefcon /*refcon*/, const A_char* pluginName, AEGP_PluginID* pluginIdP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (pluginName == nullptr || pluginIdP == nullptr) return A_Err_PARAMETER;
        if (state.effectPluginId == 0) {
            AEGP_PluginID id = 1;
            for (AEGP_PluginID known : state.pluginIds) id = std::max(id, known + 1);
            state.pluginIds.push_back(id);
            state.effectPluginId = id;
        }
        *pluginIdP = state.effectPluginId;
        return A_Err_NONE;
    });
}

AEGP_EffectSuite4 makeEffectSuite4() {
    AEGP_EffectSuite4 suite{};
    suite.AEGP_GetLayerNumEffects = getLayerNumEffects;
    suite.AEGP_GetLayerEffectByIndex = getLayerEffectByIndex;
    suite.AEGP_GetInstalledKeyFromLayerEffect = getInstalledKeyFromLayerEffect;
    suite.AEGP_GetEffectFlags = getEffectFlags;
    suite.AEGP_DisposeEffect = disposeEffect;
    suite.AEGP_GetEffectMatchName = getEffectMatchName;
    return suite;
}

}  // namespace

const AEGP_EffectSuite4& effectSuite4() {
    static const AEGP_EffectSuite4 suite = makeEffectSuite4();
    return suite;
}

const AEGP_PFInterfaceSuite1& pfInterfaceSuite1() {
    static const AEGP_PFInterfaceSuite1 suite{getEffectLayer, getNewEffectForEffect};
    return suite;
}

const AEGP_UtilitySuite7& utilitySuite7() {
    static const AEGP_UtilitySuite7 suite{registerWithAEGP};
    return suite;
}

}  // namespace zephrin::host
