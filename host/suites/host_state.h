// The host-side state every suite answers from: the handles the host has lent, the plug-ins' registrations,
// the counts of what was borrowed and returned. Suites are plain C function tables without a context
// pointer, so they reach this record through one process-wide "active" pointer; the session activates it
// while it is open.
//
// Handles are opaque numbers from one counter that never repeats, so a stale handle (returned, or from a
// finished frame) and a handle of the wrong kind are always unknown rather than aliasing a live object.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/composition.h"
#include "host/effect_instance.h"
#include "host/handle_accounting.h"
#include "host/host_world.h"
#include "sdk/AE_GeneralPlug.h"

namespace zephrin::host {

struct RenderContext;
struct EffectPlugin;
struct DrawbotCanvas;

enum class WorldOrigin {
    Destination,        // the frame's destination buffer; the host's, never disposed by a plug-in
    InteractiveBuffer,  // the interactive cached buffer; the host's
    Texture,            // lent by AEGP_RenderLayerPlus, given back by AEGP_DisposeTexture
    PluginNew,          // lent by World AEGP_New, given back by World AEGP_Dispose
};

struct WorldRecord {
    HostWorld world;
    WorldOrigin origin = WorldOrigin::PluginNew;
};

struct MemBlock {
    std::vector<uint8_t> bytes;  // never empty, so a zero-size handle still locks to a valid address
    AEGP_MemSize size = 0;       // the size the caller asked for
    int32_t locks = 0;
};

// One composition as the suites see it: handles for it, its item, its layers and the footage they use.
struct CompositionHandles {
    const Composition* comp = nullptr;
    uintptr_t compHandle = 0;
    uintptr_t compItemHandle = 0;
    std::vector<uintptr_t> layerHandles;  // by position in comp->layers, top first
    std::vector<std::pair<const Footage*, uintptr_t>> itemHandles;
    std::vector<std::pair<const Footage*, uintptr_t>> footageHandles;
};

struct LayerRef {
    const CompositionHandles* owner = nullptr;
    size_t position = 0;  // in owner->comp->layers
};

struct ItemRef {
    const CompositionHandles* owner = nullptr;
    const Footage* footage = nullptr;  // null: the composition's own item
    int32_t id = 0;
};

struct FootageRef {
    const CompositionHandles* owner = nullptr;
    const Footage* footage = nullptr;
};

struct LayerContextRef {
    const RenderContext* context = nullptr;
    size_t position = 0;  // in the composition's layers
};

struct ArtisanRegistration {
    AEGP_PluginID pluginId = 0;
    std::string matchName, displayName;
    PR_ArtisanEntryPoints entries{};
    void* refcon = nullptr;
    A_Version apiVersion{}, artisanVersion{};
};

// An AEGP effect handle the host lent (AEGP_GetLayerEffectByIndex, AEGP_GetNewEffectForEffect).
struct EffectRefRecord {
    EffectInstance* instance = nullptr;
};

// An effect parameter stream handle the host lent (AEGP_GetNewEffectStreamByIndex).
struct EffectStreamRef {
    EffectInstance* instance = nullptr;
    size_t position = 0;
};

// A relocatable block of the "PF Handle Suite": the handle is the address of `master`.
struct PfHandleBlock {
    void* master = nullptr;
    std::vector<uint8_t> bytes;  // never empty, so a zero-size handle still locks to a valid address
    size_t size = 0;
};

// A custom-UI event context (PF_EventExtra.contextH): one per open Effect Controls panel. During a draw
// it holds the canvas the effect paints on; what the effect asked to have redrawn is counted.
struct UiContextRecord {
    DrawbotCanvas* canvas = nullptr;  // only while a PF_Event_DRAW is in progress
    std::vector<PF_Rect> invalidated;  // PF_InvalidateRect rectangles; a whole-window one as {0, 0, 0, 0}
};

struct DeathHookRegistration {
    AEGP_PluginID pluginId = 0;
    AEGP_DeathHook hook = nullptr;
    AEGP_DeathRefcon refcon = nullptr;
};

// The first handle value; handles step by 16 so that they look like aligned addresses to a plug-in.
constexpr uintptr_t kFirstHandle = 0x10000;
constexpr uintptr_t kHandleStep = 16;

// The host's own application id in PF_InData.appl_id.
constexpr A_long kHostApplId = PF_FOURCC('F', 'X', 'T', 'C');

// The longest message text the host copies from a plug-in; a missing terminator stops here.
constexpr size_t kMaxMessageChars = 4096;

struct HostState {
    HostState();
    ~HostState();
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    mutable std::mutex mutex;  // suite calls may come from a plug-in's worker threads
    HandleAccounting accounting;
    std::set<std::string> withheldSuites;
    std::vector<std::string> messages;
    bool echoMessages = true;  // print plug-in messages to stderr as they arrive

    std::vector<AEGP_PluginID> pluginIds;  // ids the loader handed out
    std::vector<ArtisanRegistration> artisans;
    std::vector<DeathHookRegistration> deathHooks;

    uintptr_t nextHandle = kFirstHandle;
    std::map<uintptr_t, std::unique_ptr<CompositionHandles>> compositions;  // by composition handle
    std::unordered_map<uintptr_t, LayerRef> layers;
    std::unordered_map<uintptr_t, ItemRef> items;
    std::unordered_map<uintptr_t, FootageRef> footage;
    std::unordered_map<uintptr_t, std::unique_ptr<WorldRecord>> worlds;
    std::unordered_map<uintptr_t, std::unique_ptr<MemBlock>> memHandles;
    std::unordered_map<uintptr_t, std::unique_ptr<RenderContext>> renderContexts;
    std::unordered_map<uintptr_t, LayerContextRef> layerContexts;

    // Effects: the installed effect's match name (its installed key is 1), the instances applied to
    // layers, the compositions they live in (registered for as long as the host is open, so that a
    // command outside a frame can reach its layer), and the handles lent on them.
    std::string installedEffectMatchName;
    std::vector<std::unique_ptr<EffectInstance>> effects;
    std::map<const Composition*, uintptr_t> effectCompositions;  // composition handle
    std::map<const Composition*, AEGP_DownsampleFactor> compDownsample;
    std::unordered_map<uintptr_t, EffectRefRecord> effectRefs;
    std::unordered_map<uintptr_t, EffectStreamRef> effectStreams;
    std::multiset<uintptr_t> lentStreamValues;  // the stream handle of every value lent and not yet given back
    AEGP_PluginID effectPluginId = 0;  // what AEGP_RegisterWithAEGP granted the effect
    std::unordered_map<uintptr_t, std::unique_ptr<PfHandleBlock>> pfHandles;
    EffectPlugin* effectPlugin = nullptr;  // the loaded effect, owned by the session; null when none
    A_long applId = kHostApplId;           // PF_InData.appl_id the effect sees
    std::string languageTag = "en_US";     // what PF_AppGetLanguage answers
    int64_t activeItemTouches = 0;      // PF_TouchActiveItem calls
    std::unordered_map<uintptr_t, UiContextRecord> uiContexts;  // by PF_ContextH value
};

uintptr_t newHandle(HostState& state);

template <typename Handle>
Handle toHandle(uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}
template <typename Handle>
uintptr_t handleValue(Handle handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

// Makes `state` the one the suites answer from. False when another state is already active.
bool activateHostState(HostState& state);
// Clears the active pointer when it is `state`.
void deactivateHostState(HostState& state);
HostState* activeHostState();

// Runs a suite function's body against the active state under its lock, turning anything thrown into
// an error code so that nothing crosses the C boundary. No active state: A_Err_GENERIC.
template <typename Body>
A_Err guardedSuiteCall(Body&& body) noexcept {
    HostState* state = activeHostState();
    if (state == nullptr) return A_Err_GENERIC;
    try {
        std::lock_guard<std::mutex> lock(state->mutex);
        return body(*state);
    } catch (const std::bad_alloc&) {
        return A_Err_ALLOC;
    } catch (...) {
        return A_Err_GENERIC;
    }
}

// Registers handles for a composition, its layers, its item and every footage item its layers use.
CompositionHandles& registerComposition(HostState& state, const Composition& comp);
// Forgets every handle registerComposition made for it.
void forgetComposition(HostState& state, uintptr_t compHandle);

// Handle lookups. A null handle gives null; a non-null handle the host does not know (never lent,
// already returned, another kind) gives null and counts as a bad handle.
const CompositionHandles* findComposition(HostState& state, AEGP_CompH handle);
const LayerRef* findLayer(HostState& state, AEGP_LayerH handle);
const ItemRef* findItem(HostState& state, AEGP_ItemH handle);
const FootageRef* findFootage(HostState& state, AEGP_FootageH handle);
WorldRecord* findWorld(HostState& state, AEGP_WorldH handle);
MemBlock* findMemBlock(HostState& state, AEGP_MemHandle handle);
RenderContext* findRenderContext(HostState& state, PR_RenderContextH handle);
const LayerContextRef* findLayerContext(HostState& state, AEGP_RenderLayerContextH handle);

EffectRefRecord* findEffectRef(HostState& state, AEGP_EffectRefH handle);
EffectStreamRef* findEffectStream(HostState& state, AEGP_StreamRefH handle);
// The instance whose commands carry this effect reference; null (and a bad handle) when none does.
EffectInstance* findEffectByProgPtr(HostState& state, PF_ProgPtr effectRef);
// The layer's effects in their order on the layer.
std::vector<EffectInstance*> layerEffects(HostState& state, const Composition& comp, size_t layerPosition);
// Lends a new handle on an instance's effect or one of its streams; counted as lent.
uintptr_t lendEffectRef(HostState& state, EffectInstance& instance);
uintptr_t lendEffectStream(HostState& state, EffectInstance& instance, size_t position);
// The handle of the layer the instance is applied to, in its long-lived composition registration.
AEGP_LayerH effectLayerHandle(HostState& state, const EffectInstance& instance);

const Layer& layerOf(const LayerRef& ref);
AEGP_LayerH layerHandleAt(const CompositionHandles& comp, size_t position);
// The footage item handle of a layer's source, or 0 for a layer without one.
uintptr_t sourceItemHandle(const CompositionHandles& comp, const Layer& layer);

bool isKnownPlugin(const HostState& state, AEGP_PluginID id);

// Seconds of a host time; false for a null time or a zero scale.
bool secondsOf(const A_Time* time, double& seconds);

// A world the host lends or keeps; counted as lent when its origin is Texture or PluginNew.
uintptr_t addWorld(HostState& state, HostWorld world, WorldOrigin origin);
// Removes a world the borrower gives back; counts it returned.
void returnWorld(HostState& state, uintptr_t handle);

// The host's message function for PR_InData: records the text and echoes it to stderr as "plug-in: ".
A_Err hostMessageFunction(A_Err err, const A_char* message);

}  // namespace zephrin::host
