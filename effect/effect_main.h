// The effect's door: the two registration exports the host calls when it scans plug-ins, and the main
// entry that receives every effect command. plugin_export.cpp only forwards the C exports here.
#pragma once

#include "common/effect_contract.h"
#include "common/entry_guard.h"
#include "sdk/AE_Effect.h"

namespace zephrin {

inline constexpr char kEffectName[] = "Zephrin";
inline constexpr char kEffectCategory[] = "Zephrin";
inline constexpr char kEffectEntryPoint[] = "EffectMain";
inline constexpr char kEffectSupportUrl[] = "https://tavik.com/zephrin/support";

// What the effect answers for a fault its entry caught.
inline constexpr EntryFaultCodes kEffectFaultCodes{PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED};

// Runs the body of the host-called function `entry` so that nothing it throws reaches the host: the
// fault goes to the effect's main log and its code to the host.
template <typename Body>
PF_Err guardedEffectEntry(const char* entry, Body&& body) noexcept {
    return guardEntry(entry, kEffectLog, kEffectFaultCodes, body);
}

PF_Err effectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                  void* extra);

PF_Err pluginDataEntry2(PF_PluginDataPtr inPtr, PF_PluginDataCB2 callback, SPBasicSuite* basic, const char* hostName,
                        const char* hostVersion);
PF_Err pluginDataEntry(PF_PluginDataPtr inPtr, PF_PluginDataCB callback, SPBasicSuite* basic, const char* hostName,
                       const char* hostVersion);

}  // namespace zephrin
