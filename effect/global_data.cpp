#include "effect/global_data.h"

#include <new>

#include "common/diagnostic_log.h"
#include "effect/effect_call.h"
#include "sdk/AE_EffectSuites.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin {
namespace {

// 1.2.4, development stage, build 4.
constexpr A_u_long kEffectVersion = PF_VERSION(1, 2, 4, PF_Stage_DEVELOP, 4);
static_assert(kEffectVersion == 598020);

constexpr PF_OutFlags kGlobalOutFlags = PF_OutFlag_SEND_UPDATE_PARAMS_UI | PF_OutFlag_DEEP_COLOR_AWARE |
                                        PF_OutFlag_CUSTOM_UI | PF_OutFlag_NON_PARAM_VARY | PF_OutFlag_WIDE_TIME_INPUT;
static_assert(kGlobalOutFlags == 0x6008006);

constexpr PF_OutFlags2 kGlobalOutFlags2 = PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT |
                                          PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG | PF_OutFlag2_I_USE_3D_LIGHTS |
                                          PF_OutFlag2_I_USE_3D_CAMERA | PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS;
static_assert(kGlobalOutFlags2 == 0x2000f);

constexpr char kAegpPluginName[] = "Zephrin";

const SPBasicSuite* gBasicSuite = nullptr;

const PF_HandleSuite2& handleSuite(HostSuites& suites) {
    return suites.acquire<PF_HandleSuite2>(kPFHandleSuite, kPFHandleSuiteVersion2);
}

}  // namespace

PF_Err globalSetup(HostSuites& suites, PF_InData* in_data, PF_OutData* out_data) {
    logEffectRaw("Effect GlobalSetup begin");
    logEffect("Effect GlobalSetup called");
    out_data->my_version = kEffectVersion;
    out_data->out_flags = kGlobalOutFlags;
    logEffect(in_data->inter.register_ui != nullptr ? "GlobalSetup: custom UI declared for effect controls"
                                                    : "GlobalSetup: custom UI callback unavailable during setup");
    out_data->out_flags2 = kGlobalOutFlags2;

    const PF_HandleSuite2& handles = handleSuite(suites);
    PF_Handle handle = handles.host_new_handle(sizeof(EffectGlobals));
    if (handle == nullptr) {
        logEffectRaw("Effect GlobalSetup out of memory");
        return PF_Err_OUT_OF_MEMORY;
    }
    void* memory = handles.host_lock_handle(handle);
    if (memory == nullptr) {
        handles.host_dispose_handle(handle);
        logEffect("Effect GlobalSetup lock failed");
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    auto* globals = new (memory) EffectGlobals{};
    globals->initialised = 1;
    if (!isPremiere(in_data)) {
        try {
            const auto& utility = suites.acquire<AEGP_UtilitySuite7>(kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7);
            AEGP_PluginID id = 0;
            // A refused registration leaves the id at 0: the effect then works without stream writes.
            if (utility.AEGP_RegisterWithAEGP(nullptr, kAegpPluginName, &id) == A_Err_NONE) globals->pluginId = id;
        } catch (const HostSuiteError&) {
            // The command fails, but the host must not be left holding a locked handle nobody owns.
            handles.host_unlock_handle(handle);
            handles.host_dispose_handle(handle);
            throw;
        }
        gBasicSuite = in_data->pica_basicP;
    }
    handles.host_unlock_handle(handle);
    out_data->global_data = handle;
    logEffectRaw("Effect GlobalSetup end ok");
    return PF_Err_NONE;
}

PF_Err globalSetdown(HostSuites& suites, PF_InData* in_data) {
    if (in_data != nullptr && in_data->global_data != nullptr) {
        handleSuite(suites).host_dispose_handle(in_data->global_data);
        in_data->global_data = nullptr;
    }
    return PF_Err_NONE;
}

AEGP_PluginID readPluginId(HostSuites& suites, PF_Handle globalData) {
    if (globalData == nullptr) return 0;
    const PF_HandleSuite2& handles = handleSuite(suites);
    const auto* globals = static_cast<const EffectGlobals*>(handles.host_lock_handle(globalData));
    if (globals == nullptr) return 0;
    const AEGP_PluginID id = globals->initialised == 1 ? globals->pluginId : 0;
    handles.host_unlock_handle(globalData);
    return id;
}

const SPBasicSuite* lastBasicSuite() { return gBasicSuite; }

}  // namespace zephrin
