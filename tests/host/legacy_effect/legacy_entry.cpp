// A minimal effect library that registers only through the older PluginDataEntryFunction, so the
// host's fallback from PluginDataEntryFunction2 is exercised.
#include "sdk/AE_Effect.h"

extern "C" __attribute__((visibility("default"))) PF_Err LegacyEffectMain(PF_Cmd, PF_InData*, PF_OutData*,
                                                                          PF_ParamDef*[], PF_LayerDef*, void*) {
    return PF_Err_NONE;
}

extern "C" __attribute__((visibility("default"))) PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr,
                                                                                 PF_PluginDataCB callback,
                                                                                 SPBasicSuite*, const char*,
                                                                                 const char*) {
    return callback(inPtr, reinterpret_cast<const A_u_char*>("Legacy"),
                    reinterpret_cast<const A_u_char*>("com.example.Legacy"),
                    reinterpret_cast<const A_u_char*>("Tests"), reinterpret_cast<const A_u_char*>("LegacyEffectMain"),
                    PF_PLUGIN_KIND_EFFECT, 13, 28, 0);
}
