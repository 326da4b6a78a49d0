#include "host/suites/host_state.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iostream>

#include "host/render_context.h"

namespace zephrin::host {
namespace {

std::atomic<HostState*> gActiveState{nullptr};

template <typename Map>
auto* findIn(HostState& state, Map& map, uintptr_t value) {
    using Found = decltype(&map.begin()->second);
    if (value == 0) return static_cast<Found>(nullptr);
    auto it = map.find(value);
    if (it == map.end()) {
        ++state.accounting.badHandles;
        return static_cast<Found>(nullptr);
    }
    return &it->second;
}

uintptr_t footageHandleFor(std::vector<std::pair<const Footage*, uintptr_t>>& list, const Footage* footage) {
    for (const auto& [known, handle] : list) {
        if (known == footage) return handle;
    }
    return 0;
}

}  // namespace

HostState::HostState() = default;
HostState::~HostState() = default;

uintptr_t newHandle(HostState& state) {
    uintptr_t handle = state.nextHandle;
    state.nextHandle += kHandleStep;
    return handle;
}

bool activateHostState(HostState& state) {
    HostState* expected = nullptr;
    return gActiveState.compare_exchange_strong(expected, &state) || expected == &state;
}

void deactivateHostState(HostState& state) {
    HostState* expected = &state;
    gActiveState.compare_exchange_strong(expected, nullptr);
}

HostState* activeHostState() { return gActiveState.load(); }

CompositionHandles& registerComposition(HostState& state, const Composition& comp) {
    auto handles = std::make_unique<CompositionHandles>();
    CompositionHandles& h = *handles;
    h.comp = &comp;
    h.compHandle = newHandle(state);
    h.compItemHandle = newHandle(state);
    // Item ids: the composition is 1, its footage follows in the order the file lists it, then any
    // footage a layer uses without listing it.
    int32_t nextItemId = 1;
    state.items[h.compItemHandle] = ItemRef{&h, nullptr, nextItemId++};
    auto addFootage = [&](const Footage* footage) {
        if (footage == nullptr || footageHandleFor(h.itemHandles, footage) != 0) return;
        uintptr_t item = newHandle(state);
        uintptr_t main = newHandle(state);
        h.itemHandles.emplace_back(footage, item);
        h.footageHandles.emplace_back(footage, main);
        state.items[item] = ItemRef{&h, footage, nextItemId++};
        state.footage[main] = FootageRef{&h, footage};
    };
    for (const auto& entry : comp.footage) addFootage(entry.second.get());
    h.layerHandles.reserve(comp.layers.size());
    for (size_t i = 0; i < comp.layers.size(); ++i) {
        addFootage(comp.layers[i].source.get());
        uintptr_t layer = newHandle(state);
        h.layerHandles.push_back(layer);
        state.layers[layer] = LayerRef{&h, i};
    }
    return *state.compositions.emplace(h.compHandle, std::move(handles)).first->second;
}

void forgetComposition(HostState& state, uintptr_t compHandle) {
    auto it = state.compositions.find(compHandle);
    if (it == state.compositions.end()) return;
    const CompositionHandles& h = *it->second;
    state.items.erase(h.compItemHandle);
    for (uintptr_t layer : h.layerHandles) state.layers.erase(layer);
    for (const auto& entry : h.itemHandles) state.items.erase(entry.second);
    for (const auto& entry : h.footageHandles) state.footage.erase(entry.second);
    state.compositions.erase(it);
}

const CompositionHandles* findComposition(HostState& state, AEGP_CompH handle) {
    uintptr_t value = handleValue(handle);
    if (value == 0) return nullptr;
    auto it = state.compositions.find(value);
    if (it == state.compositions.end()) {
        ++state.accounting.badHandles;
        return nullptr;
    }
    return it->second.get();
}

const LayerRef* findLayer(HostState& state, AEGP_LayerH handle) {
    return findIn(state, state.layers, handleValue(handle));
}
const ItemRef* findItem(HostState& state, AEGP_ItemH handle) { return findIn(state, state.items, handleValue(handle)); }
const FootageRef* findFootage(HostState& state, AEGP_FootageH handle) {
    return findIn(state, state.footage, handleValue(handle));
}
const LayerContextRef* findLayerContext(HostState& state, AEGP_RenderLayerContextH handle) {
    return findIn(state, state.layerContexts, handleValue(handle));
}

WorldRecord* findWorld(HostState& state, AEGP_WorldH handle) {
    auto* found = findIn(state, state.worlds, handleValue(handle));
    return found != nullptr ? found->get() : nullptr;
}
MemBlock* findMemBlock(HostState& state, AEGP_MemHandle handle) {
    auto* found = findIn(state, state.memHandles, handleValue(handle));
    return found != nullptr ? found->get() : nullptr;
}
RenderContext* findRenderContext(HostState& state, PR_RenderContextH handle) {
    auto* found = findIn(state, state.renderContexts, handleValue(handle));
    return found != nullptr ? found->get() : nullptr;
}

EffectRefRecord* findEffectRef(HostState& state, AEGP_EffectRefH handle) {
    return findIn(state, state.effectRefs, handleValue(handle));
}
EffectStreamRef* findEffectStream(HostState& state, AEGP_StreamRefH handle) {
    return findIn(state, state.effectStreams, handleValue(handle));
}

EffectInstance* findEffectByProgPtr(HostState& state, PF_ProgPtr effectRef) {
    uintptr_t value = handleValue(effectRef);
    if (value == 0) return nullptr;
    for (const auto& instance : state.effects) {
        if (instance->effectRef == value) return instance.get();
    }
    ++state.accounting.badHandles;
    return nullptr;
}

std::vector<EffectInstance*> layerEffects(HostState& state, const Composition& comp, size_t layerPosition) {
    std::vector<EffectInstance*> found;
    for (const auto& instance : state.effects) {
        if (instance->comp == &comp && instance->layerPosition == layerPosition) found.push_back(instance.get());
    }
    std::sort(found.begin(), found.end(),
              [](const EffectInstance* a, const EffectInstance* b) { return a->effectIndex < b->effectIndex; });
    return found;
}

uintptr_t lendEffectRef(HostState& state, EffectInstance& instance) {
    uintptr_t handle = newHandle(state);
    state.effectRefs[handle] = EffectRefRecord{&instance};
    ++state.accounting.effectsLent;
    return handle;
}

uintptr_t lendEffectStream(HostState& state, EffectInstance& instance, size_t position) {
    uintptr_t handle = newHandle(state);
    state.effectStreams[handle] = EffectStreamRef{&instance, position};
    ++state.accounting.streamsLent;
    return handle;
}

AEGP_LayerH effectLayerHandle(HostState& state, const EffectInstance& instance) {
    auto it = state.effectCompositions.find(instance.comp);
    if (it == state.effectCompositions.end()) return nullptr;
    auto comp = state.compositions.find(it->second);
    if (comp == state.compositions.end()) return nullptr;
    return layerHandleAt(*comp->second, instance.layerPosition);
}

const Layer& layerOf(const LayerRef& ref) { return ref.owner->comp->layers[ref.position]; }

AEGP_LayerH layerHandleAt(const CompositionHandles& comp, size_t position) {
    return position < comp.layerHandles.size() ? toHandle<AEGP_LayerH>(comp.layerHandles[position]) : nullptr;
}

uintptr_t sourceItemHandle(const CompositionHandles& comp, const Layer& layer) {
    for (const auto& [footage, handle] : comp.itemHandles) {
        if (footage == layer.source.get()) return handle;
    }
    return 0;
}

bool isKnownPlugin(const HostState& state, AEGP_PluginID id) {
    return std::find(state.pluginIds.begin(), state.pluginIds.end(), id) != state.pluginIds.end();
}

bool secondsOf(const A_Time* time, double& seconds) {
    if (time == nullptr || time->scale == 0) return false;
    seconds = static_cast<double>(time->value) / static_cast<double>(time->scale);
    return true;
}

uintptr_t addWorld(HostState& state, HostWorld world, WorldOrigin origin) {
    uintptr_t handle = newHandle(state);
    state.worlds[handle] = std::make_unique<WorldRecord>(WorldRecord{std::move(world), origin});
    if (origin == WorldOrigin::Texture || origin == WorldOrigin::PluginNew) ++state.accounting.worldsLent;
    return handle;
}

void returnWorld(HostState& state, uintptr_t handle) {
    if (state.worlds.erase(handle) != 0) ++state.accounting.worldsReturned;
}

A_Err hostMessageFunction(A_Err err, const A_char* message) {
    return guardedSuiteCall([&](HostState& state) {
        std::string text = message != nullptr ? std::string(message, strnlen(message, kMaxMessageChars)) : "";
        if (state.echoMessages) {
            std::cerr << "plug-in: " << text;
            if (err != A_Err_NONE) std::cerr << " (error " << err << ")";
            std::cerr << '\n';
        }
        state.messages.push_back(std::move(text));
        return A_Err_NONE;
    });
}

}  // namespace zephrin::host
