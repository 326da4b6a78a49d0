#include "effect/effect_main.h"

#include <string>

#include "common/diagnostic_log.h"
#include "common/host_suites.h"
#include "effect/control_points.h"
#include "effect/custom_ui_events.h"
#include "effect/editor/top_view_editor.h"
#include "effect/effect_call.h"
#include "effect/global_data.h"
#include "effect/localization.h"
#include "effect/localized_texts.h"
#include "effect/param_changes.h"
#include "effect/params_setup.h"
#include "effect/pass_through_render.h"
#include "effect/quick_preview.h"
#include "sdk/AE_EffectSuites.h"

namespace zephrin {
namespace {

// The interface versions announced at registration: the newer entry describes the newer API.
constexpr A_long kApiMajorVersion = 13;
constexpr A_long kApiMinorVersion2 = 28;
constexpr A_long kApiMinorVersion = 0;
constexpr A_long kReservedInfo = 8;

constexpr PF_Cmd kLastDispatchedCommand = PF_Cmd_QUERY_DYNAMIC_FLAGS;

const A_u_char* bytes(const char* text) { return reinterpret_cast<const A_u_char*>(text); }

PF_Err about(EffectCall& call) {
    const bool chinese =
        hasParams(call) ? chineseSelected(call) : detectLanguage(call.suites) == param::kLanguageChinese;
    const auto& ansi = call.suites.acquire<PF_ANSICallbacksSuite1>(kPFANSISuite, kPFANSISuiteVersion1);
    ansi.sprintf(call.out_data->return_msg, "%s\r%s", localize(TextId::EffectName, false),
                 localize(TextId::Description, chinese));
    return PF_Err_NONE;
}

PF_Err globalSetdownCommand(EffectCall& call) {
    // The hooks go first: nothing else here may keep them alive past the plug-in's unloading.
    removeWindowHooks(topViewEditor());
    if (call.in_data == nullptr) return PF_Err_NONE;
    endQuickPreview(call, false);
    return globalSetdown(call.suites, call.in_data);
}

// A new instance: generated points off and four points on the flat line. Never fails.
PF_Err sequenceSetup(EffectCall& call) {
    if (!hasParams(call)) return PF_Err_NONE;
    clearGeneratedState(call);
    constexpr int kNewInstancePoints = 4;
    resetPointLayout(call, kNewInstancePoints);
    return PF_Err_NONE;
}

PF_Err queryDynamicFlags(PF_OutData* out_data) {
    if (out_data == nullptr) return PF_Err_NONE;
    out_data->out_flags |= PF_OutFlag_WIDE_TIME_INPUT | PF_OutFlag_NON_PARAM_VARY;
    out_data->out_flags2 |= PF_OutFlag2_I_USE_3D_CAMERA | PF_OutFlag2_I_USE_3D_LIGHTS;
    return PF_Err_NONE;
}

bool needsHostRecords(PF_Cmd cmd) {
    return cmd != PF_Cmd_GLOBAL_SETDOWN && cmd != PF_Cmd_SEQUENCE_SETUP && cmd != PF_Cmd_QUERY_DYNAMIC_FLAGS;
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) {
    if (needsHostRecords(cmd) && (in_data == nullptr || out_data == nullptr)) return PF_Err_BAD_CALLBACK_PARAM;
    HostSuites suites(in_data != nullptr ? in_data->pica_basicP : nullptr);
    EffectCall call{in_data, out_data, in_data != nullptr ? params : nullptr, suites};
    switch (cmd) {
        case PF_Cmd_ABOUT:
            logEffect("EffectMain ABOUT");
            return about(call);
        case PF_Cmd_GLOBAL_SETUP:
            logEffect("EffectMain GLOBAL_SETUP");
            return globalSetup(suites, in_data, out_data);
        case PF_Cmd_GLOBAL_SETDOWN:
            logEffect("EffectMain GLOBAL_SETDOWN");
            return globalSetdownCommand(call);
        case PF_Cmd_PARAMS_SETUP:
            logEffect("EffectMain PARAMS_SETUP");
            return paramsSetup(suites, in_data, out_data);
        case PF_Cmd_SEQUENCE_SETUP:
            logEffect("EffectMain SEQUENCE_SETUP");
            return sequenceSetup(call);
        case PF_Cmd_RENDER:
            logEffect("EffectMain RENDER");
            return passThroughRender(call, output);
        case PF_Cmd_USER_CHANGED_PARAM:
            return onUserChangedParam(call, static_cast<const PF_UserChangedParamExtra*>(extra));
        case PF_Cmd_UPDATE_PARAMS_UI:
            return onUpdateParamsUI(call);
        case PF_Cmd_EVENT:
            return onCustomUiEvent(call, static_cast<PF_EventExtra*>(extra));
        case PF_Cmd_QUERY_DYNAMIC_FLAGS:
            return queryDynamicFlags(out_data);
        default:
            return PF_Err_NONE;
    }
}

}  // namespace

PF_Err effectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                  void* extra) {
    return guardedEffectEntry("EffectMain", [&] {
        if (effectRawLogEnabled()) logEffectRaw("EffectMain raw entered cmd=" + std::to_string(cmd));
        logEffectNumber("EffectMain entered cmd=", static_cast<uint32_t>(cmd));
        PF_Err err = PF_Err_NONE;
        if (cmd >= PF_Cmd_ABOUT && cmd <= kLastDispatchedCommand) {
            // Guarded on its own so that a failed command still logs its result.
            err = guardedEffectEntry("EffectMain",
                                     [&] { return dispatch(cmd, in_data, out_data, params, output, extra); });
            // Setting up a sequence never fails, whatever its host calls did.
            if (cmd == PF_Cmd_SEQUENCE_SETUP) err = PF_Err_NONE;
        }
        logEffectNumber("EffectMain returning err=", static_cast<uint32_t>(err));
        return err;
    });
}

PF_Err pluginDataEntry2(PF_PluginDataPtr inPtr, PF_PluginDataCB2 callback, SPBasicSuite* /*basic*/,
                        const char* /*hostName*/, const char* /*hostVersion*/) {
    return guardedEffectEntry("PluginDataEntryFunction2", [&] {
        logEffect("PluginDataEntryFunction2 called");
        const PF_Err result = callback == nullptr
                                  ? PF_Err_INVALID_CALLBACK
                                  : callback(inPtr, bytes(kEffectName), bytes(kBendEffectMatchName), bytes(kEffectCategory),
                                             bytes(kEffectEntryPoint), PF_PLUGIN_KIND_EFFECT, kApiMajorVersion,
                                             kApiMinorVersion2, kReservedInfo, bytes(kEffectSupportUrl));
        logEffectNumber("PluginDataEntryFunction2 result=", static_cast<uint32_t>(result));
        return result;
    });
}

PF_Err pluginDataEntry(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite* /*basic*/,
                       const char* /*hostName*/, const char* /*hostVersion*/) {
    return guardedEffectEntry("PluginDataEntryFunction", [&] {
        logEffect("PluginDataEntryFunction called");
        const PF_Err result = callback == nullptr
                                  ? PF_Err_INVALID_CALLBACK
                                  : callback(inPtr, bytes(kEffectName), bytes(kBendEffectMatchName), bytes(kEffectCategory),
                                             bytes(kEffectEntryPoint), PF_PLUGIN_KIND_EFFECT, kApiMajorVersion,
                                             kApiMinorVersion, kReservedInfo);
        logEffectNumber("PluginDataEntryFunction result=", static_cast<uint32_t>(result));
        return result;
    });
}

}  // namespace zephrin
