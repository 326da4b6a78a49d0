#include "effect_host_fixture.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "common/host_suites.h"
#include "effect/effect_main.h"
#include "host/host_world.h"
#include "host/suites/effect_suite.h"
#include "host/suites/host_state.h"
#include "host/suites/keyframe_suite.h"
#include "host/suites/pf_suites.h"
#include "host/suites/stream_suite.h"

namespace zephrin::test {

bool EffectLog::contains(const std::string& line) const {
    const std::vector<std::string> all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

void EffectLog::clear() {
    std::filesystem::remove(main.path);
    std::filesystem::remove(raw.path);
}

namespace {

// The entry and the suites carry no context pointer; the wrapper finds its host as the suites find theirs.
EffectTestHost* gHost = nullptr;
PF_InteractCallbacks gHostInter{};  // the host's callbacks of the command in progress

EffectTestHost& current() { return *gHost; }

int positionOf(AEGP_StreamRefH stream) {
    std::lock_guard<std::mutex> lock(current().state.mutex);
    const host::EffectStreamRef* ref = host::findEffectStream(current().state, stream);
    return ref != nullptr ? static_cast<int>(ref->position) : -1;
}

// ---- Interaction callbacks in front of the host's ----

PF_Err addParamOrFail(PF_ProgPtr effectRef, PF_ParamIndex index, PF_ParamDefPtr def) {
    EffectTestHost& h = current();
    size_t next = 0;
    {
        std::lock_guard<std::mutex> lock(h.state.mutex);
        next = h.effect.params.size();
    }
    if (static_cast<int>(next) == h.addParamFailsAt) return PF_Err_INVALID_INDEX;
    return gHostInter.add_param(effectRef, index, def);
}

PF_Err registerUiThenFail(PF_ProgPtr effectRef, PF_CustomUIInfo* info) {
    const PF_Err err = gHostInter.register_ui(effectRef, info);
    return current().registerUiErr != PF_Err_NONE ? current().registerUiErr : err;
}

PF_Err failCheckout(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, PF_ParamDef*) { return current().checkoutErr; }

// The effect's entry as the host's effect record calls it.
PF_Err wrappedMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   void* extra) {
    EffectTestHost& h = current();
    EffectArgs args{cmd, *in_data, out_data, params, output, extra};
    gHostInter = in_data->inter;
    args.in.pica_basicP = h.test.basic();
    args.in.inter.add_param = addParamOrFail;
    args.in.inter.register_ui = !h.offerRegisterUi ? nullptr : registerUiThenFail;
    if (h.checkoutErr != PF_Err_NONE) args.in.inter.checkout_param = failCheckout;
    if (h.beforeMain) h.beforeMain(args);
    const PF_Err err = h.insteadOfMain ? h.insteadOfMain(args)
                                       : effectMain(cmd, &args.in, args.out, args.params, args.output, args.extra);
    EffectCommand record;
    record.cmd = cmd;
    record.err = err;
    if (out_data != nullptr) record.out = *out_data;
    if (params != nullptr) {
        std::lock_guard<std::mutex> lock(h.state.mutex);
        for (size_t i = 0; i < h.effect.params.size(); ++i) record.params.push_back(*params[i]);
    }
    if (cmd == PF_Cmd_EVENT && extra != nullptr) record.event = *static_cast<PF_EventExtra*>(extra);
    h.commands.push_back(std::move(record));
    return err;
}

// ---- Suite slots in front of the host's ----

PF_Handle newHandleOrFail(A_HandleSize size) {
    return current().newHandleFails ? nullptr : host::pfHandleSuite2().host_new_handle(size);
}

void* lockOrFail(PF_Handle handle) {
    return current().lockFails ? nullptr : host::pfHandleSuite2().host_lock_handle(handle);
}

A_Err registerRecorded(AEGP_GlobalRefcon refcon, const A_char* name, AEGP_PluginID* id) {
    if (name != nullptr) current().registeredAegpName = name;
    if (current().registrationRefused) return A_Err_GENERIC;
    return host::utilitySuite7().AEGP_RegisterWithAEGP(refcon, name, id);
}

PF_Err languageOrFail(A_char tag[PF_APP_LANG_TAG_SIZE]) {
    const PF_Err err = host::pfAppSuite1().PF_AppGetLanguage(tag);
    return current().languageErr != PF_Err_NONE ? current().languageErr : err;
}

PF_Err updateParamUiRecorded(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def) {
    const PF_Err err = host::pfParamUtilsSuite3().PF_UpdateParamUI(effectRef, index, def);
    if (def != nullptr) current().uiUpdates.push_back(ParamUiUpdate{index, *def});
    return current().updateParamUiErr != PF_Err_NONE ? current().updateParamUiErr : err;
}

A_Err setStreamValueRecorded(AEGP_PluginID id, AEGP_StreamRefH stream, AEGP_StreamValue2* value) {
    if (current().refuseValues) {
        current().refusedWrites.push_back(positionOf(stream));
        return A_Err_GENERIC;
    }
    const A_Err err = host::streamSuite11().AEGP_SetStreamValue(id, stream, value);
    if (err == A_Err_NONE) current().writes.push_back(EffectStreamWrite{positionOf(stream), false});
    return err;
}

A_Err setKeyframeValueRecorded(AEGP_StreamRefH stream, AEGP_KeyframeIndex index, const AEGP_StreamValue2* value) {
    if (current().refuseValues) return A_Err_GENERIC;
    const A_Err err = host::keyframeSuite4().AEGP_SetKeyframeValue(stream, index, value);
    if (err == A_Err_NONE) current().writes.push_back(EffectStreamWrite{positionOf(stream), true});
    return err;
}

A_Err setDynamicFlagRecorded(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable, A_Boolean set) {
    const A_Err err = host::dynamicStreamSuite4().AEGP_SetDynamicStreamFlag(stream, flag, undoable, set);
    if (err == A_Err_NONE) ++current().dynamicFlagChanges;
    return err;
}

void installSuiteLayer(testhost::TestHost& test) {
    auto& handles = test.replaceSuite<PF_HandleSuite2>(kPFHandleSuite, kPFHandleSuiteVersion2);
    handles.host_new_handle = newHandleOrFail;
    handles.host_lock_handle = lockOrFail;
    test.replaceSuite<AEGP_UtilitySuite7>(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7).AEGP_RegisterWithAEGP =
        registerRecorded;
    test.replaceSuite<PFAppSuite1>(kPFAppSuite, kPFAppSuiteVersion1).PF_AppGetLanguage = languageOrFail;
    test.replaceSuite<PF_ParamUtilsSuite3>(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3).PF_UpdateParamUI =
        updateParamUiRecorded;
    test.replaceSuite<AEGP_StreamSuite11>(kAEGPStreamSuite, kAEGPStreamSuiteVersion11).AEGP_SetStreamValue =
        setStreamValueRecorded;
    test.replaceSuite<AEGP_KeyframeSuite4>(kAEGPKeyframeSuite, kAEGPKeyframeSuiteVersion4).AEGP_SetKeyframeValue =
        setKeyframeValueRecorded;
    test.replaceSuite<AEGP_DynamicStreamSuite4>(kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion4)
        .AEGP_SetDynamicStreamFlag = setDynamicFlagRecorded;
}

// The effect's layer: wide enough that centred layer pixels are easy to read (x from -500 to 500).
constexpr int32_t kLayerWidth = 1000;
constexpr int32_t kLayerHeight = 500;

}  // namespace

EffectTestHost::EffectTestHost() {
    if (gHost != nullptr) throw std::logic_error("one EffectTestHost at a time");
    gHost = this;
    installSuiteLayer(test);
    comp.name = "Bend";
    comp.width = 1920;
    comp.height = 1080;
    comp.duration = 10.0;
    testhost::addLayer(comp, testhost::makeLayer(1, host::LayerType::AV, kLayerWidth, kLayerHeight)).name = "Paper";
    testhost::addLayer(comp, testhost::makeLayer(2, host::LayerType::AV, kLayerWidth, kLayerHeight)).name = "Path";
    otherComp.name = "Other";
    otherComp.duration = 10.0;
    testhost::addLayer(otherComp, testhost::makeLayer(3, host::LayerType::AV, kLayerWidth, kLayerHeight));
    effect.name = kEffectName;
    effect.matchName = kBendEffectMatchName;
    effect.entryPointName = kEffectEntryPoint;
    effect.kind = PF_PLUGIN_KIND_EFFECT;
    effect.main = wrappedMain;
    state.effectPlugin = &effect;
}

// Shut down as the host closes: every instance's setdown, then the globals', with no fault in the way.
EffectTestHost::~EffectTestHost() {
    beforeMain = nullptr;
    insteadOfMain = nullptr;
    addParamFailsAt = 0;
    offerRegisterUi = true;
    registerUiErr = checkoutErr = languageErr = updateParamUiErr = PF_Err_NONE;
    newHandleFails = lockFails = registrationRefused = refuseValues = false;
    if (effect.globalSetUp) {
        std::vector<host::EffectInstance*> instances;
        for (const auto& added : state.effects) instances.push_back(added.get());
        for (host::EffectInstance* added : instances) {
            host::sendEffectCommand(state, effect, added, PF_Cmd_SEQUENCE_SETDOWN, 0.0);
        }
        host::setDownEffectGlobals(state, effect);
    }
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        for (const auto& [owner, handle] : state.effectCompositions) host::forgetComposition(state, handle);
        state.effectCompositions.clear();
        state.effectRefs.clear();
        state.effectStreams.clear();
        state.effects.clear();
        state.effectPlugin = nullptr;
    }
    gHost = nullptr;
}

PF_Err EffectTestHost::setUpGlobals() {
    std::string failure;
    return host::setUpEffectGlobals(state, effect, failure);
}

host::EffectInstance& EffectTestHost::addInstance(const host::Composition& on, size_t layerPosition) {
    const size_t index = host::layerEffects(state, on, layerPosition).size();
    host::EffectInstance& added = host::addEffectInstance(state, effect, on, layerPosition, index, false);
    if (instance == nullptr) instance = &added;
    return added;
}

PF_Err EffectTestHost::applyEffect() {
    PF_Err err = setUpGlobals();
    if (err != PF_Err_NONE) return err;
    return host::setUpEffectInstance(state, effect, addInstance(comp), false);
}

PF_Err EffectTestHost::send(PF_Cmd cmd, void* extra, double seconds) {
    return host::sendEffectCommand(state, effect, instance, cmd, seconds, extra).err;
}

PF_Err EffectTestHost::sendGlobal(PF_Cmd cmd, void* extra) {
    return host::sendEffectCommand(state, effect, nullptr, cmd, 0.0, extra).err;
}

PF_Err EffectTestHost::setDownGlobals() {
    host::setDownEffectGlobals(state, effect);
    return commands.back().err;
}

PF_Err EffectTestHost::userChanged(int position, host::EffectInstance* on) {
    PF_UserChangedParamExtra extra{position};
    return host::sendEffectCommand(state, effect, on != nullptr ? on : instance, PF_Cmd_USER_CHANGED_PARAM, 0.0,
                                   &extra)
        .err;
}

PF_Err EffectTestHost::click(int position) {
    return host::clickEffectControl(state, effect, *instance, position, 0.0);
}

PF_Err EffectTestHost::render() {
    const host::Layer& layer = instance->comp->layers[instance->layerPosition];
    host::HostWorld world = host::makeWorld(AEGP_WorldType_8, layer.source->width, layer.source->height);
    return host::renderEffects(state, effect, {instance}, world, 0.0);
}

void EffectTestHost::runInCommand(const std::function<void(EffectCall&)>& body, double seconds,
                                  const std::function<void(PF_InData&)>& adjust) {
    insteadOfMain = [&](EffectArgs& args) {
        if (adjust) adjust(args.in);
        HostSuites suites(args.in.pica_basicP);
        EffectCall call{&args.in, args.out, args.params, suites};
        body(call);
        return PF_Err_NONE;
    };
    send(PF_Cmd_EVENT, nullptr, seconds);
    insteadOfMain = nullptr;
}

host::EffectStream& EffectTestHost::stream(int position, host::EffectInstance* on) {
    return (on != nullptr ? on : instance)->streams.at(static_cast<size_t>(position));
}

void EffectTestHost::set(int position, double v) { stream(position).value.one_d = v; }

void EffectTestHost::setPoint(int position, double x, double y, double z) {
    stream(position).value.three_d = AEGP_ThreeDVal{x, y, z};
}

double EffectTestHost::value(int position, double seconds) {
    return host::streamValueAt(stream(position), seconds).one_d;
}

A_FloatPoint3 EffectTestHost::point(int position) {
    const AEGP_ThreeDVal p = stream(position).value.three_d;
    return A_FloatPoint3{p.x, p.y, p.z};
}

const host::ParamUiState& EffectTestHost::ui(int position) { return instance->ui.at(static_cast<size_t>(position)); }

const EffectCommand& EffectTestHost::last(PF_Cmd cmd) const {
    for (auto it = commands.rbegin(); it != commands.rend(); ++it) {
        if (it->cmd == cmd) return *it;
    }
    throw std::logic_error("the effect got no command " + std::to_string(cmd));
}

const ParamUiUpdate* EffectTestHost::lastUi(int position) const {
    for (auto it = uiUpdates.rbegin(); it != uiUpdates.rend(); ++it) {
        if (it->position == position) return &*it;
    }
    return nullptr;
}

std::vector<EffectStreamWrite> EffectTestHost::writesAt(int position) const {
    std::vector<EffectStreamWrite> found;
    for (const EffectStreamWrite& write : writes) {
        if (write.position == position) found.push_back(write);
    }
    return found;
}

void EffectTestHost::clearRecords() {
    commands.clear();
    uiUpdates.clear();
    writes.clear();
    refusedWrites.clear();
    dynamicFlagChanges = 0;
}

int64_t EffectTestHost::liveHandles() {
    std::lock_guard<std::mutex> lock(state.mutex);
    return static_cast<int64_t>(state.pfHandles.size());
}

}  // namespace zephrin::test
