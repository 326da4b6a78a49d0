// The effect's exported symbols, as the host looks them up by name.
#include <type_traits>

#include "effect/effect_main.h"

#define ZEPHRIN_EXPORT extern "C" __attribute__((visibility("default")))

ZEPHRIN_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output, void* extra) {
    return zephrin::effectMain(cmd, in_data, out_data, params, output, extra);
}

ZEPHRIN_EXPORT PF_Err PluginDataEntryFunction2(PF_PluginDataPtr inPtr, PF_PluginDataCB2 inPluginDataCallBackPtr,
                                               SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                               const char* inHostVersion) {
    return zephrin::pluginDataEntry2(inPtr, inPluginDataCallBackPtr, inSPBasicSuitePtr, inHostName, inHostVersion);
}

ZEPHRIN_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                              SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                              const char* inHostVersion) {
    return zephrin::pluginDataEntry(inPtr, inPluginDataCallBackPtr, inSPBasicSuitePtr, inHostName, inHostVersion);
}

static_assert(std::is_same_v<decltype(&EffectMain), PF_EffectMainFunc>, "EffectMain must match the host's entry");
static_assert(std::is_same_v<decltype(&PluginDataEntryFunction2), PF_PluginDataEntryFunc2>);
static_assert(std::is_same_v<decltype(&PluginDataEntryFunction), PF_PluginDataEntryFunc>);
