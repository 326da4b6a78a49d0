#include "fake_effect_host.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "effect/effect_main.h"

namespace zephrin::test {
namespace {

FakeEffectHost* gHost = nullptr;

PF_ProgPtr const kEffectRef = reinterpret_cast<PF_ProgPtr>(std::uintptr_t{0x5eed});
AEGP_EffectRefH const kAegpEffect = reinterpret_cast<AEGP_EffectRefH>(std::uintptr_t{0xeff});
AEGP_LayerH const kLayer = reinterpret_cast<AEGP_LayerH>(std::uintptr_t{0x1a});

FakeEffectHost& host() { return *gHost; }

AEGP_StreamRefH streamHandle(int position) {
    return reinterpret_cast<AEGP_StreamRefH>(static_cast<std::uintptr_t>(position + 1));
}
int positionOf(AEGP_StreamRefH stream) { return static_cast<int>(reinterpret_cast<std::uintptr_t>(stream)) - 1; }
AEGP_CompH compHandle(int id) { return reinterpret_cast<AEGP_CompH>(static_cast<std::uintptr_t>(0xc000 + id)); }
int compId(AEGP_CompH comp) { return static_cast<int>(reinterpret_cast<std::uintptr_t>(comp)) - 0xc000; }
double seconds(const A_Time* time) { return double(time->value) / double(time->scale == 0 ? 1 : time->scale); }

AEGP_StreamVal valueAt(const FakeStream& stream, double time) {
    if (stream.keyframes.empty()) return stream.value;
    auto after = stream.keyframes.upper_bound(time);
    if (after == stream.keyframes.begin()) return after->second;
    return std::prev(after)->second;
}

// ---- PF suites ----

PF_Handle newHandle(A_HandleSize size) {
    if (host().newHandleFails) return nullptr;
    ++host().liveHandles;
    return reinterpret_cast<PF_Handle>(new void*(std::calloc(1, size)));
}
void* lockHandle(PF_Handle handle) { return host().lockFails ? nullptr : *handle; }
void unlockHandle(PF_Handle) {}
void disposeHandle(PF_Handle handle) {
    --host().liveHandles;
    std::free(*handle);
    delete reinterpret_cast<void**>(handle);
}
A_HandleSize handleSize(PF_Handle) { return sizeof(void*); }
const PF_HandleSuite2 kHandleSuite{newHandle, lockHandle, unlockHandle, disposeHandle, handleSize};

PF_Err appGetLanguage(A_char tag[PF_APP_LANG_TAG_SIZE]) {
    std::strncpy(tag, host().languageTag.c_str(), PF_APP_LANG_TAG_SIZE - 1);
    return host().languageErr;
}
const PFAppSuite1 kAppSuite{appGetLanguage};

PF_Err touchActiveItem(PF_ProgPtr) {
    ++host().touches;
    return PF_Err_NONE;
}
const PF_AdvItemSuite1 kAdvItemSuite{touchActiveItem};

A_long ansiSprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
    va_end(args);
    return written;
}
const PF_ANSICallbacksSuite1 kAnsiSuite{ansiSprintf};

PF_Err updateParamUI(PF_ProgPtr, PF_ParamIndex index, const PF_ParamDef* def) {
    UiUpdate update{index, *def, def->name, {}};
    if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr != nullptr) update.choices = def->u.pd.u.namesptr;
    host().uiUpdates.push_back(update);
    return host().updateParamUiErr;
}
const PF_ParamUtilsSuite3 kParamUtilsSuite{updateParamUI};

// ---- AEGP suites ----

A_Err registerWithAegp(AEGP_GlobalRefcon, const A_char* name, AEGP_PluginID* id) {
    host().registeredAegpName = name;
    if (host().registrationRefused) return A_Err_GENERIC;
    *id = host().pluginIdToGrant;
    return A_Err_NONE;
}
const AEGP_UtilitySuite7 kUtilitySuite{registerWithAegp};

A_Err getEffectLayer(PF_ProgPtr, AEGP_LayerH* layer) {
    *layer = kLayer;
    return A_Err_NONE;
}
A_Err getNewEffectForEffect(AEGP_PluginID id, PF_ProgPtr, AEGP_EffectRefH* effect) {
    if (id == 0) return A_Err_PARAMETER;
    ++host().openEffects;
    *effect = kAegpEffect;
    return A_Err_NONE;
}
const AEGP_PFInterfaceSuite1 kPfInterfaceSuite{getEffectLayer, getNewEffectForEffect};

A_Err getNewEffectStream(AEGP_PluginID, AEGP_EffectRefH, A_long index, AEGP_StreamRefH* stream) {
    if (index < 0 || index >= param::kCount) return A_Err_PARAMETER;
    ++host().openStreams;
    *stream = streamHandle(index);
    return A_Err_NONE;
}
A_Err disposeStream(AEGP_StreamRefH) {
    --host().openStreams;
    return A_Err_NONE;
}
A_Err getStreamType(AEGP_StreamRefH stream, AEGP_StreamType* type) {
    *type = host().stream(positionOf(stream)).type;
    return A_Err_NONE;
}
A_Err canVaryOverTime(AEGP_StreamRefH stream, A_Boolean* canVary) {
    *canVary = host().stream(positionOf(stream)).canVary;
    return A_Err_NONE;
}
A_Err getNewStreamValue(AEGP_PluginID, AEGP_StreamRefH stream, AEGP_LTimeMode, const A_Time* time, A_Boolean,
                        AEGP_StreamValue2* value) {
    ++host().openValues;
    value->streamH = stream;
    value->val = valueAt(host().stream(positionOf(stream)), seconds(time));
    return A_Err_NONE;
}
A_Err disposeStreamValue(AEGP_StreamValue2*) {
    --host().openValues;
    return A_Err_NONE;
}
A_Err setStreamValue(AEGP_PluginID, AEGP_StreamRefH stream, AEGP_StreamValue2* value) {
    const int position = positionOf(stream);
    FakeStream& target = host().stream(position);
    if (host().refuseValues) return A_Err_GENERIC;
    if (!target.keyframes.empty()) return A_Err_PARAMETER;
    if (host().hiddenRefusesValues && (target.dynamicFlags & AEGP_DynStreamFlag_HIDDEN) != 0) return A_Err_PARAMETER;
    target.value = value->val;
    host().writes.push_back(StreamWrite{position, false, 0, value->val});
    return A_Err_NONE;
}
A_Err setExpressionState(AEGP_PluginID, AEGP_StreamRefH stream, A_Boolean on) {
    host().stream(positionOf(stream)).expressionOn = on;
    return A_Err_NONE;
}
A_Err setExpression(AEGP_PluginID, AEGP_StreamRefH stream, const A_UTF16Char* text) {
    std::u16string expression;
    for (const A_UTF16Char* c = text; *c != 0; ++c) expression.push_back(static_cast<char16_t>(*c));
    host().stream(positionOf(stream)).expression = expression;
    return A_Err_NONE;
}
const AEGP_StreamSuite11 kStreamSuite{
    nullptr,           getNewEffectStream, disposeStream,  getStreamType,      canVaryOverTime,
    getNewStreamValue, disposeStreamValue, setStreamValue, setExpressionState, setExpression, nullptr};

A_Err getStreamNumKfs(AEGP_StreamRefH stream, A_long* count) {
    *count = static_cast<A_long>(host().stream(positionOf(stream)).keyframes.size());
    return A_Err_NONE;
}
A_Err insertKeyframe(AEGP_StreamRefH stream, AEGP_LTimeMode, const A_Time* time, AEGP_KeyframeIndex* index) {
    FakeStream& target = host().stream(positionOf(stream));
    const double at = seconds(time);
    target.keyframes.emplace(at, valueAt(target, at));
    *index = static_cast<AEGP_KeyframeIndex>(std::distance(target.keyframes.begin(), target.keyframes.find(at)));
    return A_Err_NONE;
}
A_Err setKeyframeValue(AEGP_StreamRefH stream, AEGP_KeyframeIndex index, const AEGP_StreamValue2* value) {
    const int position = positionOf(stream);
    FakeStream& target = host().stream(position);
    if (host().refuseValues) return A_Err_GENERIC;
    if (index < 0 || index >= static_cast<A_long>(target.keyframes.size())) return A_Err_PARAMETER;
    auto key = std::next(target.keyframes.begin(), index);
    key->second = value->val;
    host().writes.push_back(StreamWrite{position, true, key->first, value->val});
    return A_Err_NONE;
}
const AEGP_KeyframeSuite4 kKeyframeSuite{getStreamNumKfs, insertKeyframe, setKeyframeValue};

A_Err getDynamicFlags(AEGP_StreamRefH stream, AEGP_DynStreamFlags* flags) {
    *flags = host().stream(positionOf(stream)).dynamicFlags;
    return A_Err_NONE;
}
A_Err setDynamicFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean, A_Boolean set) {
    const int position = positionOf(stream);
    AEGP_DynStreamFlags& flags = host().stream(position).dynamicFlags;
    flags = set ? (flags | flag) : (flags & ~flag);
    host().dynamicFlagChanges.push_back(DynamicFlagChange{position, flag, set != 0});
    return A_Err_NONE;
}
const AEGP_DynamicStreamSuite4 kDynamicStreamSuite{getDynamicFlags, setDynamicFlag};

A_Err disposeEffect(AEGP_EffectRefH) {
    --host().openEffects;
    return A_Err_NONE;
}
const AEGP_EffectSuite4 kEffectSuite{nullptr, nullptr, nullptr, nullptr, disposeEffect, nullptr};

A_Err getLayerParentComp(AEGP_LayerH, AEGP_CompH* comp) {
    *comp = compHandle(host().currentComp);
    return A_Err_NONE;
}
AEGP_LayerSuite11 layerSuite() {
    AEGP_LayerSuite11 suite{};
    suite.AEGP_GetLayerParentComp = getLayerParentComp;
    return suite;
}
const AEGP_LayerSuite11 kLayerSuite = layerSuite();

A_Err getCompDownsample(AEGP_CompH comp, AEGP_DownsampleFactor* factor) {
    *factor = host().compFactors[compId(comp)];
    return A_Err_NONE;
}
A_Err setCompDownsample(AEGP_CompH comp, const AEGP_DownsampleFactor* factor) {
    host().compFactors[compId(comp)] = *factor;
    return A_Err_NONE;
}
const AEGP_CompSuite9 kCompSuite{nullptr, nullptr, getCompDownsample, setCompDownsample};

struct SuiteEntry {
    const char* name;
    A_long version;
    const void* suite;
};
const SuiteEntry kSuites[] = {
    {kPFHandleSuite, kPFHandleSuiteVersion2, &kHandleSuite},
    {kPFAppSuite, kPFAppSuiteVersion1, &kAppSuite},
    {kPFAdvItemSuite, kPFAdvItemSuiteVersion1, &kAdvItemSuite},
    {kPFANSISuite, kPFANSISuiteVersion1, &kAnsiSuite},
    {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &kParamUtilsSuite},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &kUtilitySuite},
    {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &kPfInterfaceSuite},
    {kAEGPStreamSuite, kAEGPStreamSuiteVersion11, &kStreamSuite},
    {kAEGPKeyframeSuite, kAEGPKeyframeSuiteVersion4, &kKeyframeSuite},
    {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion4, &kDynamicStreamSuite},
    {kAEGPEffectSuite, kAEGPEffectSuiteVersion4, &kEffectSuite},
    {kAEGPLayerSuite, kAEGPLayerSuiteVersion11, &kLayerSuite},
    {kAEGPCompSuite, kAEGPCompSuiteVersion9, &kCompSuite},
};

SPErr acquireSuite(const char* name, A_long version, const void** suite) {
    if (host().missingSuites.count(name) != 0) return kSPSuiteNotFoundError;
    for (const SuiteEntry& entry : kSuites) {
        if (entry.version == version && std::strcmp(entry.name, name) == 0) {
            *suite = entry.suite;
            return kSPNoError;
        }
    }
    return kSPSuiteNotFoundError;
}
SPErr releaseSuite(const char*, A_long) { return kSPNoError; }

// ---- Interaction and utility callbacks ----

PF_Err addParam(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr def) {
    FakeEffectHost& h = host();
    if (static_cast<int>(h.registered.size()) + 1 == h.addParamFailsAt) return PF_Err_INVALID_INDEX;
    h.registered.push_back(*def);
    std::string choices;
    if (def->param_type == PF_Param_POPUP && def->u.pd.u.namesptr != nullptr) choices = def->u.pd.u.namesptr;
    if (def->param_type == PF_Param_BUTTON && def->u.button_d.u.namesptr != nullptr) {
        choices = def->u.button_d.u.namesptr;
    }
    h.registeredChoices.push_back(choices);
    return PF_Err_NONE;
}
PF_Err registerUi(PF_ProgPtr, PF_CustomUIInfo* info) {
    host().customUi.push_back(*info);
    return host().registerUiErr;
}
PF_Err checkoutParam(PF_ProgPtr, PF_ParamIndex index, A_long, A_long, A_u_long, PF_ParamDef* def) {
    host().checkouts.push_back(index);
    if (host().checkoutErr != PF_Err_NONE) return host().checkoutErr;
    *def = host().param(index);
    return PF_Err_NONE;
}
PF_Err checkinParam(PF_ProgPtr, PF_ParamDef*) {
    ++host().checkins;
    return PF_Err_NONE;
}
PF_Err copyWorld(PF_ProgPtr, PF_EffectWorld*, PF_EffectWorld*, PF_Rect*, PF_Rect*) {
    ++host().copies;
    return PF_Err_NONE;
}

AEGP_StreamType streamTypeOf(PF_ParamType type) {
    switch (type) {
        case PF_Param_FLOAT_SLIDER:
        case PF_Param_POPUP:
        case PF_Param_CHECKBOX:
        case PF_Param_ANGLE:
            return AEGP_StreamType_OneD;
        case PF_Param_POINT_3D:
            return AEGP_StreamType_ThreeD_SPATIAL;
        case PF_Param_COLOR:
            return AEGP_StreamType_COLOR;
        case PF_Param_LAYER:
            return AEGP_StreamType_LAYER_ID;
        default:
            return AEGP_StreamType_NO_DATA;
    }
}

void setStreamFromDef(FakeStream& stream, const PF_ParamDef& def) {
    stream.type = streamTypeOf(def.param_type);
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
            stream.value.one_d = def.u.fs_d.value;
            break;
        case PF_Param_POPUP:
            stream.value.one_d = def.u.pd.value;
            break;
        case PF_Param_CHECKBOX:
            stream.value.one_d = def.u.bd.value;
            break;
        case PF_Param_ANGLE:
            stream.value.one_d = def.u.ad.value / 65536.0;
            break;
        case PF_Param_POINT_3D:
            stream.value.three_d = {def.u.point3d_d.x_value, def.u.point3d_d.y_value, def.u.point3d_d.z_value};
            break;
        default:
            break;
    }
}

}  // namespace

FakeEffectHost& currentHost() { return host(); }

FakeEffectHost::FakeEffectHost() : previous(gHost) {
    gHost = this;
    basic.AcquireSuite = acquireSuite;
    basic.ReleaseSuite = releaseSuite;
    utils.copy = copyWorld;
    in.inter.add_param = addParam;
    in.inter.register_ui = registerUi;
    in.inter.checkout_param = checkoutParam;
    in.inter.checkin_param = checkinParam;
    in.utils = &utils;
    in.effect_ref = kEffectRef;
    in.appl_id = PF_FOURCC('F', 'X', 'T', 'C');
    in.pica_basicP = &basic;
    in.width = 1000;
    in.height = 500;
    in.time_scale = 30;
    for (std::size_t i = 0; i < params.size(); ++i) params[i] = &values[i];
    values[0].param_type = PF_Param_LAYER;
    values[0].u.ld.width = 1000;
    values[0].u.ld.height = 500;
}

FakeEffectHost::~FakeEffectHost() {
    gHost = this;
    if (in.global_data != nullptr) disposeHandle(in.global_data);
    gHost = previous;
}

PF_Err FakeEffectHost::run(PF_Cmd cmd, void* extra, PF_LayerDef* output) {
    in.inter.register_ui = offerRegisterUi ? registerUi : nullptr;
    in.inter.checkout_param = offerCheckout ? checkoutParam : nullptr;
    in.inter.checkin_param = offerCheckout ? checkinParam : nullptr;
    out.out_flags = 0;
    out.out_flags2 = 0;
    for (PF_ParamDef& def : values) def.uu.change_flags = 0;
    const PF_Err err = effectMain(cmd, &in, &out, params.data(), output, extra);
    if (cmd == PF_Cmd_GLOBAL_SETUP && err == PF_Err_NONE) in.global_data = out.global_data;
    return err;
}

PF_Err FakeEffectHost::userChanged(int position) {
    PF_UserChangedParamExtra extra{position};
    return run(PF_Cmd_USER_CHANGED_PARAM, &extra);
}

PF_Err FakeEffectHost::click(int position) {
    lastEvent = PF_EventExtra{};
    lastEvent.e_type = PF_Event_DO_CLICK;
    lastEvent.effect_win.index = position;
    return run(PF_Cmd_EVENT, &lastEvent);
}

void FakeEffectHost::applyEffect() {
    run(PF_Cmd_GLOBAL_SETUP);
    run(PF_Cmd_PARAMS_SETUP);
    for (std::size_t i = 0; i < registered.size(); ++i) {
        values[i + 1] = registered[i];
        setStreamFromDef(streams[i + 1], registered[i]);
        // The editor-owned families start hidden from the timeline, as the effect leaves them.
        if (registered[i].param_type == PF_Param_POINT_3D) streams[i + 1].dynamicFlags = AEGP_DynStreamFlag_HIDDEN;
    }
    // A new instance reads the default of "Common Sync State".
    values[param::kCommonSyncState].u.bd.value = values[param::kCommonSyncState].u.bd.dephault;
    streams[param::kCommonSyncState].value.one_d = values[param::kCommonSyncState].u.bd.value;
    writes.clear();
    uiUpdates.clear();
}

const UiUpdate* FakeEffectHost::lastUi(int position) const {
    for (auto it = uiUpdates.rbegin(); it != uiUpdates.rend(); ++it) {
        if (it->position == position) return &*it;
    }
    return nullptr;
}

std::vector<StreamWrite> FakeEffectHost::writesAt(int position) const {
    std::vector<StreamWrite> found;
    for (const StreamWrite& write : writes) {
        if (write.position == position) found.push_back(write);
    }
    return found;
}

double oneD(const FakeStream& stream) { return stream.value.one_d; }

A_FloatPoint3 point(const FakeStream& stream) {
    return A_FloatPoint3{stream.value.three_d.x, stream.value.three_d.y, stream.value.three_d.z};
}

}  // namespace zephrin::test

namespace zephrin::test {
namespace {

std::vector<std::string> readLines(const std::string& path, bool stripCarriageReturn) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (stripCarriageReturn && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

EffectLogCapture::EffectLogCapture() {
    static int serial = 0;
    const std::string base = (std::filesystem::temp_directory_path() /
                              ("zephrin_effect_log_" + std::to_string(::getpid()) + "_" + std::to_string(++serial)))
                                 .string();
    mainPath = base + ".log";
    rawPath = base + ".raw.log";
    clear();
    ::setenv("SSR_EFFECT_LOG", mainPath.c_str(), 1);
    ::setenv("SSR_EFFECT_RAW_LOG", rawPath.c_str(), 1);
}

EffectLogCapture::~EffectLogCapture() {
    ::unsetenv("SSR_EFFECT_LOG");
    ::unsetenv("SSR_EFFECT_RAW_LOG");
    clear();
}

std::vector<std::string> EffectLogCapture::lines() const { return readLines(mainPath, false); }

std::vector<std::string> EffectLogCapture::rawLines() const { return readLines(rawPath, true); }

bool EffectLogCapture::contains(const std::string& line) const {
    const std::vector<std::string> all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

void EffectLogCapture::clear() {
    std::filesystem::remove(mainPath);
    std::filesystem::remove(rawPath);
}

}  // namespace zephrin::test
