#include "host/suites/canvas_suite.h"

#include <cmath>

#include "host/animated_value.h"
#include "host/effect_plugin.h"
#include "host/footage_sequence.h"
#include "host/render_context.h"
#include "host/suites/host_state.h"
#include "host/suites/layer_suite.h"

namespace zephrin::host {
namespace {

// The layer behind a layer context of this render context, or null (the context is then unknown or
// belongs to another frame).
const Layer* contextLayer(HostState& state, const RenderContext& rc, AEGP_RenderLayerContextH layerContextH) {
    const LayerContextRef* ref = findLayerContext(state, layerContextH);
    if (ref == nullptr || ref->context != &rc) return nullptr;
    return &rc.comp->comp->layers[ref->position];
}

A_Err getCompToRender(PR_RenderContextH renderContextH, AEGP_CompH* compPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (compPH != nullptr) *compPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || compPH == nullptr) return A_Err_PARAMETER;
        *compPH = toHandle<AEGP_CompH>(rc->comp->compHandle);
        return A_Err_NONE;
    });
}

A_Err getNumLayersToRender(PR_RenderContextH renderContextH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = static_cast<A_long>(rc->layerContexts.size());
        return A_Err_NONE;
    });
}

A_Err getNthLayerContextToRender(PR_RenderContextH renderContextH, A_long n, AEGP_RenderLayerContextH* contextPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (contextPH != nullptr) *contextPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || contextPH == nullptr || n < 0 || static_cast<size_t>(n) >= rc->layerContexts.size()) {
            return A_Err_PARAMETER;
        }
        *contextPH = toHandle<AEGP_RenderLayerContextH>(rc->layerContexts[static_cast<size_t>(n)]);
        return A_Err_NONE;
    });
}

A_Err getLayerFromLayerContext(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH,
                               AEGP_LayerH* layerPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (layerPH != nullptr) *layerPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || layerPH == nullptr) return A_Err_PARAMETER;
        const LayerContextRef* ref = findLayerContext(state, layerContextH);
        if (ref == nullptr || ref->context != rc) return A_Err_PARAMETER;
        *layerPH = layerHandleAt(*rc->comp, ref->position);
        return A_Err_NONE;
    });
}

A_Err getCompRenderTime(PR_RenderContextH renderContextH, A_Time* timeP, A_Time* stepP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || timeP == nullptr || stepP == nullptr) return A_Err_PARAMETER;
        *timeP = rc->time;
        *stepP = rc->timeStep;
        return A_Err_NONE;
    });
}

A_Err getCompDestinationBuffer(PR_RenderContextH renderContextH, AEGP_CompH compH, AEGP_WorldH* worldPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (worldPH != nullptr) *worldPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || worldPH == nullptr) return A_Err_PARAMETER;
        if (findComposition(state, compH) != rc->comp) return A_Err_PARAMETER;
        *worldPH = toHandle<AEGP_WorldH>(rc->destination);
        return A_Err_NONE;
    });
}

A_Err disposeTexture(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH, AEGP_WorldH worldH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || contextLayer(state, *rc, layerContextH) == nullptr) return A_Err_PARAMETER;
        WorldRecord* world = findWorld(state, worldH);
        if (world == nullptr) return A_Err_PARAMETER;
        if (world->origin != WorldOrigin::Texture) {
            ++state.accounting.badHandles;
            return A_Err_PARAMETER;
        }
        returnWorld(state, handleValue(worldH));
        return A_Err_NONE;
    });
}

A_Err getRenderDownsampleFactor(PR_RenderContextH renderContextH, AEGP_DownsampleFactor* dsfP) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || dsfP == nullptr) return A_Err_PARAMETER;
        *dsfP = rc->downsample;
        return A_Err_NONE;
    });
}

A_Err getRenderLayerToWorldXform(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH,
                                 const A_Time* compTimeP, A_Matrix4* transform) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        double seconds = 0.0;
        if (rc == nullptr || transform == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        const Layer* layer = contextLayer(state, *rc, layerContextH);
        if (layer == nullptr) return A_Err_PARAMETER;
        *transform = layerToWorldXform(*rc->comp->comp, *layer, seconds);
        return A_Err_NONE;
    });
}

A_Err getRenderLayerBounds(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH,
                           const A_Time* compTimeP, A_LegacyRect* bounds) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        double seconds = 0.0;
        if (rc == nullptr || bounds == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        const Layer* layer = contextLayer(state, *rc, layerContextH);
        if (layer == nullptr) return A_Err_PARAMETER;
        A_FloatRect source = layerSourceBounds(*layer);
        *bounds = A_LegacyRect{static_cast<A_long>(source.left), static_cast<A_long>(source.top),
                               static_cast<A_long>(source.right), static_cast<A_long>(source.bottom)};
        return A_Err_NONE;
    });
}

// Percent, as the host's opacity stream shows it.
A_Err getRenderOpacity(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH,
                       const A_Time* compTimeP, A_FpLong* opacityPF) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        double seconds = 0.0;
        if (rc == nullptr || opacityPF == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        const Layer* layer = contextLayer(state, *rc, layerContextH);
        if (layer == nullptr) return A_Err_PARAMETER;
        *opacityPF = valueAt(layer->transform.opacity, seconds);
        return A_Err_NONE;
    });
}

A_Err isRenderLayerActive(PR_RenderContextH renderContextH, AEGP_RenderLayerContextH layerContextH,
                          const A_Time* compTimeP, A_Boolean* activePB) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        double seconds = 0.0;
        if (rc == nullptr || activePB == nullptr || !secondsOf(compTimeP, seconds)) return A_Err_PARAMETER;
        const Layer* layer = contextLayer(state, *rc, layerContextH);
        if (layer == nullptr) return A_Err_PARAMETER;
        *activePB = layerVideoActiveAt(*layer, seconds) ? 1 : 0;
        return A_Err_NONE;
    });
}

// The layer's source at its own size, straight colour with alpha. Opacity is left to the renderer, which
// applies it itself; the layer's effects are the effect plug-in's to render, so the hints change nothing
// here yet.
// The layer's source, through its active effects unless the hints leave them out. The effects run
// outside the state's lock: they call back into the suites.
A_Err renderLayerPlus(PR_RenderContextH renderContextH, AEGP_LayerH layerH, AEGP_RenderLayerContextH layerContextH,
                      AEGP_RenderHints hints, AEGP_WorldH* dstPH) {
    HostWorld world;
    std::vector<EffectInstance*> effects;
    EffectPlugin* effect = nullptr;
    double seconds = 0.0;
    A_Err err = guardedSuiteCall([&](HostState& state) -> A_Err {
        if (dstPH != nullptr) *dstPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || dstPH == nullptr || contextLayer(state, *rc, layerContextH) == nullptr) {
            return A_Err_PARAMETER;
        }
        const LayerRef* layer = findLayer(state, layerH);
        if (layer == nullptr || layer->owner != rc->comp) return A_Err_PARAMETER;
        const Layer& l = layerOf(*layer);
        if (l.source == nullptr) return A_Err_PARAMETER;
        world = footageWorld(*footageAtTime(l.source, rc->seconds - l.inPoint));
        if (world.type == AEGP_WorldType_NONE) return A_Err_GENERIC;
        if ((hints & AEGP_RenderHints_NO_EFFECTS) == 0 && state.effectPlugin != nullptr) {
            effect = state.effectPlugin;
            effects = layerEffects(state, *layer->owner->comp, layer->position);
            seconds = rc->seconds;
        }
        return A_Err_NONE;
    });
    if (err != A_Err_NONE) return err;
    if (!effects.empty()) {
        HostState* state = activeHostState();
        if (state == nullptr) return A_Err_GENERIC;
        err = renderEffects(*state, *effect, effects, world, seconds);
        if (err != A_Err_NONE) return err;
    }
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        *dstPH = toHandle<AEGP_WorldH>(addWorld(state, std::move(world), WorldOrigin::Texture));
        return A_Err_NONE;
    });
}

A_Err getNumBinsToRender(PR_RenderContextH renderContextH, A_long* countPL) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || countPL == nullptr) return A_Err_PARAMETER;
        *countPL = rc->binCount;
        return A_Err_NONE;
    });
}

// Not offering a buffer is an answer, not an error: the world comes back null.
A_Err getInteractiveCachedBuffer(PR_RenderContextH renderContextH, AEGP_WorldH* bufferPH) {
    return guardedSuiteCall([&](HostState& state) -> A_Err {
        if (bufferPH != nullptr) *bufferPH = nullptr;
        RenderContext* rc = findRenderContext(state, renderContextH);
        if (rc == nullptr || bufferPH == nullptr) return A_Err_PARAMETER;
        *bufferPH = toHandle<AEGP_WorldH>(rc->interactiveBuffer);
        return A_Err_NONE;
    });
}

AEGP_CanvasSuite10 makeCanvasSuite10() {
    AEGP_CanvasSuite10 suite{};
    suite.AEGP_GetCompToRender = getCompToRender;
    suite.AEGP_GetNumLayersToRender = getNumLayersToRender;
    suite.AEGP_GetNthLayerContextToRender = getNthLayerContextToRender;
    suite.AEGP_GetLayerFromLayerContext = getLayerFromLayerContext;
    suite.AEGP_GetCompRenderTime = getCompRenderTime;
    suite.AEGP_GetCompDestinationBuffer = getCompDestinationBuffer;
    suite.AEGP_DisposeTexture = disposeTexture;
    suite.AEGP_GetRenderDownsampleFactor = getRenderDownsampleFactor;
    suite.AEGP_GetRenderLayerToWorldXform = getRenderLayerToWorldXform;
    suite.AEGP_GetRenderLayerBounds = getRenderLayerBounds;
    suite.AEGP_GetRenderOpacity = getRenderOpacity;
    suite.AEGP_IsRenderLayerActive = isRenderLayerActive;
    suite.AEGP_RenderLayerPlus = renderLayerPlus;
    return suite;
}

AEGP_CanvasSuite14 makeCanvasSuite14() {
    AEGP_CanvasSuite14 suite{};
    suite.AEGP_GetNumBinsToRender = getNumBinsToRender;
    suite.AEGP_GetInteractiveCachedBuffer = getInteractiveCachedBuffer;
    return suite;
}

}  // namespace

const AEGP_CanvasSuite10& canvasSuite10() {
    static const AEGP_CanvasSuite10 suite = makeCanvasSuite10();
    return suite;
}
const AEGP_CanvasSuite14& canvasSuite14() {
    static const AEGP_CanvasSuite14 suite = makeCanvasSuite14();
    return suite;
}

}  // namespace zephrin::host
