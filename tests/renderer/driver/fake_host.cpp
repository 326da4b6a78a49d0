#include "fake_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace zephrin::fakehost {

namespace {

Host* gHost = nullptr;

constexpr uintptr_t kRenderContextTag = 0x10;
constexpr uintptr_t kCompTag = 0x20;
constexpr uintptr_t kCompItemTag = 0x30;
constexpr uintptr_t kInteractiveBufferTag = 0x40;
constexpr uintptr_t kLayerBase = 0x10000;
constexpr uintptr_t kSourceItemBase = 0x20000;
constexpr uintptr_t kLayerContextBase = 0x30000;
constexpr uintptr_t kWorldBase = 0x40000;
constexpr uintptr_t kEffectRefBase = 0x50000;
constexpr uintptr_t kStreamBase = 0x60000;
constexpr uintptr_t kRangeSize = 0x10000;
// Extra bytes at the end of every row, so a reader that assumes tight rows goes wrong visibly.
constexpr A_u_long kRowPadding = 24;

template <typename Handle>
Handle tagged(uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

template <typename Handle>
bool untag(Handle handle, uintptr_t base, size_t count, size_t& index) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < base || value >= base + kRangeSize) return false;
    index = static_cast<size_t>(value - base);
    return index < count;
}

Host& host() {
    if (gHost == nullptr) throw std::logic_error("no fake host");
    return *gHost;
}

bool validRenderContext(PR_RenderContextH rc) { return reinterpret_cast<uintptr_t>(rc) == kRenderContextTag; }

Layer* layerFor(AEGP_LayerH handle) {
    size_t index = 0;
    if (!untag(handle, kLayerBase, host().layers.size(), index)) return nullptr;
    return &host().layers[index];
}

Layer* layerForContext(AEGP_RenderLayerContextH handle) {
    size_t position = 0;
    if (!untag(handle, kLayerContextBase, host().renderList.size(), position)) return nullptr;
    return &host().layers[host().renderList[position]];
}

World* worldFor(AEGP_WorldH handle) {
    size_t index = 0;
    if (!untag(handle, kWorldBase, host().worlds.size(), index)) return nullptr;
    return &host().worlds[index];
}

size_t pixelSize(AEGP_WorldType type) {
    switch (type) {
        case AEGP_WorldType_16:
            return sizeof(PF_Pixel16);
        case AEGP_WorldType_32:
            return sizeof(PF_PixelFloat);
        default:
            return sizeof(PF_Pixel8);
    }
}

// ---- Register suite

A_Err registerDeathHook(AEGP_PluginID, AEGP_DeathHook hook, AEGP_DeathRefcon) {
    if (host().registerDeathHookError != A_Err_NONE) return host().registerDeathHookError;
    host().deathHooks.push_back(hook);
    return A_Err_NONE;
}

A_Err registerArtisan(A_Version api, A_Version version, AEGP_PluginID id, void* refcon, const A_char* match,
                      const A_char* name, PR_ArtisanEntryPoints* callbacks) {
    if (host().registerArtisanError != A_Err_NONE) return host().registerArtisanError;
    if (match == nullptr || name == nullptr || callbacks == nullptr) return A_Err_PARAMETER;
    host().artisans.push_back(Registration{api, version, id, refcon, match, name, *callbacks});
    return A_Err_NONE;
}

// ---- Canvas suites

A_Err getCompToRender(PR_RenderContextH rc, AEGP_CompH* comp) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    if (host().compToRenderError != A_Err_NONE) return host().compToRenderError;
    *comp = tagged<AEGP_CompH>(kCompTag);
    return A_Err_NONE;
}

A_Err getNumLayersToRender(PR_RenderContextH rc, A_long* count) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    *count = static_cast<A_long>(host().renderList.size());
    return A_Err_NONE;
}

A_Err getNthLayerContextToRender(PR_RenderContextH rc, A_long n, AEGP_RenderLayerContextH* context) {
    if (!validRenderContext(rc) || n < 0 || static_cast<size_t>(n) >= host().renderList.size()) return A_Err_PARAMETER;
    *context = tagged<AEGP_RenderLayerContextH>(kLayerContextBase + static_cast<uintptr_t>(n));
    return A_Err_NONE;
}

A_Err getLayerFromLayerContext(PR_RenderContextH rc, AEGP_RenderLayerContextH context, AEGP_LayerH* layer) {
    size_t position = 0;
    if (!validRenderContext(rc) || !untag(context, kLayerContextBase, host().renderList.size(), position)) {
        return A_Err_PARAMETER;
    }
    *layer = tagged<AEGP_LayerH>(kLayerBase + host().renderList[position]);
    return A_Err_NONE;
}

A_Err getCompRenderTime(PR_RenderContextH rc, A_Time* time, A_Time* step) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    if (host().renderTimeError != A_Err_NONE) return host().renderTimeError;
    *time = host().time;
    *step = A_Time{1, host().time.scale};
    return A_Err_NONE;
}

A_Err getCompDestinationBuffer(PR_RenderContextH rc, AEGP_CompH comp, AEGP_WorldH* world) {
    if (!validRenderContext(rc) || reinterpret_cast<uintptr_t>(comp) != kCompTag) return A_Err_PARAMETER;
    if (host().destinationError != A_Err_NONE) return host().destinationError;
    *world = host().destinationHandle();
    return A_Err_NONE;
}

A_Err disposeTexture(PR_RenderContextH rc, AEGP_RenderLayerContextH context, AEGP_WorldH handle) {
    World* world = worldFor(handle);
    if (!validRenderContext(rc) || world == nullptr || !world->lent || world->returned ||
        world->renderedContext != context) {
        ++host().badHandles;
        return A_Err_PARAMETER;
    }
    world->returned = true;
    host().events.push_back("disposeTexture:" + std::to_string(reinterpret_cast<uintptr_t>(handle) - kWorldBase));
    return A_Err_NONE;
}

A_Err getRenderDownsampleFactor(PR_RenderContextH rc, AEGP_DownsampleFactor* dsf) {
    if (!validRenderContext(rc) || host().downsampleFails) return A_Err_GENERIC;
    *dsf = host().downsample;
    return A_Err_NONE;
}

A_Err getRenderLayerToWorldXform(PR_RenderContextH rc, AEGP_RenderLayerContextH context, const A_Time*,
                                 A_Matrix4* transform) {
    Layer* layer = layerForContext(context);
    if (!validRenderContext(rc) || layer == nullptr || layer->renderLayerToWorldFails) return A_Err_PARAMETER;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) transform->mat[r][c] = layer->layerToWorld.m[r][c];
    return A_Err_NONE;
}

A_Err getRenderOpacity(PR_RenderContextH rc, AEGP_RenderLayerContextH context, const A_Time*, A_FpLong* opacity) {
    Layer* layer = layerForContext(context);
    if (!validRenderContext(rc) || layer == nullptr || layer->opacityFails) return A_Err_PARAMETER;
    *opacity = layer->opacity;
    return A_Err_NONE;
}

A_Err renderLayerPlus(PR_RenderContextH rc, AEGP_LayerH layerHandle, AEGP_RenderLayerContextH context,
                      AEGP_RenderHints hints, AEGP_WorldH* out) {
    Layer* layer = layerFor(layerHandle);
    if (!validRenderContext(rc) || layer == nullptr || layerForContext(context) != layer) return A_Err_PARAMETER;
    if (layer->renderError != A_Err_NONE) return layer->renderError;
    A_long width = layer->sourceWidth > 0 ? layer->sourceWidth : 1;
    A_long height = layer->sourceHeight > 0 ? layer->sourceHeight : 1;
    size_t index = host().addWorld(layer->textureType, width, height);
    World& world = host().worlds[index];
    world.lent = true;
    world.renderedContext = context;
    world.renderedLayerId = layer->id;
    world.hints = hints;
    host().events.push_back("render:" + std::to_string(layer->id));
    *out = host().worldHandle(index);
    return A_Err_NONE;
}

A_Err getNumBinsToRender(PR_RenderContextH rc, A_long* bins) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    *bins = host().bins;
    return A_Err_NONE;
}

A_Err getInteractiveCachedBuffer(PR_RenderContextH rc, AEGP_WorldH* buffer) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    *buffer = host().offerInteractiveBuffer ? tagged<AEGP_WorldH>(kInteractiveBufferTag) : nullptr;
    return A_Err_NONE;
}

// ---- Comp and Item suites

A_Err getItemFromComp(AEGP_CompH comp, AEGP_ItemH* item) {
    if (reinterpret_cast<uintptr_t>(comp) != kCompTag) return A_Err_PARAMETER;
    if (host().compItemError != A_Err_NONE) return host().compItemError;
    *item = tagged<AEGP_ItemH>(kCompItemTag);
    return A_Err_NONE;
}

A_Err getItemDimensions(AEGP_ItemH item, A_long* width, A_long* height) {
    if (reinterpret_cast<uintptr_t>(item) == kCompItemTag) {
        if (host().compDimensionsError != A_Err_NONE) return host().compDimensionsError;
        *width = host().compWidth;
        *height = host().compHeight;
        return A_Err_NONE;
    }
    size_t index = 0;
    if (!untag(item, kSourceItemBase, host().layers.size(), index)) return A_Err_PARAMETER;
    *width = host().layers[index].sourceWidth;
    *height = host().layers[index].sourceHeight;
    return A_Err_NONE;
}

// ---- Layer suite

A_Err getLayerSourceItem(AEGP_LayerH handle, AEGP_ItemH* item) {
    size_t index = 0;
    if (!untag(handle, kLayerBase, host().layers.size(), index)) return A_Err_PARAMETER;
    const Layer& layer = host().layers[index];
    *item = (layer.sourceWidth > 0 || layer.sourceHeight > 0) ? tagged<AEGP_ItemH>(kSourceItemBase + index) : nullptr;
    return A_Err_NONE;
}

A_Err getLayerFlags(AEGP_LayerH handle, AEGP_LayerFlags* flags) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    *flags = layer->flags;
    return A_Err_NONE;
}

A_Err isVideoActive(AEGP_LayerH handle, AEGP_LTimeMode, const A_Time*, A_Boolean* active) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    *active = layer->videoActive ? 1 : 0;
    return A_Err_NONE;
}

A_Err isLayer3D(AEGP_LayerH handle, A_Boolean* is3D) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    *is3D = layer->threeD ? 1 : 0;
    return A_Err_NONE;
}

A_Err getLayerMaskedBounds(AEGP_LayerH handle, AEGP_LTimeMode, const A_Time*, A_FloatRect* bounds) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr || !layer->hasMaskedBounds) return A_Err_PARAMETER;
    *bounds = layer->maskedBounds;
    return A_Err_NONE;
}

A_Err getLayerObjectType(AEGP_LayerH handle, AEGP_ObjectType* type) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    *type = layer->objectType;
    return A_Err_NONE;
}

A_Err getLayerToWorldXform(AEGP_LayerH handle, const A_Time*, A_Matrix4* transform) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr || layer->layerToWorldFails) return A_Err_PARAMETER;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) transform->mat[r][c] = layer->layerToWorld.m[r][c];
    return A_Err_NONE;
}

A_Err getLayerID(AEGP_LayerH handle, AEGP_LayerIDVal* id) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    *id = layer->id;
    return A_Err_NONE;
}

// ---- Camera and Stream suites

A_Err getCamera(PR_RenderContextH rc, const A_Time*, AEGP_LayerH* camera) {
    if (!validRenderContext(rc)) return A_Err_PARAMETER;
    *camera = host().cameraLayer >= 0 ? host().layerHandle(static_cast<size_t>(host().cameraLayer)) : nullptr;
    return A_Err_NONE;
}

A_Err getLayerStreamValue(AEGP_LayerH handle, AEGP_LayerStream stream, AEGP_LTimeMode, const A_Time*, A_Boolean,
                          AEGP_StreamVal* value, AEGP_StreamType* type) {
    Layer* layer = layerFor(handle);
    if (layer == nullptr) return A_Err_PARAMETER;
    if (auto it = layer->numbers.find(stream); it != layer->numbers.end()) {
        value->one_d = it->second;
        if (type != nullptr) *type = AEGP_StreamType_OneD;
        return A_Err_NONE;
    }
    if (auto it = layer->points.find(stream); it != layer->points.end()) {
        value->three_d = it->second;
        if (type != nullptr) *type = AEGP_StreamType_ThreeD;
        return A_Err_NONE;
    }
    return A_Err_PARAMETER;
}

// ---- Effect suite

Effect* effectFor(AEGP_EffectRefH handle) {
    size_t index = 0;
    if (!untag(handle, kEffectRefBase, host().effectRefs.size(), index)) return nullptr;
    auto [layer, effect] = host().effectRefs[index];
    return &host().layers[layer].effects[effect];
}

A_Err getLayerNumEffects(AEGP_LayerH handle, A_long* count) {
    Layer* layer = layerFor(handle);
    if (host().effectSuiteError != A_Err_NONE) return host().effectSuiteError;
    if (layer == nullptr || layer->effectListFails) return A_Err_PARAMETER;
    *count = static_cast<A_long>(layer->effects.size());
    return A_Err_NONE;
}

A_Err getLayerEffectByIndex(AEGP_PluginID, AEGP_LayerH handle, A_long index, AEGP_EffectRefH* effect) {
    size_t layerIndex = 0;
    if (host().effectSuiteError != A_Err_NONE) return host().effectSuiteError;
    if (!untag(handle, kLayerBase, host().layers.size(), layerIndex)) return A_Err_PARAMETER;
    if (index < 0 || static_cast<size_t>(index) >= host().layers[layerIndex].effects.size()) return A_Err_PARAMETER;
    host().effectRefs.emplace_back(layerIndex, static_cast<size_t>(index));
    ++host().effectRefsLent;
    *effect = tagged<AEGP_EffectRefH>(kEffectRefBase + host().effectRefs.size() - 1);
    return A_Err_NONE;
}

A_Err getInstalledKey(AEGP_EffectRefH handle, AEGP_InstalledEffectKey* key) {
    if (host().effectSuiteError != A_Err_NONE) return host().effectSuiteError;
    if (effectFor(handle) == nullptr) return A_Err_PARAMETER;
    *key = static_cast<AEGP_InstalledEffectKey>(reinterpret_cast<uintptr_t>(handle) - kEffectRefBase);
    return A_Err_NONE;
}

A_Err getEffectMatchName(AEGP_InstalledEffectKey key, A_char name[AEGP_MAX_EFFECT_MATCH_NAME_SIZE]) {
    Effect* effect = effectFor(tagged<AEGP_EffectRefH>(kEffectRefBase + static_cast<uintptr_t>(key)));
    if (effect == nullptr || effect->matchNameFails) return A_Err_PARAMETER;
    std::snprintf(name, AEGP_MAX_EFFECT_MATCH_NAME_SIZE, "%s", effect->matchName.c_str());
    return A_Err_NONE;
}

A_Err getEffectFlags(AEGP_EffectRefH handle, AEGP_EffectFlags* flags) {
    Effect* effect = effectFor(handle);
    if (effect == nullptr) return A_Err_PARAMETER;
    *flags = effect->flags;
    return A_Err_NONE;
}

A_Err disposeEffect(AEGP_EffectRefH handle) {
    if (effectFor(handle) == nullptr) {
        ++host().badHandles;
        return A_Err_PARAMETER;
    }
    ++host().effectRefsDisposed;
    return A_Err_NONE;
}

// ---- Stream suite, effect streams

EffectParam* paramFor(AEGP_StreamRefH handle) {
    size_t index = 0;
    if (!untag(handle, kStreamBase, host().streamRefs.size(), index)) return nullptr;
    const Host::StreamRef& ref = host().streamRefs[index];
    return &host().layers[ref.layer].effects[ref.effect].params[static_cast<size_t>(ref.position)];
}

A_Err getEffectNumParamStreams(AEGP_EffectRefH handle, A_long* count) {
    Effect* effect = effectFor(handle);
    if (effect == nullptr) return A_Err_PARAMETER;
    *count = static_cast<A_long>(effect->params.size());
    return A_Err_NONE;
}

A_Err getNewEffectStreamByIndex(AEGP_PluginID, AEGP_EffectRefH handle, A_long position, AEGP_StreamRefH* stream) {
    size_t index = 0;
    if (!untag(handle, kEffectRefBase, host().effectRefs.size(), index)) return A_Err_PARAMETER;
    auto [layer, effect] = host().effectRefs[index];
    const Effect& target = host().layers[layer].effects[effect];
    if (position < 0 || static_cast<size_t>(position) >= target.params.size()) return A_Err_PARAMETER;
    if (target.params[static_cast<size_t>(position)].fails) return A_Err_GENERIC;
    host().streamRefs.push_back(Host::StreamRef{layer, effect, static_cast<int>(position)});
    ++host().streamsLent;
    *stream = tagged<AEGP_StreamRefH>(kStreamBase + host().streamRefs.size() - 1);
    return A_Err_NONE;
}

A_Err disposeStream(AEGP_StreamRefH handle) {
    if (paramFor(handle) == nullptr) {
        ++host().badHandles;
        return A_Err_PARAMETER;
    }
    ++host().streamsDisposed;
    return A_Err_NONE;
}

A_Err getStreamType(AEGP_StreamRefH handle, AEGP_StreamType* type) {
    EffectParam* param = paramFor(handle);
    if (param == nullptr) return A_Err_PARAMETER;
    *type = param->type;
    return A_Err_NONE;
}

A_Err getNewStreamValue(AEGP_PluginID, AEGP_StreamRefH handle, AEGP_LTimeMode, const A_Time*, A_Boolean,
                        AEGP_StreamValue2* value) {
    EffectParam* param = paramFor(handle);
    if (param == nullptr) return A_Err_PARAMETER;
    value->streamH = handle;
    value->val = param->value;
    ++host().streamValuesLent;
    return A_Err_NONE;
}

A_Err disposeStreamValue(AEGP_StreamValue2* value) {
    if (value == nullptr || paramFor(value->streamH) == nullptr) {
        ++host().badHandles;
        return A_Err_PARAMETER;
    }
    ++host().streamValuesDisposed;
    return A_Err_NONE;
}

// ---- World suite

A_Err worldDispose(AEGP_WorldH handle) {
    World* world = worldFor(handle);
    if (world == nullptr || !world->ownedByPlugin || world->returned) {
        ++host().badHandles;
        return A_Err_PARAMETER;
    }
    world->returned = true;
    host().events.push_back("dispose:" + std::to_string(reinterpret_cast<uintptr_t>(handle) - kWorldBase));
    return A_Err_NONE;
}

A_Err worldGetType(AEGP_WorldH handle, AEGP_WorldType* type) {
    World* world = worldFor(handle);
    if (world == nullptr) return A_Err_PARAMETER;
    *type = world->type;
    return A_Err_NONE;
}

A_Err worldGetSize(AEGP_WorldH handle, A_long* width, A_long* height) {
    World* world = worldFor(handle);
    if (world == nullptr) return A_Err_PARAMETER;
    if (handle == host().destinationHandle() && host().destinationSizeError != A_Err_NONE) {
        return host().destinationSizeError;
    }
    *width = world->width;
    *height = world->height;
    return A_Err_NONE;
}

A_Err worldGetRowBytes(AEGP_WorldH handle, A_u_long* rowBytes) {
    World* world = worldFor(handle);
    if (world == nullptr) return A_Err_PARAMETER;
    *rowBytes = world->rowBytesOverride != 0 ? world->rowBytesOverride : world->rowBytes;
    return A_Err_NONE;
}

template <typename Pixel, AEGP_WorldType kType>
A_Err worldGetBaseAddr(AEGP_WorldH handle, Pixel** base) {
    World* world = worldFor(handle);
    if (world == nullptr || world->type != kType) return A_Err_PARAMETER;
    *base = world->baseAddressMissing ? nullptr : reinterpret_cast<Pixel*>(world->bytes.data());
    return A_Err_NONE;
}

// ---- Basic suite

// Only the operations the renderer calls so far are answered; the other slots stay null.
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
    suite.AEGP_GetRenderOpacity = getRenderOpacity;
    suite.AEGP_RenderLayerPlus = renderLayerPlus;
    return suite;
}

AEGP_LayerSuite11 makeLayerSuite() {
    AEGP_LayerSuite11 suite{};
    suite.AEGP_GetLayerSourceItem = getLayerSourceItem;
    suite.AEGP_GetLayerFlags = getLayerFlags;
    suite.AEGP_IsVideoActive = isVideoActive;
    suite.AEGP_IsLayer3D = isLayer3D;
    suite.AEGP_GetLayerMaskedBounds = getLayerMaskedBounds;
    suite.AEGP_GetLayerObjectType = getLayerObjectType;
    suite.AEGP_GetLayerToWorldXform = getLayerToWorldXform;
    suite.AEGP_GetLayerID = getLayerID;
    return suite;
}

AEGP_WorldSuite3 makeWorldSuite() {
    AEGP_WorldSuite3 suite{};
    suite.AEGP_Dispose = worldDispose;
    suite.AEGP_GetType = worldGetType;
    suite.AEGP_GetSize = worldGetSize;
    suite.AEGP_GetRowBytes = worldGetRowBytes;
    suite.AEGP_GetBaseAddr8 = worldGetBaseAddr<PF_Pixel8, AEGP_WorldType_8>;
    suite.AEGP_GetBaseAddr16 = worldGetBaseAddr<PF_Pixel16, AEGP_WorldType_16>;
    suite.AEGP_GetBaseAddr32 = worldGetBaseAddr<PF_PixelFloat, AEGP_WorldType_32>;
    return suite;
}

template <typename Suite, typename Fill>
Suite makeSuite(Fill fill) {
    Suite suite{};
    fill(suite);
    return suite;
}

const auto kRegisterSuite = makeSuite<AEGP_RegisterSuite6>([](auto& s) {
    s.AEGP_RegisterDeathHook = registerDeathHook;
    s.AEGP_RegisterArtisan = registerArtisan;
});
const AEGP_CanvasSuite10 kCanvasSuite10 = makeCanvasSuite10();
const auto kCanvasSuite14 = makeSuite<AEGP_CanvasSuite14>([](auto& s) {
    s.AEGP_GetNumBinsToRender = getNumBinsToRender;
    s.AEGP_GetInteractiveCachedBuffer = getInteractiveCachedBuffer;
});
const auto kCompSuite = makeSuite<AEGP_CompSuite9>([](auto& s) { s.AEGP_GetItemFromComp = getItemFromComp; });
const auto kItemSuite = makeSuite<AEGP_ItemSuite10>([](auto& s) { s.AEGP_GetItemDimensions = getItemDimensions; });
const AEGP_LayerSuite11 kLayerSuite = makeLayerSuite();
const auto kCameraSuite = makeSuite<AEGP_CameraSuite2>([](auto& s) { s.AEGP_GetCamera = getCamera; });
const auto kStreamSuite =
    makeSuite<AEGP_StreamSuite7>([](auto& s) { s.AEGP_GetLayerStreamValue = getLayerStreamValue; });
const AEGP_WorldSuite3 kWorldSuite = makeWorldSuite();
const auto kStreamSuite11 = makeSuite<AEGP_StreamSuite11>([](auto& s) {
    s.AEGP_GetLayerStreamValue = getLayerStreamValue;
    s.AEGP_GetNewEffectStreamByIndex = getNewEffectStreamByIndex;
    s.AEGP_DisposeStream = disposeStream;
    s.AEGP_GetStreamType = getStreamType;
    s.AEGP_GetNewStreamValue = getNewStreamValue;
    s.AEGP_DisposeStreamValue = disposeStreamValue;
    s.AEGP_GetEffectNumParamStreams = getEffectNumParamStreams;
});
const auto kEffectSuite = makeSuite<AEGP_EffectSuite4>([](auto& s) {
    s.AEGP_GetLayerNumEffects = getLayerNumEffects;
    s.AEGP_GetLayerEffectByIndex = getLayerEffectByIndex;
    s.AEGP_GetInstalledKeyFromLayerEffect = getInstalledKey;
    s.AEGP_GetEffectFlags = getEffectFlags;
    s.AEGP_DisposeEffect = disposeEffect;
    s.AEGP_GetEffectMatchName = getEffectMatchName;
});

const void* suiteFor(const std::string& name, A_long version) {
    if (name == kAEGPRegisterSuite && version == kAEGPRegisterSuiteVersion6) return &kRegisterSuite;
    if (name == kAEGPCanvasSuite && version == kAEGPCanvasSuiteVersion10) return &kCanvasSuite10;
    if (name == kAEGPCanvasSuite && version == kAEGPCanvasSuiteVersion14) return &kCanvasSuite14;
    if (name == kAEGPCompSuite && version == kAEGPCompSuiteVersion9) return &kCompSuite;
    if (name == kAEGPItemSuite && version == kAEGPItemSuiteVersion10) return &kItemSuite;
    if (name == kAEGPLayerSuite && version == kAEGPLayerSuiteVersion11) return &kLayerSuite;
    if (name == kAEGPCameraSuite && version == kAEGPCameraSuiteVersion2) return &kCameraSuite;
    if (name == kAEGPStreamSuite && version == kAEGPStreamSuiteVersion7) return &kStreamSuite;
    if (name == kAEGPStreamSuite && version == kAEGPStreamSuiteVersion11) return &kStreamSuite11;
    if (name == kAEGPEffectSuite && version == kAEGPEffectSuiteVersion4) return &kEffectSuite;
    if (name == kAEGPWorldSuite && (version == kAEGPWorldSuiteVersion2 || version == kAEGPWorldSuiteVersion3)) {
        return &kWorldSuite;
    }
    return nullptr;
}

SPErr acquireSuite(const char* name, A_long version, const void** suite) {
    *suite = nullptr;
    if (host().missingSuites.count({name, version}) != 0) return kSPSuiteNotFoundError;
    const void* found = suiteFor(name, version);
    if (found == nullptr) return kSPSuiteNotFoundError;
    ++host().suitesAcquired;
    *suite = found;
    return kSPNoError;
}

SPErr releaseSuite(const char* name, A_long version) {
    if (suiteFor(name, version) == nullptr) return kSPSuiteNotFoundError;
    ++host().suitesReleased;
    return kSPNoError;
}

A_Err recordMessage(A_Err, const A_char* message) {
    host().messages.emplace_back(message != nullptr ? message : "");
    return A_Err_NONE;
}

}  // namespace

Host::Host() {
    if (gHost != nullptr) throw std::logic_error("one fake host at a time");
    gHost = this;
    basic.AcquireSuite = acquireSuite;
    basic.ReleaseSuite = releaseSuite;
    addWorld(AEGP_WorldType_8, 64, 36);
}

Host::~Host() { gHost = nullptr; }

Effect& Effect::number(int position, double value) {
    params.at(static_cast<size_t>(position)).type = AEGP_StreamType_OneD;
    params.at(static_cast<size_t>(position)).value.one_d = value;
    return *this;
}

Effect& Effect::point(int position, double x, double y, double z) {
    params.at(static_cast<size_t>(position)).type = AEGP_StreamType_ThreeD_SPATIAL;
    params.at(static_cast<size_t>(position)).value.three_d = AEGP_ThreeDVal{x, y, z};
    return *this;
}

Effect& Effect::color(int position, double red, double green, double blue) {
    params.at(static_cast<size_t>(position)).type = AEGP_StreamType_COLOR;
    params.at(static_cast<size_t>(position)).value.color = AEGP_ColorVal{1.0, red, green, blue};
    return *this;
}

Effect& Effect::layerId(int position, int32_t id) {
    params.at(static_cast<size_t>(position)).type = AEGP_StreamType_LAYER_ID;
    params.at(static_cast<size_t>(position)).value.layer_id = id;
    return *this;
}

Layer& Host::addLayer(int32_t id) {
    layers.emplace_back();
    layers.back().id = id;
    renderList.push_back(layers.size() - 1);
    return layers.back();
}

size_t Host::addWorld(AEGP_WorldType type, A_long width, A_long height) {
    World world;
    world.type = type;
    world.width = width;
    world.height = height;
    world.rowBytes = static_cast<A_u_long>(pixelSize(type) * static_cast<size_t>(width)) + kRowPadding;
    world.bytes.assign(static_cast<size_t>(world.rowBytes) * static_cast<size_t>(height), 0xFF);
    worlds.push_back(std::move(world));
    return worlds.size() - 1;
}

AEGP_WorldH Host::worldHandle(size_t index) const { return tagged<AEGP_WorldH>(kWorldBase + index); }
AEGP_LayerH Host::layerHandle(size_t index) const { return tagged<AEGP_LayerH>(kLayerBase + index); }
AEGP_RenderLayerContextH Host::layerContextHandle(size_t listPosition) const {
    return tagged<AEGP_RenderLayerContextH>(kLayerContextBase + listPosition);
}
PR_RenderContextH Host::renderContext() const { return tagged<PR_RenderContextH>(kRenderContextTag); }

PR_InData Host::inData() {
    PR_InData data{};
    data.msg_func = recordMessage;
    data.pica_basicP = &basic;
    return data;
}

int Host::worldsLent() const {
    int count = 0;
    for (const World& world : worlds) count += world.lent ? 1 : 0;
    return count;
}

int Host::worldsReturned() const {
    int count = 0;
    for (const World& world : worlds) count += (world.lent && world.returned) ? 1 : 0;
    return count;
}

namespace {

std::vector<std::string> readLines(const std::string& path, const std::string& prefix) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

std::string freshLogPath(const char* channel) {
    static int counter = 0;
    std::string path = ::testing::TempDir() + "zephrin_driver_" + channel + "_" + std::to_string(::getpid()) + "_" +
                       std::to_string(++counter) + ".log";
    std::remove(path.c_str());
    return path;
}

}  // namespace

LogCapture::LogCapture() : entryPath(freshLogPath("entry")), renderPath(freshLogPath("render")) {
    ::setenv("SSR_ENTRY_LOG", entryPath.c_str(), 1);
    ::setenv("SSR_RENDER_DEBUG", "1", 1);
    ::setenv("SSR_RENDER_DEBUG_LOG", renderPath.c_str(), 1);
}

LogCapture::~LogCapture() {
    ::unsetenv("SSR_ENTRY_LOG");
    ::unsetenv("SSR_RENDER_DEBUG");
    ::unsetenv("SSR_RENDER_DEBUG_LOG");
    std::remove(entryPath.c_str());
    std::remove(renderPath.c_str());
}

std::vector<std::string> LogCapture::entryLines() const { return readLines(entryPath, ""); }

std::vector<std::string> LogCapture::renderLines(const std::string& prefix) const {
    return readLines(renderPath, prefix);
}

}  // namespace zephrin::fakehost
