#include "host_fixture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "host/basic_suite.h"
#include "host/footage.h"
#include "host/suites/canvas_suite.h"
#include "host/suites/effect_suite.h"
#include "host/suites/layer_suite.h"
#include "host/suites/stream_suite.h"
#include "host/suites/world_suite.h"

namespace zephrin::testhost {
namespace {

// The suites carry no context pointer, so the fault layer finds its TestHost as the host finds its state.
TestHost* gTestHost = nullptr;

constexpr size_t kMaxSuiteNameChars = 256;

SPErr faultAcquire(const char* name, A_long version, const void** suite) {
    if (gTestHost != nullptr && name != nullptr && suite != nullptr) {
        const std::pair<std::string, A_long> key{std::string(name, strnlen(name, kMaxSuiteNameChars)), version};
        for (const auto& withheld : gTestHost->withheldVersions) {
            if (withheld == key) {
                *suite = nullptr;
                return kSPSuiteNotFoundError;
            }
        }
    }
    SPErr err = host::basicSuite()->AcquireSuite(name, version, suite);
    if (err != kSPNoError || gTestHost == nullptr || name == nullptr) return err;
    if (const void* table = gTestHost->replacedTable(std::string(name, strnlen(name, kMaxSuiteNameChars)), version)) {
        *suite = table;
    }
    return err;
}

SPErr faultRelease(const char* name, A_long version) { return host::basicSuite()->ReleaseSuite(name, version); }

int32_t layerIdOf(AEGP_LayerH layer) {
    AEGP_LayerIDVal id = 0;
    host::layerSuite11().AEGP_GetLayerID(layer, &id);
    return id;
}

// The id of a layer or of the layer behind a layer context, read from the host's records rather than
// through a suite, so that a handle the host does not know is counted once, by the host's own answer.
int32_t knownLayerId(AEGP_LayerH layer) {
    if (gTestHost == nullptr) return 0;
    std::lock_guard<std::mutex> lock(gTestHost->state.mutex);
    auto it = gTestHost->state.layers.find(host::handleValue(layer));
    return it != gTestHost->state.layers.end() ? host::layerOf(it->second).id : 0;
}

int32_t contextLayerId(AEGP_RenderLayerContextH context) {
    if (gTestHost == nullptr) return 0;
    std::lock_guard<std::mutex> lock(gTestHost->state.mutex);
    auto it = gTestHost->state.layerContexts.find(host::handleValue(context));
    if (it == gTestHost->state.layerContexts.end() || it->second.context == nullptr) return 0;
    return it->second.context->comp->comp->layers.at(it->second.position).id;
}

const host::EffectInstance* knownInstance(AEGP_EffectRefH effect) {
    if (gTestHost == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(gTestHost->state.mutex);
    auto it = gTestHost->state.effectRefs.find(host::handleValue(effect));
    return it != gTestHost->state.effectRefs.end() ? it->second.instance : nullptr;
}

A_Err layerCallFault(int32_t layerId, TestHost::LayerCall call) {
    if (gTestHost == nullptr || layerId == 0) return A_Err_NONE;
    for (const TestHost::FailingLayerCall& failing : gTestHost->failingLayerCalls) {
        if (failing.layerId == layerId && failing.call == call) return failing.err;
    }
    return A_Err_NONE;
}

A_Err recordedRenderLayerPlus(PR_RenderContextH rc, AEGP_LayerH layer, AEGP_RenderLayerContextH context,
                              AEGP_RenderHints hints, AEGP_WorldH* world) {
    if (A_Err fault = layerCallFault(knownLayerId(layer), TestHost::LayerCall::RenderLayer); fault != A_Err_NONE) {
        if (world != nullptr) *world = nullptr;
        return fault;
    }
    A_Err err = host::canvasSuite10().AEGP_RenderLayerPlus(rc, layer, context, hints, world);
    if (err == A_Err_NONE && gTestHost != nullptr) {
        gTestHost->renders.push_back(TestHost::RenderCall{layerIdOf(layer), hints, *world});
        gTestHost->worldNumber(*world);
        gTestHost->events.push_back("render:" + std::to_string(layerIdOf(layer)));
    }
    return err;
}

A_Err renderLayerToWorldOrFault(PR_RenderContextH rc, AEGP_RenderLayerContextH context, const A_Time* time,
                                A_Matrix4* transform) {
    if (A_Err fault = layerCallFault(contextLayerId(context), TestHost::LayerCall::RenderLayerToWorld)) return fault;
    return host::canvasSuite10().AEGP_GetRenderLayerToWorldXform(rc, context, time, transform);
}

A_Err renderOpacityOrFault(PR_RenderContextH rc, AEGP_RenderLayerContextH context, const A_Time* time,
                           A_FpLong* opacity) {
    if (A_Err fault = layerCallFault(contextLayerId(context), TestHost::LayerCall::RenderOpacity)) return fault;
    return host::canvasSuite10().AEGP_GetRenderOpacity(rc, context, time, opacity);
}

A_Err layerToWorldOrFault(AEGP_LayerH layer, const A_Time* time, A_Matrix4* transform) {
    if (A_Err fault = layerCallFault(knownLayerId(layer), TestHost::LayerCall::LayerToWorld)) return fault;
    return host::layerSuite11().AEGP_GetLayerToWorldXform(layer, time, transform);
}

A_Err maskedBoundsOrOverride(AEGP_LayerH layer, AEGP_LTimeMode mode, const A_Time* time, A_FloatRect* bounds) {
    A_Err err = host::layerSuite11().AEGP_GetLayerMaskedBounds(layer, mode, time, bounds);
    if (err != A_Err_NONE || gTestHost == nullptr) return err;
    if (auto it = gTestHost->maskedBounds.find(knownLayerId(layer)); it != gTestHost->maskedBounds.end()) {
        *bounds = it->second;
    }
    return err;
}

bool listed(const std::vector<const host::EffectInstance*>& list, const host::EffectInstance* instance) {
    return instance != nullptr && std::find(list.begin(), list.end(), instance) != list.end();
}

A_Err layerNumEffectsOrFault(AEGP_LayerH layer, A_long* count) {
    if (gTestHost != nullptr) {
        const auto& failing = gTestHost->failingEffectLists;
        if (std::find(failing.begin(), failing.end(), knownLayerId(layer)) != failing.end()) return A_Err_PARAMETER;
    }
    return host::effectSuite4().AEGP_GetLayerNumEffects(layer, count);
}

A_Err installedKeyOrFault(AEGP_EffectRefH effect, AEGP_InstalledEffectKey* key) {
    if (gTestHost != nullptr && listed(gTestHost->failingMatchNames, knownInstance(effect))) return A_Err_PARAMETER;
    return host::effectSuite4().AEGP_GetInstalledKeyFromLayerEffect(effect, key);
}

A_Err matchNameOfAnyInstalled(AEGP_InstalledEffectKey key, A_char matchName[AEGP_MAX_EFFECT_MATCH_NAME_SIZE]) {
    if (gTestHost != nullptr && matchName != nullptr) {
        if (auto it = gTestHost->otherInstalledEffects.find(key); it != gTestHost->otherInstalledEffects.end()) {
            const size_t n = std::min(it->second.size(), size_t{AEGP_MAX_EFFECT_MATCH_NAME_SIZE - 1});
            std::memcpy(matchName, it->second.data(), n);
            matchName[n] = '\0';
            return A_Err_NONE;
        }
    }
    return host::effectSuite4().AEGP_GetEffectMatchName(key, matchName);
}

A_Err effectFlagsWithMissing(AEGP_EffectRefH effect, AEGP_EffectFlags* flags) {
    A_Err err = host::effectSuite4().AEGP_GetEffectFlags(effect, flags);
    if (err == A_Err_NONE && gTestHost != nullptr && listed(gTestHost->missingEffects, knownInstance(effect))) {
        *flags |= AEGP_EffectFlags_MISSING;
    }
    return err;
}

A_Err effectStreamOrFault(AEGP_PluginID pluginId, AEGP_EffectRefH effect, A_long position, AEGP_StreamRefH* stream) {
    if (gTestHost != nullptr) {
        const host::EffectInstance* instance = knownInstance(effect);
        for (const auto& [failing, failingPosition] : gTestHost->failingEffectStreams) {
            if (instance != nullptr && failing == instance && failingPosition == position) {
                if (stream != nullptr) *stream = nullptr;
                return A_Err_GENERIC;
            }
        }
    }
    return host::streamSuite11().AEGP_GetNewEffectStreamByIndex(pluginId, effect, position, stream);
}

A_Err recordedDisposeTexture(PR_RenderContextH rc, AEGP_RenderLayerContextH context, AEGP_WorldH world) {
    A_Err err = host::canvasSuite10().AEGP_DisposeTexture(rc, context, world);
    if (err == A_Err_NONE && gTestHost != nullptr) {
        gTestHost->events.push_back("disposeTexture:" + std::to_string(gTestHost->worldNumber(world)));
    }
    return err;
}

A_Err recordedWorldDispose(AEGP_WorldH world) {
    A_Err err = host::worldSuite().AEGP_Dispose(world);
    if (err == A_Err_NONE && gTestHost != nullptr) {
        gTestHost->events.push_back("dispose:" + std::to_string(gTestHost->worldNumber(world)));
    }
    return err;
}

bool streamFails(AEGP_LayerH layer, AEGP_LayerStream stream) {
    if (gTestHost == nullptr) return false;
    const int32_t id = layerIdOf(layer);
    for (const auto& [failingId, failing] : gTestHost->failingLayerStreams) {
        if (failingId == id && failing == stream) return true;
    }
    return false;
}

A_Err layerStreamValueOrFault(AEGP_LayerH layer, AEGP_LayerStream stream, AEGP_LTimeMode mode, const A_Time* time,
                              A_Boolean preExpression, AEGP_StreamVal* value, AEGP_StreamType* type) {
    if (streamFails(layer, stream)) return A_Err_PARAMETER;
    return host::streamSuite7().AEGP_GetLayerStreamValue(layer, stream, mode, time, preExpression, value, type);
}

SPBasicSuite makeFaultLayer() {
    SPBasicSuite suite = *host::basicSuite();
    suite.AcquireSuite = faultAcquire;
    suite.ReleaseSuite = faultRelease;
    return suite;
}

}  // namespace

TestHost::TestHost() {
    if (gTestHost != nullptr) throw std::logic_error("one TestHost at a time");
    state.echoMessages = false;
    state.pluginIds.push_back(kRendererPluginId);
    if (!host::activateHostState(state)) throw std::logic_error("another host state is active");
    gTestHost = this;
}

TestHost::~TestHost() {
    for (PR_RenderContextH frame : openFrames_) host::endRenderContext(state, host::handleValue(frame));
    host::deactivateHostState(state);
    gTestHost = nullptr;
}

SPBasicSuite* TestHost::basic() const {
    static SPBasicSuite suite = makeFaultLayer();
    return &suite;
}

PR_InData TestHost::inData() const {
    PR_InData data{};
    data.msg_func = host::hostMessageFunction;
    data.pica_basicP = basic();
    return data;
}

AEGP_WorldH TestHost::addWorld(AEGP_WorldType type, int32_t width, int32_t height, uint8_t fill,
                               host::WorldOrigin origin) {
    host::HostWorld world = host::makeWorld(type, width, height);
    std::memset(world.bytes.data(), fill, world.bytes.size());
    AEGP_WorldH handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        handle = host::toHandle<AEGP_WorldH>(host::addWorld(state, std::move(world), origin));
    }
    worldNumber(handle);
    return handle;
}

host::HostWorld& TestHost::world(AEGP_WorldH handle) {
    auto it = state.worlds.find(host::handleValue(handle));
    if (it == state.worlds.end()) throw std::logic_error("no such world");
    return it->second->world;
}

PR_RenderContextH TestHost::beginFrame(const host::Composition& comp, const host::FrameRequest& request) {
    PR_RenderContextH handle = host::toHandle<PR_RenderContextH>(host::beginRenderContext(state, comp, request).handle);
    openFrames_.push_back(handle);
    return handle;
}

host::RenderContext& TestHost::frame(PR_RenderContextH handle) {
    auto it = state.renderContexts.find(host::handleValue(handle));
    if (it == state.renderContexts.end()) throw std::logic_error("no such frame");
    return *it->second;
}

host::HostWorld TestHost::endFrame(PR_RenderContextH handle) {
    std::erase(openFrames_, handle);
    return host::endRenderContext(state, host::handleValue(handle));
}

AEGP_WorldH TestHost::destination(PR_RenderContextH handle) {
    return host::toHandle<AEGP_WorldH>(frame(handle).destination);
}

AEGP_RenderLayerContextH TestHost::layerContext(PR_RenderContextH handle, size_t position) {
    return host::toHandle<AEGP_RenderLayerContextH>(frame(handle).layerContexts.at(position));
}

AEGP_LayerH TestHost::layer(PR_RenderContextH handle, size_t position) {
    return host::layerHandleAt(*frame(handle).comp, position);
}

host::HandleAccounting TestHost::accounting() {
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.accounting;
}

std::vector<std::string> TestHost::messages() {
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.messages;
}

void TestHost::withhold(const std::string& suiteName) {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.withheldSuites.insert(suiteName);
}

void TestHost::withholdVersion(const std::string& suiteName, A_long version) {
    withheldVersions.emplace_back(suiteName, version);
}

void* TestHost::replaceSuiteTable(const char* name, A_long version, size_t size) {
    const void* original = host::findSuiteTable(name, version);
    if (original == nullptr) throw std::logic_error(std::string("the host offers no ") + name);
    for (const host::OfferedSuite& offered : host::offeredSuites()) {
        if (offered.table == original && offered.size != size) throw std::logic_error("suite size mismatch");
    }
    auto& copy = replaced_[{name, version}];
    if (copy == nullptr) {
        copy = std::make_unique<std::max_align_t[]>((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
        std::memcpy(copy.get(), original, size);
    }
    return copy.get();
}

const void* TestHost::replacedTable(const std::string& name, A_long version) const {
    auto it = replaced_.find({name, version});
    return it != replaced_.end() ? it->second.get() : nullptr;
}

void TestHost::recordWorldTraffic() {
    replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10).AEGP_RenderLayerPlus =
        recordedRenderLayerPlus;
    replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10).AEGP_DisposeTexture =
        recordedDisposeTexture;
    for (A_long version : {kAEGPWorldSuiteVersion2, kAEGPWorldSuiteVersion3}) {
        replaceSuite<AEGP_WorldSuite3>(kAEGPWorldSuite, version).AEGP_Dispose = recordedWorldDispose;
    }
}

int TestHost::worldNumber(AEGP_WorldH world) {
    auto [it, added] = worldNumbers_.emplace(world, static_cast<int>(worldNumbers_.size()) + 1);
    return it->second;
}

void TestHost::failLayerStream(int32_t layerId, AEGP_LayerStream stream) {
    failingLayerStreams.emplace_back(layerId, stream);
    replaceSuite<AEGP_StreamSuite7>(kAEGPStreamSuite, kAEGPStreamSuiteVersion7).AEGP_GetLayerStreamValue =
        layerStreamValueOrFault;
    replaceSuite<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11).AEGP_GetLayerStreamValue =
        layerStreamValueOrFault;
}

void TestHost::failLayerCall(int32_t layerId, LayerCall call, A_Err err) {
    failingLayerCalls.push_back(FailingLayerCall{layerId, call, err});
    switch (call) {
        case LayerCall::RenderLayerToWorld:
            replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10)
                .AEGP_GetRenderLayerToWorldXform = renderLayerToWorldOrFault;
            break;
        case LayerCall::RenderOpacity:
            replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10).AEGP_GetRenderOpacity =
                renderOpacityOrFault;
            break;
        case LayerCall::RenderLayer:
            replaceSuite<AEGP_CanvasSuite10>(kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10).AEGP_RenderLayerPlus =
                recordedRenderLayerPlus;
            break;
        case LayerCall::LayerToWorld:
            replaceSuite<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11).AEGP_GetLayerToWorldXform =
                layerToWorldOrFault;
            break;
    }
}

void TestHost::setMaskedBounds(int32_t layerId, const A_FloatRect& bounds) {
    maskedBounds[layerId] = bounds;
    replaceSuite<AEGP_LayerSuite11>(kAEGPLayerSuite, kAEGPLayerSuiteVersion11).AEGP_GetLayerMaskedBounds =
        maskedBoundsOrOverride;
}

AEGP_InstalledEffectKey TestHost::installOtherEffect(const std::string& matchName) {
    for (const auto& [key, name] : otherInstalledEffects) {
        if (name == matchName) return key;
    }
    // Past the host's own key, and past every key handed out before.
    const AEGP_InstalledEffectKey key =
        otherInstalledEffects.empty() ? host::kInstalledEffectKey + 1 : otherInstalledEffects.rbegin()->first + 1;
    otherInstalledEffects[key] = matchName;
    replaceSuite<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4).AEGP_GetEffectMatchName =
        matchNameOfAnyInstalled;
    return key;
}

void TestHost::failEffectMatchName(const host::EffectInstance& instance) {
    failingMatchNames.push_back(&instance);
    replaceSuite<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4).AEGP_GetInstalledKeyFromLayerEffect =
        installedKeyOrFault;
}

void TestHost::flagEffectMissing(const host::EffectInstance& instance) {
    missingEffects.push_back(&instance);
    replaceSuite<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4).AEGP_GetEffectFlags =
        effectFlagsWithMissing;
}

void TestHost::failEffectStream(const host::EffectInstance& instance, int32_t position) {
    failingEffectStreams.emplace_back(&instance, position);
    replaceSuite<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11).AEGP_GetNewEffectStreamByIndex =
        effectStreamOrFault;
}

void TestHost::failEffectList(int32_t layerId) {
    failingEffectLists.push_back(layerId);
    replaceSuite<AEGP_EffectSuite4>(kAEGPEffectSuite, kAEGPEffectSuiteVersion4).AEGP_GetLayerNumEffects =
        layerNumEffectsOrFault;
}

host::Layer makeLayer(int32_t id, host::LayerType type, int32_t width, int32_t height) {
    host::Layer layer;
    layer.id = id;
    layer.name = "Layer " + std::to_string(id);
    layer.type = type;
    if (type == host::LayerType::AV && width > 0 && height > 0) {
        layer.source = std::make_shared<host::Footage>(
            host::makeSolidFootage("solid" + std::to_string(id), {1.0, 1.0, 1.0}, width, height));
    }
    return layer;
}

host::Layer& addLayer(host::Composition& comp, host::Layer layer) {
    comp.layers.push_back(std::move(layer));
    for (size_t i = 0; i < comp.layers.size(); ++i) comp.layers[i].index = static_cast<int32_t>(i + 1);
    return comp.layers.back();
}

host::EffectInstance& addEffect(host::HostState& state, const host::Composition& comp, size_t layerPosition,
                                const std::string& matchName, std::vector<host::EffectStream> streams) {
    AEGP_InstalledEffectKey key = host::kInstalledEffectKey;
    if (!state.installedEffectMatchName.empty() && state.installedEffectMatchName != matchName) {
        if (gTestHost == nullptr || &gTestHost->state != &state) {
            throw std::logic_error("a second installed effect needs the TestHost's fault layer");
        }
        key = gTestHost->installOtherEffect(matchName);
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    auto instance = std::make_unique<host::EffectInstance>();
    instance->comp = &comp;
    instance->layerPosition = layerPosition;
    instance->effectIndex = host::layerEffects(state, comp, layerPosition).size();
    instance->installedKey = key;
    instance->matchName = matchName;
    instance->effectRef = host::newHandle(state);
    instance->streams = std::move(streams);
    instance->ui.resize(instance->streams.size());
    if (key == host::kInstalledEffectKey) state.installedEffectMatchName = matchName;
    if (state.effectCompositions.count(&comp) == 0) {
        state.effectCompositions[&comp] = host::registerComposition(state, comp).compHandle;
    }
    state.effects.push_back(std::move(instance));
    return *state.effects.back();
}

host::EffectStream numberStream(double value) {
    host::EffectStream stream;
    stream.type = AEGP_StreamType_OneD;
    stream.value.one_d = value;
    return stream;
}

host::EffectStream pointStream(double x, double y, double z) {
    host::EffectStream stream;
    stream.type = AEGP_StreamType_ThreeD_SPATIAL;
    stream.value.three_d = AEGP_ThreeDVal{x, y, z};
    return stream;
}

host::EffectStream colorStream(double red, double green, double blue) {
    host::EffectStream stream;
    stream.type = AEGP_StreamType_COLOR;
    stream.value.color = AEGP_ColorVal{1.0, red, green, blue};
    return stream;
}

host::EffectStream layerIdStream(int32_t id) {
    host::EffectStream stream;
    stream.type = AEGP_StreamType_LAYER_ID;
    stream.value.layer_id = id;
    return stream;
}

}  // namespace zephrin::testhost
