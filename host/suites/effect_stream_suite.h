// The effect-parameter half of "AEGP Stream Suite" 11: streams of an effect instance by parameter
// position, their types, values at a time, plain-value writes and expressions. Every stream handle and
// every value the host lends is counted, so that a caller that forgets to give one back shows up.
#pragma once

#include "sdk/AE_GeneralPlug.h"
#include "sdk/AE_GeneralPlugEffect.h"

namespace zephrin::host {

A_Err getNewEffectStreamByIndex(AEGP_PluginID pluginId, AEGP_EffectRefH effectH, A_long paramIndex,
                                AEGP_StreamRefH* streamPH);
A_Err disposeStream(AEGP_StreamRefH streamH);
A_Err getStreamType(AEGP_StreamRefH streamH, AEGP_StreamType* typeP);
A_Err canVaryOverTime(AEGP_StreamRefH streamH, A_Boolean* canVaryPB);
A_Err getNewStreamValue(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, AEGP_LTimeMode timeMode,
                        const A_Time* timePT, A_Boolean preExpression, AEGP_StreamValue2* valueP);
A_Err disposeStreamValue(AEGP_StreamValue2* valueP);
A_Err setStreamValue(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, AEGP_StreamValue2* valueP);
A_Err setExpressionState(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, A_Boolean enabled);
A_Err setExpression(AEGP_PluginID pluginId, AEGP_StreamRefH streamH, const A_UTF16Char* expression);
A_Err getEffectNumParamStreams(AEGP_EffectRefH effectH, A_long* countPL);

// The longest expression text the host copies from a caller; a missing terminator stops here.
constexpr size_t kMaxExpressionUnits = 65536;

}  // namespace zephrin::host
