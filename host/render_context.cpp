#include "host/render_context.h"

#include <cmath>
#include <mutex>

#include "host/composition_time.h"

namespace zephrin::host {

A_Time frameTime(double frameRate, int32_t frame) {
    A_Time t = frameStep(frameRate);
    t.value = frame * kTimeUnitsPerFrame;
    return t;
}

A_Time frameStep(double frameRate) {
    double scale = std::round(frameRate * kTimeUnitsPerFrame);
    return A_Time{kTimeUnitsPerFrame, scale >= 1.0 ? static_cast<A_u_long>(scale) : 1u};
}

int32_t downsampledSide(int32_t side, int32_t factor) {
    if (factor < 1) factor = 1;
    int32_t result = side / factor + (side % factor != 0 ? 1 : 0);
    return result >= 1 ? result : 1;
}

RenderContext& beginRenderContext(HostState& state, const Composition& comp, const FrameRequest& request) {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto context = std::make_unique<RenderContext>();
    RenderContext& rc = *context;
    rc.handle = newHandle(state);
    rc.comp = &registerComposition(state, comp);
    rc.time = frameTime(comp.frameRate, request.frame);
    rc.timeStep = frameStep(comp.frameRate);
    rc.seconds = static_cast<double>(rc.time.value) / static_cast<double>(rc.time.scale);
    rc.downsample = AEGP_DownsampleFactor{request.downsampleX, request.downsampleY};

    AEGP_WorldType type = worldTypeForBits(request.bitsPerChannel);
    int32_t width = downsampledSide(comp.width, request.downsampleX);
    int32_t height = downsampledSide(comp.height, request.downsampleY);
    HostWorld destination = makeWorld(type, width, height);
    // The destination holds colour premultiplied by alpha (the renderer composites over it with
    // d * (1 - a) + s * a), so a translucent background is stored premultiplied too.
    const Color4& bg = comp.background;
    fillWorld(destination, {bg[0] * bg[3], bg[1] * bg[3], bg[2] * bg[3], bg[3]});
    rc.destination = addWorld(state, std::move(destination), WorldOrigin::Destination);
    if (request.offerInteractiveBuffer) {
        rc.interactiveBuffer = addWorld(state, makeWorld(type, width, height), WorldOrigin::InteractiveBuffer);
    }
    rc.layerContexts.reserve(comp.layers.size());
    for (size_t i = 0; i < comp.layers.size(); ++i) {
        uintptr_t layerContext = newHandle(state);
        rc.layerContexts.push_back(layerContext);
        state.layerContexts[layerContext] = LayerContextRef{&rc, i};
    }
    return *state.renderContexts.emplace(rc.handle, std::move(context)).first->second;
}

HostWorld endRenderContext(HostState& state, uintptr_t contextHandle) {
    std::lock_guard<std::mutex> lock(state.mutex);
    auto it = state.renderContexts.find(contextHandle);
    if (it == state.renderContexts.end()) return HostWorld{};
    RenderContext& rc = *it->second;
    HostWorld image;
    auto destination = state.worlds.find(rc.destination);
    if (destination != state.worlds.end()) {
        image = std::move(destination->second->world);
        state.worlds.erase(destination);
    }
    state.worlds.erase(rc.interactiveBuffer);
    for (uintptr_t layerContext : rc.layerContexts) state.layerContexts.erase(layerContext);
    forgetComposition(state, rc.comp->compHandle);
    state.renderContexts.erase(it);
    return image;
}

}  // namespace zephrin::host
