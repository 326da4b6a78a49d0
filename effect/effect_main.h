// The effect's door: the two registration exports the host calls when it scans plug-ins, and the main
// entry that receives every effect command. plugin_export.cpp only forwards the C exports here.
#pragma once

#include "common/effect_contract.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

inline constexpr char kEffectName[] = "Zephrin";
inline constexpr char kEffectCategory[] = "Zephrin";
inline constexpr char kEffectEntryPoint[] = "EffectMain";
inline constexpr char kEffectSupportUrl[] = "https://tavik.com/zephrin/support";

PF_Err effectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                  void* extra);

PF_Err pluginDataEntry2(PF_PluginDataPtr inPtr, PF_PluginDataCB2 callback, SPBasicSuite* basic, const char* hostName,
                        const char* hostVersion);
PF_Err pluginDataEntry(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite* basic, const char* hostName,
                       const char* hostVersion);

}  // namespace zephrin
